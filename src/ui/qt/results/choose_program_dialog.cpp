#include "ui/qt/results/choose_program_dialog.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "ui/qt/pictures.h"

namespace korv {

namespace {

constexpr std::string_view kOkCaption = "&OK";
constexpr std::string_view kCancelCaption = "&Cancel";

}  // namespace

ChooseProgramDialog::ChooseProgramDialog(QWidget* parent, const QString& path, std::vector<DesktopEntry> applications)
    : QDialog(parent), applications_(std::move(applications)) {
  setWindowTitle(DisplayQString(kChooseProgramTitle));
  setModal(true);

  auto* text = new QLabel(DisplayQString(kChooseProgramText), this);
  // The file's name as it is: plain text, whatever it holds.
  auto* file = new QLabel(this);
  file->setTextFormat(Qt::PlainText);
  file->setText(QFileInfo(path).fileName());

  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("programList"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  for (const DesktopEntry& application : applications_) {
    auto* row = new QListWidgetItem(QString::fromStdString(application.name), list_);
    row->setToolTip(QString::fromStdString(application.exec));
    QFont font = list_->font();
    font.setBold(application.declaresType);
    row->setFont(font);
  }
  ok_ = new QPushButton(ToQString(kOkCaption), this);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setDefault(true);
  ok_->setEnabled(false);
  auto* cancel = new QPushButton(ToQString(kCancelCaption), this);
  cancel->setObjectName(QStringLiteral("cancelButton"));

  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { ok_->setEnabled(row >= 0); });
  // The first row is the best match: an application declaring the type.
  if (!applications_.empty()) list_->setCurrentRow(0);
  connect(list_, &QListWidget::itemActivated, this, &QDialog::accept);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(file);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(420, 420);
}

std::optional<DesktopEntry> ChooseProgramDialog::chosen() const {
  const int row = list_->currentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= applications_.size()) return std::nullopt;
  return applications_[static_cast<std::size_t>(row)];
}

std::optional<DesktopEntry> ChooseProgramDialog::Choose(QWidget* parent, const QString& path,
                                                        std::vector<DesktopEntry> applications) {
  ChooseProgramDialog dialog(parent, path, std::move(applications));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.chosen();
}

}  // namespace korv
