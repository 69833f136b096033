#include "ui/qt/results/choose_program_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/pictures.h"

namespace korv {

namespace {

constexpr std::string_view kBrowseCaption = "&Browse...";
constexpr std::string_view kOkCaption = "&OK";
constexpr std::string_view kCancelCaption = "&Cancel";
constexpr std::string_view kProgramsFolder = "/usr/bin";

}  // namespace

ChooseProgramDialog::ChooseProgramDialog(QWidget* parent, const QString& path) : QDialog(parent) {
  setWindowTitle(DisplayQString(kChooseProgramTitle));
  setModal(true);

  auto* text = new QLabel(DisplayQString(kChooseProgramText), this);
  // The file's name as it is: plain text, whatever it holds.
  auto* file = new QLabel(this);
  file->setTextFormat(Qt::PlainText);
  file->setText(QFileInfo(path).fileName());

  program_ = new QLineEdit(this);
  program_->setObjectName(QStringLiteral("programEdit"));
  auto* browse = new QPushButton(ToQString(kBrowseCaption), this);
  browse->setObjectName(QStringLiteral("browseButton"));
  ok_ = new QPushButton(ToQString(kOkCaption), this);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setDefault(true);
  ok_->setEnabled(false);
  auto* cancel = new QPushButton(ToQString(kCancelCaption), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));

  connect(program_, &QLineEdit::textChanged, this, [this] { ok_->setEnabled(!program().isEmpty()); });
  connect(browse, &QPushButton::clicked, this, &ChooseProgramDialog::Browse);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* programRow = new QHBoxLayout;
  programRow->addWidget(program_, 1);
  programRow->addWidget(browse);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(file);
  layout->addLayout(programRow);
  layout->addLayout(buttons);
  resize(420, sizeHint().height());
}

QString ChooseProgramDialog::program() const { return program_->text().trimmed(); }

void ChooseProgramDialog::Browse() {
  const QString chosen =
      QFileDialog::getOpenFileName(this, DisplayQString(kChooseProgramTitle), ToQString(kProgramsFolder));
  if (!chosen.isEmpty()) program_->setText(chosen);
}

QString ChooseProgramDialog::Choose(QWidget* parent, const QString& path) {
  ChooseProgramDialog dialog(parent, path);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.program();
}

}  // namespace korv
