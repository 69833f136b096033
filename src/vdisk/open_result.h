// The answer of every format reader's Open.
#pragma once

namespace korv {

enum class OpenResult : int {
  NotThisFormat = 0,
  Opened = 1,
  Damaged = 2,     // damaged or unsupported
  CannotOpen = 3,  // missing, locked by another program, no access
};

}  // namespace korv
