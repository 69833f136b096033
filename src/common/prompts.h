// Everything the engine asks the user goes through Prompts. Each call blocks
// until the user has answered: the desktop front end shows a dialog on its UI
// thread, the command line answers from its flags, tests script the answers.
#pragma once

#include <string_view>

namespace korv {

// The four buttons of the bad-sector question, and closing it without one.
enum class BadSectorAnswer { Retry, RetryAll, Skip, SkipAll, Dismissed };

class Prompts {
 public:
  virtual ~Prompts() = default;
  // The bad-sector question; `message` is the text the question shows.
  virtual BadSectorAnswer AskBadSector(std::string_view message) = 0;
  // A yes/no question; true for Yes.
  virtual bool AskYesNo(std::string_view question) = 0;
  // A message the user acknowledges.
  virtual void ShowMessage(std::string_view message) = 0;
};

}  // namespace korv
