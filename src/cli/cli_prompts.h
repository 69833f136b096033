// The command line cannot stop to ask: questions are answered from its flags.
#pragma once

#include <iostream>
#include <string_view>

#include "common/prompts.h"
#include "ui/logic/item_texts.h"

namespace korv::cli {

class CliPrompts final : public Prompts {
 public:
  explicit CliPrompts(BadSectorAnswer badSectorAnswer) : badSectorAnswer_(badSectorAnswer) {}

  BadSectorAnswer AskBadSector(std::string_view message) override {
    std::cerr << DisplayText(message) << '\n';
    return badSectorAnswer_;
  }
  bool AskYesNo(std::string_view) override { return false; }
  void ShowMessage(std::string_view message) override { std::cerr << DisplayText(message) << '\n'; }

 private:
  BadSectorAnswer badSectorAnswer_;
};

}  // namespace korv::cli
