#include "ui/qt/dialogs/bad_sector_dialog.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

inline constexpr std::string_view kRetryCaption = "&Retry";
inline constexpr std::string_view kRetryAllCaption = "Retry &All";
inline constexpr std::string_view kSkipCaption = "&Skip";
inline constexpr std::string_view kSkipAllCaption = "S&kip All";

struct AnswerButton {
  std::string_view picture;
  std::string_view caption;
  const char* objectName;
  BadSectorAnswer answer;
};

constexpr AnswerButton kAnswerButtons[] = {
    {picture::kRetry, kRetryCaption, "retryButton", BadSectorAnswer::Retry},
    {picture::kRetryAll, kRetryAllCaption, "retryAllButton", BadSectorAnswer::RetryAll},
    {picture::kSkip, kSkipCaption, "skipButton", BadSectorAnswer::Skip},
    {picture::kSkipAll, kSkipAllCaption, "skipAllButton", BadSectorAnswer::SkipAll},
};

}  // namespace

// The picture and the text at the left, the four answers in a column on
// the right; each answer closes the dialog.
SectorsBadStatusAction::SectorsBadStatusAction(QWidget* parent, std::string_view message) : QDialog(parent) {
  message_parts::StyleDialog(this, ToQString(kProgramTitle));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 16, 16, 16);
  row->setSpacing(14);
  row->setSizeConstraint(QLayout::SetFixedSize);
  message_parts::AddPicture(row, picture::kInformation);
  row->addWidget(message_parts::MessageLabel(this, message), 1);

  auto* column = new QVBoxLayout;
  column->setSpacing(6);
  row->addLayout(column);
  for (const AnswerButton& entry : kAnswerButtons) {
    CHoverButton* button = message_parts::DialogButton(this, entry.picture, entry.caption, entry.objectName);
    const BadSectorAnswer answer = entry.answer;
    connect(button, &QAbstractButton::clicked, this, [this, answer] {
      answer_ = answer;
      accept();
    });
    column->addWidget(button);
  }
  column->addStretch(1);
  findChild<CHoverButton*>(QStringLiteral("retryButton"))->setFocus();
}

BadSectorAnswer SectorsBadStatusAction::Ask(QWidget* parent, std::string_view message) {
  SectorsBadStatusAction dialog(parent, message);
  dialog.exec();
  return dialog.answer();
}

}  // namespace korv
