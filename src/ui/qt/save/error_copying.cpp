#include "ui/qt/save/error_copying.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/save/save_dialog_parts.h"

namespace korv {

namespace {

struct ErrorButton {
  std::string_view caption;
  const char* objectName;
  CopyErrorAnswer answer;
};

constexpr ErrorButton kErrorButtons[] = {
    {kButtonErrorSkip, "errorSkip", CopyErrorAnswer::Skip},
    {kButtonErrorSkipAll, "errorSkipAll", CopyErrorAnswer::SkipAll},
    {kButtonErrorAbort, "errorAbort", CopyErrorAnswer::Abort},
};

}  // namespace

ErrorCopying::ErrorCopying(QWidget* parent, std::string_view question) : QDialog(parent) {
  QVBoxLayout* column = save_parts::AnswerOnlyQuestion(this, parent, question);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (const ErrorButton& entry : kErrorButtons) {
    QPushButton* button = save_parts::Button(this, entry.caption, entry.objectName);
    const CopyErrorAnswer answer = entry.answer;
    connect(button, &QPushButton::clicked, this, [this, answer] {
      answer_ = answer;
      accept();
    });
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  column->addLayout(buttons);
  findChild<QPushButton*>(QStringLiteral("errorSkip"))->setFocus();
}

CopyErrorAnswer ErrorCopying::Ask(QWidget* parent, std::string_view question) {
  ErrorCopying dialog(parent, question);
  dialog.exec();
  return dialog.answer();
}

}  // namespace korv
