#include "ui/qt/dialogs/vpath_dialog.h"

#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/session.h"
#include "ui/logic/file_filter.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/pictures.h"
#include "ui/qt/recent_folders.h"

namespace korv {

namespace {

constexpr int kPictureSide = 48;

std::filesystem::path ToPath(const QString& text) { return std::filesystem::path(text.toStdString()); }

QPushButton* MakeButton(std::string_view caption, const char* objectName, QWidget* parent) {
  auto* button = new QPushButton(ToQString(caption), parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

VPath::VPath(Session& session, QWidget* parent) : QDialog(parent), session_(session) {
  setWindowTitle(ToQString(kVirtualPathTitle));
  setModal(true);
  chooseFile = [this] { return AskForFile(); };

  auto* picture = new QLabel(this);
  picture->setPixmap(ApplicationIcon().pixmap(kPictureSide, kPictureSide));
  picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* heading = new QLabel(DisplayQString(kVirtualPathHeading), this);
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);
  auto* prompt = new QLabel(DisplayQString(kVirtualPathPrompt), this);

  pathEdit_ = new QLineEdit(this);
  pathEdit_->setObjectName(QStringLiteral("pathEdit"));
  pathEdit_->setReadOnly(true);
  pathEdit_->setMinimumWidth(320);
  QPushButton* browse = MakeButton(kBrowseCaption, "browseButton", this);
  QPushButton* ok = MakeButton(kOkCaption, "okButton", this);
  ok->setDefault(true);
  QPushButton* cancel = MakeButton(kCancelCaption, "cancelButton", this);

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(pathEdit_, 1);
  pathRow->addWidget(browse);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  buttonRow->addWidget(ok);
  buttonRow->addWidget(cancel);
  auto* texts = new QVBoxLayout;
  texts->addWidget(heading);
  texts->addSpacing(8);
  texts->addWidget(prompt);
  texts->addLayout(pathRow);
  texts->addStretch(1);
  texts->addLayout(buttonRow);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(picture);
  layout->addLayout(texts, 1);
  setMinimumSize(520, 180);

  connect(browse, &QPushButton::clicked, this, &VPath::Browse);
  connect(ok, &QPushButton::clicked, this, &VPath::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

VPath::~VPath() = default;

QString VPath::AskForFile() {
  static const QString filter = ToQString(DiskFileFilter());
  return QFileDialog::getOpenFileName(this, QString(), LastFolder(FolderUse::DiskFile), filter);
}

void VPath::Browse() {
  const QString path = chooseFile();
  // A cancelled file dialog leaves everything as it was.
  if (path.isEmpty()) return;
  RememberFolder(FolderUse::DiskFile, path);
  ChoosePath(path);
}

void VPath::ChoosePath(const QString& path) {
  chosenPath_ = path;
  pathEdit_->setText(path);
  probe_.reset();
  if (path.isEmpty()) return;
  probe_ = ProbeVirtualFile(ToPath(path));
}

void VPath::Accept() {
  if (chosenPath_.isEmpty()) {
    ShowMessageBox(this, kMsgSpecifyVirtualPath);
    return;
  }
  // A probe goes to the session with the first OK; a later OK (after a
  // refusal, or when the dialog opens again) probes the file afresh.
  if (!probe_) probe_ = ProbeVirtualFile(ToPath(chosenPath_));
  VirtualFileProbe probe = std::move(*probe_);
  probe_.reset();
  const VirtualFileSelection selection = session_.AcceptVirtualFile(std::move(probe));
  if (!selection.accepted) {
    ShowMessageBox(this, selection.message);
    return;
  }
  accept();
}

void VPath::done(int result) {
  if (result != QDialog::Accepted) probe_.reset();
  QDialog::done(result);
}

}  // namespace korv
