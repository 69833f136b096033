// What became of each file a save walk reached, for a summary at its end:
// files written, renamed on the way, skipped (an existing file kept) and
// failed (not written, short or cut).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

#include "save/extraction.h"

namespace korv {

enum class LedgerEntry { Written, Renamed, Skipped, Failed };

// "written", "renamed", "skipped", "failed".
std::string_view LedgerEntryWord(LedgerEntry entry);

struct SaveLedger {
  std::uint64_t written = 0;  // renamed files included
  std::uint64_t renamed = 0;
  std::uint64_t skipped = 0;
  std::uint64_t failed = 0;
  std::uint64_t bytesWritten = 0;  // of the files written whole
  // Each file as it is counted, with the path it was (or would have been)
  // written at; may be left unset.
  std::function<void(const std::filesystem::path&, LedgerEntry)> onFile;

  // Counts one file's outcome; a filtered file leaves no trace.
  void Record(const std::filesystem::path& path, SaveFileOutcome outcome, bool renamed, std::uint64_t size);
};

}  // namespace korv
