#include "ui/qt/save/qt_save_questions.h"

#include <string>

#include "ui/qt/save/error_copying.h"
#include "ui/qt/save/file_replace_options.h"
#include "ui/qt/ui_thread.h"

namespace korv {

QtSaveQuestions::QtSaveQuestions(QWidget* dialogParent) : parent_(dialogParent) {}

ReplaceReply QtSaveQuestions::AskReplace(std::string_view question, const std::filesystem::path&) {
  return OnUiThreadAndWait(this,
                           [this, text = std::string(question)] { return FileReplaceOptions::Ask(parent_, text); });
}

CopyErrorAnswer QtSaveQuestions::AskCopyError(std::string_view question, const std::filesystem::path&) {
  return OnUiThreadAndWait(this, [this, text = std::string(question)] { return ErrorCopying::Ask(parent_, text); });
}

}  // namespace korv
