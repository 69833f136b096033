// Large reads copied out of the page cache on two cores, and the helper
// thread that other work over large ranges can be shared out with.
//
// Reading a file that is in the page cache costs the kernel's copy into the
// buffer, and one core copies at most one core's worth. A read of at least
// kSplitReadMinBytes is therefore split at a page boundary: one helper thread
// reads the second half while the caller reads the first. One helper serves
// the whole program; a caller that finds it busy, and handles that are not
// ReadsFromAnyThread (in-memory files, failing test devices), read on their
// own thread as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "platform/file.h"

namespace korv {

constexpr std::size_t kSplitReadMinBytes = 256 * 1024;

// Reads `out` at `offset` as `file.ReadAt` does, and returns what it would:
// the length of the leading part that was read.
std::size_t ReadAtOnTwoThreads(ReadHandle& file, std::uint64_t offset, std::span<std::uint8_t> out);

// Runs `there` on the helper while `here` runs on the calling thread, and
// returns once both have ended. When the helper is busy both run here, one
// after the other. Neither may throw, nor call this again on the thread
// that runs `here`.
void RunOnTwoThreads(const std::function<void()>& here, const std::function<void()>& there);

// Half of `bytes`, rounded down to a whole page: where a split falls.
std::size_t HalfOnPageBoundary(std::size_t bytes);

}  // namespace korv
