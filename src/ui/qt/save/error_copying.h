// The question raised when a destination file cannot be written: "&Skip"
// leaves this file, "S&kip All" leaves every such file without asking again,
// "&Abort" ends the save. A button is the only way out.
//
// Object names: "messageText", "errorSkip", "errorSkipAll", "errorAbort".
#pragma once

#include <QDialog>
#include <string_view>

#include "save/save_state.h"

namespace korv {

class ErrorCopying : public QDialog {
  Q_OBJECT
 public:
  ErrorCopying(QWidget* parent, std::string_view question = kQuestionCopyError);
  CopyErrorAnswer answer() const { return answer_; }

  // Shows the dialog modally and returns the answer. UI thread only.
  static CopyErrorAnswer Ask(QWidget* parent, std::string_view question = kQuestionCopyError);

 public slots:
  // Escape and the close box come here: they leave the question open.
  void reject() override {}

 private:
  CopyErrorAnswer answer_ = CopyErrorAnswer::Skip;
};

}  // namespace korv
