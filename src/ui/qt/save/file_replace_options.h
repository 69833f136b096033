// The question raised when a destination file exists already: "&Yes"
// overwrites, "&Skip" keeps it, "&Rename" saves under a new name, and
// "Do this for all related items" makes the answer stand for the rest of the
// save. A button is the only way out: Escape and the close box do nothing.
//
// Object names: "messageText", "replaceYes", "replaceSkip", "replaceRename",
// "replaceForAll".
#pragma once

#include <QDialog>
#include <string_view>

#include "save/save_state.h"

class QCheckBox;

namespace korv {

class FileReplaceOptions : public QDialog {
  Q_OBJECT
 public:
  FileReplaceOptions(QWidget* parent, std::string_view question = kQuestionReplace);
  ReplaceReply reply() const { return reply_; }

  // Shows the dialog modally and returns the answer. UI thread only.
  static ReplaceReply Ask(QWidget* parent, std::string_view question = kQuestionReplace);

 public slots:
  // Escape and the close box come here: they leave the question open.
  void reject() override {}

 private:
  void Answer(ReplaceAnswer answer);

  QCheckBox* forAll_ = nullptr;
  ReplaceReply reply_;
};

}  // namespace korv
