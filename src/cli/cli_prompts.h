// The command line cannot stop to ask: questions are answered from its flags.
#pragma once

#include <iostream>
#include <string_view>

#include "common/prompts.h"
#include "ui/logic/item_texts.h"

namespace korv::cli {

inline constexpr std::string_view kNoteAnsweredYes = "Answered Yes (--force).";
inline constexpr std::string_view kNoteAnsweredNo = "Answered No.";

// A question is shown on standard error with the answer given: No, unless
// the command was told to go on anyway.
class CliPrompts final : public Prompts {
 public:
  explicit CliPrompts(BadSectorAnswer badSectorAnswer, bool yesToQuestions = false)
      : badSectorAnswer_(badSectorAnswer), yesToQuestions_(yesToQuestions) {}

  BadSectorAnswer AskBadSector(std::string_view message) override {
    std::cerr << DisplayText(message) << '\n';
    return badSectorAnswer_;
  }
  bool AskYesNo(std::string_view question) override {
    std::cerr << DisplayText(question) << '\n' << (yesToQuestions_ ? kNoteAnsweredYes : kNoteAnsweredNo) << '\n';
    return yesToQuestions_;
  }
  void ShowMessage(std::string_view message) override { std::cerr << DisplayText(message) << '\n'; }

 private:
  BadSectorAnswer badSectorAnswer_;
  bool yesToQuestions_;
};

}  // namespace korv::cli
