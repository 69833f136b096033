// The one way the engine's records end when memory runs out. An analysis
// cannot go on without its store, so a failed allocation of any record or
// name ends the process after the front end has told the user.
#pragma once

#include <new>
#include <string_view>

namespace korv {

inline constexpr std::string_view kOutOfMemoryText = "Out Of Memory";

// Tells the user that memory ran out (the desktop front end shows a
// system-modal box with kOutOfMemoryText and the program title). The process
// ends when it returns.
using OutOfMemoryHandler = void (*)();

// Installs the front end's handler; nullptr restores the default, which
// writes kOutOfMemoryText to standard error.
void SetOutOfMemoryHandler(OutOfMemoryHandler handler);

// Calls the installed handler, then ends the process with status 1 without
// running destructors (a worker may still hold the store).
[[noreturn]] void ReportOutOfMemory();

// Runs `allocate`; a std::bad_alloc thrown inside it ends the process
// through ReportOutOfMemory.
template <typename Allocate>
decltype(auto) GuardAllocation(Allocate&& allocate) {
  try {
    return allocate();
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory();
  }
}

}  // namespace korv
