#include "save/save_ledger.h"

namespace korv {

std::string_view LedgerEntryWord(LedgerEntry entry) {
  switch (entry) {
    case LedgerEntry::Written: return "written";
    case LedgerEntry::Renamed: return "renamed";
    case LedgerEntry::Skipped: return "skipped";
    case LedgerEntry::Failed: return "failed";
  }
  return "failed";
}

namespace {

LedgerEntry EntryOf(SaveFileOutcome outcome, bool renamed) {
  switch (outcome) {
    case SaveFileOutcome::Written: return renamed ? LedgerEntry::Renamed : LedgerEntry::Written;
    case SaveFileOutcome::Skipped: return LedgerEntry::Skipped;
    default: return LedgerEntry::Failed;
  }
}

}  // namespace

void SaveLedger::Record(const std::filesystem::path& path, SaveFileOutcome outcome, bool renamed,
                        std::uint64_t size) {
  if (outcome == SaveFileOutcome::Filtered) return;
  const LedgerEntry entry = EntryOf(outcome, renamed);
  switch (entry) {
    case LedgerEntry::Renamed: ++this->renamed; [[fallthrough]];
    case LedgerEntry::Written:
      ++written;
      bytesWritten += size;
      break;
    case LedgerEntry::Skipped: ++skipped; break;
    case LedgerEntry::Failed: ++failed; break;
  }
  if (onFile) onFile(path, entry);
}

}  // namespace korv
