#include "ui/qt/dialogs/message_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

inline constexpr std::string_view kOkCaption = "&OK";
inline constexpr std::string_view kYesCaption = "&Yes";
inline constexpr std::string_view kNoCaption = "&No";

constexpr int kTextMinimumWidth = 260;
constexpr int kTextMaximumWidth = 440;

// Return and Enter press the button that has the focus, as they would a
// push button's; with the focus elsewhere (a path field) they press the
// dialog's default button, as in any dialog.
void PressFocusedOnEnter(QDialog* dialog) {
  for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* shortcut = new QShortcut(key, dialog);
    QObject::connect(shortcut, &QShortcut::activated, dialog, [dialog] {
      if (auto* focused = qobject_cast<QAbstractButton*>(dialog->focusWidget())) {
        if (focused->isEnabled()) focused->click();
        return;
      }
      for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (!button->isDefault() || !button->isVisible()) continue;
        if (button->isEnabled()) button->click();
        return;
      }
    });
  }
}

// Picture and text in a row above a centred row of buttons.
QHBoxLayout* BuildMessageFrame(QDialog* dialog, std::string_view pictureName, QLabel* text) {
  auto* column = new QVBoxLayout(dialog);
  column->setContentsMargins(16, 16, 16, 12);
  column->setSpacing(14);
  auto* content = new QHBoxLayout;
  content->setSpacing(14);
  column->addLayout(content);
  message_parts::AddPicture(content, pictureName);
  content->addWidget(text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(10);
  buttons->addStretch(1);
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);
  return buttons;
}

}  // namespace

namespace message_parts {

void StyleDialog(QDialog* dialog, const QString& title) {
  dialog->setWindowTitle(title);
  dialog->setWindowIcon(ApplicationIcon());
  dialog->setModal(true);
  FillPageBackground(dialog);
  PressFocusedOnEnter(dialog);
}

QString TitleFrom(const QWidget* parent) {
  if (parent == nullptr) return ToQString(kProgramTitle);
  const QString title = parent->window()->windowTitle();
  return title.isEmpty() ? ToQString(kProgramTitle) : title;
}

void AddPicture(QBoxLayout* layout, std::string_view pictureName) {
  const QPixmap picture = LoadPicture(pictureName);
  if (picture.isNull()) return;
  auto* label = new QLabel;
  label->setObjectName(QStringLiteral("messagePicture"));
  label->setPixmap(picture);
  label->setFixedSize(picture.size());
  layout->addWidget(label, 0, Qt::AlignTop);
}

QLabel* MessageLabel(QWidget* parent, std::string_view message) {
  auto* label = new QLabel(parent);
  label->setObjectName(QStringLiteral("messageText"));
  label->setTextFormat(Qt::PlainText);
  label->setText(DisplayQString(message));
  label->setWordWrap(true);
  label->setMinimumWidth(kTextMinimumWidth);
  label->setMaximumWidth(kTextMaximumWidth);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  return label;
}

CHoverButton* DialogButton(QWidget* parent, std::string_view pictureName, std::string_view caption,
                           const char* objectName) {
  auto* button = new CHoverButton(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->SetCaption(ToQString(caption));
  button->LoadPicture(pictureName, CHoverButton::Frames::Four);
  return button;
}

}  // namespace message_parts

ViewMsgBox::ViewMsgBox(QWidget* parent, std::string_view message) : QDialog(parent) {
  message_parts::StyleDialog(this, message_parts::TitleFrom(parent));
  text_ = message_parts::MessageLabel(this, message);
  QHBoxLayout* buttons = BuildMessageFrame(this, picture::kInformation, text_);
  auto* ok = message_parts::DialogButton(this, picture::kOk, kOkCaption, "okButton");
  buttons->addWidget(ok);
  buttons->addStretch(1);
  connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
  ok->setFocus();
}

QString ViewMsgBox::messageText() const { return text_->text(); }

ViewQuestionMsg::ViewQuestionMsg(QWidget* parent, std::string_view question) : QDialog(parent) {
  message_parts::StyleDialog(this, message_parts::TitleFrom(parent));
  text_ = message_parts::MessageLabel(this, question);
  QHBoxLayout* buttons = BuildMessageFrame(this, picture::kQuestion, text_);
  auto* yes = message_parts::DialogButton(this, picture::kYes, kYesCaption, "yesButton");
  auto* no = message_parts::DialogButton(this, picture::kNo, kNoCaption, "noButton");
  buttons->addWidget(yes);
  buttons->addWidget(no);
  buttons->addStretch(1);
  connect(yes, &QAbstractButton::clicked, this, &QDialog::accept);
  connect(no, &QAbstractButton::clicked, this, &QDialog::reject);
  yes->setFocus();
}

QString ViewQuestionMsg::messageText() const { return text_->text(); }

void ShowMessageBox(QWidget* parent, std::string_view message) {
  ViewMsgBox box(parent, message);
  box.exec();
}

bool AskQuestionBox(QWidget* parent, std::string_view question) {
  ViewQuestionMsg box(parent, question);
  return box.exec() == QDialog::Accepted;
}

}  // namespace korv
