#include "ui/qt/save/data_copy_path.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/session.h"
#include "platform/file.h"
#include "save/save_walk.h"
#include "ui/qt/pictures.h"
#include "ui/qt/qt_prompts.h"
#include "ui/qt/recent_folders.h"
#include "ui/qt/save/calculate_data_size.h"
#include "ui/qt/save/data_copy_progress.h"
#include "ui/qt/save/data_saving_settings.h"
#include "ui/qt/save/save_dialog_parts.h"

namespace korv {

namespace {

// The wizard's own prompts when the session has them; otherwise prompts of
// this dialog, so the messages still show as the system's dialogs.
Prompts* WizardPrompts(Session& session, QDialog* dialog) {
  if (auto* wizard = dynamic_cast<QtPrompts*>(&session.prompts)) return wizard;
  auto* own = new QtPrompts(dialog);
  own->SetDialogParent(dialog);
  return own;
}

}  // namespace

DataCopyPath::DataCopyPath(Session& session, QWidget* parent)
    : QDialog(parent), session_(session), prompts_(WizardPrompts(session, this)) {
  session_.saveState.ResetForNewDestination();
  chooseFolder = [this] { return QFileDialog::getExistingDirectory(this, QString(), pathEdit_->text()); };
  freeSpace = [](const std::filesystem::path& path) { return FreeSpace(path); };

  save_parts::StyleSaveDialog(this, parent);
  pathEdit_ = new QLineEdit(this);
  pathEdit_->setObjectName(QStringLiteral("pathEdit"));
  pathEdit_->setMaxLength(static_cast<int>(kMaxDestinationCharacters));
  pathEdit_->setMinimumWidth(340);
  pathEdit_->setText(LastFolder(FolderUse::SaveDestination));
  QPushButton* browse = save_parts::Button(this, kButtonBrowse, "browseButton");
  QPushButton* settings = save_parts::Button(this, kButtonSettings, "settingsButton");
  QPushButton* ok = save_parts::Button(this, kButtonOk, "okButton");
  QPushButton* cancel = save_parts::Button(this, kButtonCancel, "cancelButton");
  ok->setDefault(true);

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(pathEdit_, 1);
  pathRow->addWidget(browse);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(settings);
  buttonRow->addStretch(1);
  buttonRow->addWidget(ok);
  buttonRow->addWidget(cancel);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 16, 16, 12);
  column->setSizeConstraint(QLayout::SetFixedSize);
  column->addLayout(pathRow);
  QLabel* note = save_parts::TextLabel(this, kNoteDifferentPath, "noteText");
  note->setWordWrap(true);
  column->addWidget(note);
  column->addSpacing(8);
  column->addLayout(buttonRow);

  connect(browse, &QPushButton::clicked, this, &DataCopyPath::Browse);
  connect(settings, &QPushButton::clicked, this, &DataCopyPath::OpenSettings);
  connect(ok, &QPushButton::clicked, this, &DataCopyPath::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void DataCopyPath::Browse() {
  const QString folder = chooseFolder();
  // A cancelled picker leaves the path as it was.
  if (!folder.isEmpty()) pathEdit_->setText(folder);
}

void DataCopyPath::OpenSettings() {
  DataSavingSettings settings(session_.saveFilters, this);
  settings.exec();
}

void DataCopyPath::Accept() {
  const auto destination = AcceptDestination(pathEdit_->text().toStdString(), *prompts_);
  if (!destination) return;
  RememberFolder(FolderUse::SaveDestination, QString::fromStdString(destination->string()));
  if (session_.runFlags.rawRun) {
    carvingFolder_ = *destination;
    accept();
    return;
  }
  Evaluate();
  const SaveState& state = session_.saveState;
  if (state.selectedFiles <= 0) {
    prompts_->ShowMessage(kMsgNothingSelected);
    return;
  }
  if (!ConfirmFreeSpace(*prompts_, state.selectedBytes, freeSpace(*destination))) return;
  Save(*destination);
}

void DataCopyPath::Evaluate() {
  session_.worker.Reset();
  CalculateDataSize evaluation(session_, *prompts_, this);
  evaluation.exec();
}

void DataCopyPath::Save(const std::filesystem::path& destination) {
  hide();
  {
    DataCopyProgress progress(session_, *prompts_, destination, parentWidget());
    progress.exec();
  }
  accept();
}

}  // namespace korv
