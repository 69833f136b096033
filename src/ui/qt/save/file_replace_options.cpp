#include "ui/qt/save/file_replace_options.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/qt/pictures.h"
#include "ui/qt/save/save_dialog_parts.h"

namespace korv {

namespace {

struct ReplaceButton {
  std::string_view caption;
  const char* objectName;
  ReplaceAnswer answer;
};

constexpr ReplaceButton kReplaceButtons[] = {
    {kButtonReplaceYes, "replaceYes", ReplaceAnswer::Yes},
    {kButtonReplaceSkip, "replaceSkip", ReplaceAnswer::Skip},
    {kButtonReplaceRename, "replaceRename", ReplaceAnswer::Rename},
};

}  // namespace

FileReplaceOptions::FileReplaceOptions(QWidget* parent, std::string_view question) : QDialog(parent) {
  QVBoxLayout* column = save_parts::AnswerOnlyQuestion(this, parent, question);

  forAll_ = new QCheckBox(ToQString(kCheckForAllItems), this);
  forAll_->setObjectName(QStringLiteral("replaceForAll"));
  column->addWidget(forAll_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  for (const ReplaceButton& entry : kReplaceButtons) {
    QPushButton* button = save_parts::Button(this, entry.caption, entry.objectName);
    const ReplaceAnswer answer = entry.answer;
    connect(button, &QPushButton::clicked, this, [this, answer] { Answer(answer); });
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  column->addLayout(buttons);
  findChild<QPushButton*>(QStringLiteral("replaceYes"))->setFocus();
}

void FileReplaceOptions::Answer(ReplaceAnswer answer) {
  reply_ = ReplaceReply{answer, forAll_->isChecked()};
  accept();
}

ReplaceReply FileReplaceOptions::Ask(QWidget* parent, std::string_view question) {
  FileReplaceOptions dialog(parent, question);
  dialog.exec();
  return dialog.reply();
}

}  // namespace korv
