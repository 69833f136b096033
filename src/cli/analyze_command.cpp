#include <algorithm>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <variant>

#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "cli/source_choice.h"
#include "engine/found_tree.h"
#include "engine/item_time.h"
#include "engine/partition_volumes.h"
#include "fs/fat/fat_directory.h"
#include "fs/ntfs/record_values.h"
#include "search/search_criteria.h"
#include "ui/logic/item_texts.h"
#include "ui/logic/volume_list.h"

namespace korv::cli {

namespace {

using Json = nlohmann::json;

inline constexpr std::string_view kMsgNoSuchVolume = "The scan found no volume ";


Json NtfsIsoTime(std::uint64_t ticks) {
  if (ticks == 0) return nullptr;
  const std::time_t seconds = static_cast<std::time_t>(static_cast<std::int64_t>(ticks / kNtfsTicksPerSecond) - kNtfsSecondsBefore1970);
  std::tm utc{};
  if (gmtime_r(&seconds, &utc) == nullptr) return nullptr;
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

Json FatIsoTime(std::uint16_t date, std::uint16_t time, bool hasTime) {
  if (date == 0) return nullptr;
  const FatTimestamp stamp = DecodeFatTimestamp(date, hasTime ? time : 0);
  if (stamp.month < 1 || stamp.month > 12 || stamp.day == 0) return nullptr;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", stamp.year, stamp.month, stamp.day, stamp.hour,
                stamp.minute, stamp.second);
  return text;
}

struct ItemRow {
  FoundTreeEntry entry;
  bool deleted = false;
  std::uint64_t size = 0;
  std::uint32_t id = 0;
  ItemTimes times{};
  bool stream = false;  // an alternate data stream of an NTFS file
  std::uint64_t itemId = 0;  // the place in the whole listing, from 1
};

ItemRow RowOf(const Store& store, const FoundTreeEntry& entry) {
  if (entry.folder) {
    const FoundFolder& folder = store.folder(entry.id);
    return {entry, folder.deleted == kFlagYes, 0, folder.ownNumber, folder.times};
  }
  const FoundFile& file = store.file(entry.id);
  return {entry, file.deleted == kFlagYes, file.size, file.ownNumber, file.times, !file.stream.empty()};
}

// A listing's text, collected and written out in large pieces: a listing
// has an item a line for tens of thousands of items.
class ListingBuffer {
 public:
  explicit ListingBuffer(std::ostream& out) : out_(out) {}
  ~ListingBuffer() { Flush(); }
  ListingBuffer(const ListingBuffer&) = delete;
  ListingBuffer& operator=(const ListingBuffer&) = delete;

  std::string& text() { return text_; }
  // Called after each item.
  void ItemDone() {
    if (text_.size() >= kFlushBytes) Flush();
  }
  void Flush() {
    out_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
    text_.clear();
  }

 private:
  static constexpr std::size_t kFlushBytes = 64 * 1024;
  std::ostream& out_;
  std::string text_;
};

// A line an item: its number, type, size, modified date and path.
class TextReport {
 public:
  TextReport(std::ostream& out, FileSystemKind fileSystem) : out_(out), fileSystem_(fileSystem) {}

  void Item(const ItemRow& row) {
    std::string& text = out_.text();
    AppendDecimal(text, row.itemId);
    text += '\t';
    text += ItemTypeText(row.entry.folder, row.deleted);
    text += '\t';
    AppendDecimal(text, row.size);
    text += '\t';
    text += ItemDateText(row.times, ItemTimeKind::Modified, fileSystem_);
    text += '\t';
    AppendPrintable(text, row.entry.path);
    text += '\n';
    out_.ItemDone();
  }

 private:
  ListingBuffer out_;
  FileSystemKind fileSystem_;
};

// The report as nlohmann::json's dump(2) lays it out (members in name order,
// two spaces a level), written item by item as the tree is listed instead of
// built whole first.
class JsonReport {
 public:
  JsonReport(std::ostream& out, FileSystemKind fileSystem) : out_(out), fileSystem_(fileSystem) {}

  void Begin(const Store& store) {
    text_ += "{\n  \"fileCount\": ";
    Number(store.fileCount());
    text_ += ",\n  \"fileSystem\": ";
    String(FileSystemName(fileSystem_));
    text_ += ",\n  \"folderCount\": ";
    Number(store.folderCount());
    text_ += ",\n  \"items\": [";
  }

  void Item(const ItemRow& row) {
    text_ += items_++ == 0 ? "\n    {\n" : ",\n    {\n";
    ItemMembers(row);
    text_ += "\n    }";
    out_.ItemDone();
  }

  void End(const Store& store, const std::string& mode) {
    text_ += items_ == 0 ? "]" : "\n  ]";
    text_ += ",\n  \"mode\": ";
    String(mode);
    text_ += ",\n  \"totalBytes\": ";
    Number(store.totalFileBytes());
    text_ += "\n}\n";
  }

 private:
  // One item's members, in name order.
  void ItemMembers(const ItemRow& row) {
    Member("accessed", [&] { Time(row.times, ItemTimeKind::Accessed); });
    Member("created", [&] { Time(row.times, ItemTimeKind::Created); });
    Member("deleted", [&] { text_ += row.deleted ? "true" : "false"; });
    Member("id", [&] { Number(row.id); });
    Member("itemId", [&] { Number(row.itemId); });
    Member("kind", [&] { String(row.entry.folder ? "folder" : "file"); });
    Member("modified", [&] { Time(row.times, ItemTimeKind::Modified); });
    Member("path", [&] { String(row.entry.path); });
    Member("size", [&] { Number(row.size); });
    // Only stream items carry the member, so every other item reads as it did.
    if (row.stream) Member("stream", [&] { text_ += "true"; });
    Member("type", [&] { String(ItemTypeText(row.entry.folder, row.deleted)); }, /*last=*/true);
  }

  template <typename WriteValue>
  void Member(std::string_view name, WriteValue&& value, bool last = false) {
    text_ += "      \"";
    text_ += name;
    text_ += "\": ";
    value();
    if (!last) text_ += ",\n";
  }

  void Number(std::uint64_t value) { AppendDecimal(text_, value); }

  void Time(const ItemTimes& times, ItemTimeKind kind) {
    const Json time = std::visit(
        TimeCases{[](const NtfsItemTime& t) { return NtfsIsoTime(t.ticks); },
                  [](const FatItemTime& t) { return FatIsoTime(t.date, t.time, t.hasTime); }},
        ReadItemTime(times, kind, fileSystem_));
    if (time.is_null()) {
      text_ += "null";
      return;
    }
    String(time.get_ref<const std::string&>());
  }

  // Plain printable ASCII is written as it is; anything else goes through
  // the library's own escaping, so that the bytes stay the library's.
  void String(std::string_view text) {
    const bool plain = std::ranges::all_of(text, [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
    if (!plain) {
      text_ += Json(std::string(text)).dump();
      return;
    }
    text_ += '"';
    text_ += text;
    text_ += '"';
  }

  ListingBuffer out_;
  std::string& text_ = out_.text();
  FileSystemKind fileSystem_;
  std::uint64_t items_ = 0;
};

// The found volumes, one a line: number, file system, first and end sector,
// size in bytes, cluster size in bytes.
void PrintVolumes(const Session& session, bool json) {
  const VolumeCandidateList& volumes = session.volumeCandidates;
  if (volumes.empty()) std::cerr << kMsgNoPartitionRecognised << '\n';
  Json list = Json::array();
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const VolumeCandidate shown = ShownVolumeExtent(volumes[i], session.range);
    const std::uint64_t clusterBytes = std::uint64_t{shown.sectorsPerCluster} * 512;
    if (!json) {
      std::cout << i + 1 << '\t' << FileSystemName(shown.fileSystem) << '\t' << shown.firstSector << '\t'
                << shown.endSector << '\t' << VolumeBytes(shown) << '\t' << clusterBytes << '\n';
      continue;
    }
    list.push_back({{"number", i + 1},
                    {"fileSystem", FileSystemName(shown.fileSystem)},
                    {"firstSector", shown.firstSector},
                    {"endSector", shown.endSector},
                    {"size", VolumeBytes(shown)},
                    {"clusterSize", clusterBytes}});
  }
  if (json) std::cout << Json{{"mode", "partition"}, {"volumes", list}}.dump(2) << '\n';
}

// Whether a listed item is one of the search's matches.
bool Matches(const SearchMatcher& matcher, const Store& store, const FoundTreeEntry& entry) {
  return entry.folder ? matcher.MatchesFolder(store.folder(entry.id)) : matcher.MatchesFile(store.file(entry.id));
}

bool ShowsResults(AnalysisOutcome outcome) {
  return outcome == AnalysisOutcome::DeletedRunEnded || outcome == AnalysisOutcome::ResultsReady;
}

}  // namespace

void AppendPrintable(std::string& out, std::string_view text) {
  const auto control = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  };
  while (!text.empty()) {
    const auto plain = static_cast<std::size_t>(std::ranges::find_if(text, control) - text.begin());
    out.append(text.substr(0, plain));
    if (plain == text.size()) return;
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[plain]));
    out += escaped;
    text.remove_prefix(plain + 1);
  }
}

std::string PrintableLine(const std::string& text) {
  std::string shown;
  AppendPrintable(shown, text);
  return shown;
}

std::vector<FoundTreeEntry> FoundEntries(const Session& session) {
  return ListFoundTree(session.store, RootNumberOf(session.analysisParameters.fileSystem), ShownVolume(session.store));
}

AnalysisRun RunAnalysisFor(Session& session, const SourceChoice& choice) {
  TerminalProgress sink;
  AnalysisProgress progress(sink);
  sink.SetProgress(&progress);
  StopOnInterrupt interrupt(session.worker);
  AnalysisRun run;
  if (!choice.loadLog.empty()) {
    run.outcome = session.ReplayLog(progress);
  } else if (ModeOf(choice) != RecoveryMode::PartitionData) {
    run.outcome = session.AnalyseSelectedRange(ModeOf(choice), progress);
  } else {
    run.outcome = session.ScanRangeForVolumes(progress);
  }
  // A log whose lists are damaged is refused input (its message is out).
  if (!choice.loadLog.empty() && run.outcome == AnalysisOutcome::CloseNoResults) {
    run.outcome = AnalysisOutcome::NoWorker;
  }
  // When a volume is named, its copy: the volume list's Next.
  if (run.outcome == AnalysisOutcome::CloseForVolumeList && choice.volume != 0) {
    if (!IsListedVolume(choice.volume, session.volumeCandidates.size())) {
      std::cerr << kMsgNoSuchVolume << choice.volume << ".\n";
      run.outcome = AnalysisOutcome::NoWorker;
    } else {
      run.outcome = session.CopyFoundVolume(choice.volume, progress);
    }
  }
  run.interrupted = interrupt.interrupted();
  return run;
}

int RunAnalyze(const AnalyzeOptions& options) {
  CliPrompts prompts(options.badSectors == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll);
  const SearchFilterReading search = ReadSearchFilters(options.search);
  if (search.refusal) {
    std::cerr << *search.refusal << '\n';
    return kExitRefused;
  }
  Session session(prompts, SessionOptionsFor(options.source));
  if (const auto refusal = SelectSource(session, options.source)) {
    std::cerr << DisplayText(*refusal) << '\n';
    return kExitRefused;
  }
  const AnalysisRun run = RunAnalysisFor(session, options.source);
  if (run.outcome == AnalysisOutcome::NoWorker) return kExitRefused;
  const bool volumeList = run.outcome == AnalysisOutcome::CloseForVolumeList;
  if (!volumeList && !ShowsResults(run.outcome)) return kExitIncomplete;
  bool logWritten = true;
  if (!options.saveLog.empty()) {
    if (const auto refusal = session.SaveLog(options.saveLog, volumeList)) {
      std::cerr << *refusal << '\n';
      logWritten = false;
    }
  }
  const int status = run.interrupted || !logWritten ? kExitIncomplete : kExitDone;
  if (volumeList) {
    PrintVolumes(session, options.json);
    return status;
  }

  const Store& store = session.store;
  const FileSystemKind fileSystem = session.analysisParameters.fileSystem;
  std::optional<SearchMatcher> matcher;
  if (search.criteria) matcher.emplace(*search.criteria, fileSystem);
  const auto visit = [&](const std::function<void(const ItemRow&)>& each) {
    std::uint64_t itemId = 0;
    VisitFoundTreeEntries(store, RootNumberOf(fileSystem), ShownVolume(store), [&](const FoundTreeEntry& entry) {
      ++itemId;
      if (matcher && !Matches(*matcher, store, entry)) return;
      ItemRow row = RowOf(store, entry);
      row.itemId = itemId;
      each(row);
    });
  };
  if (options.json) {
    JsonReport report(std::cout, fileSystem);
    report.Begin(store);
    visit([&](const ItemRow& row) { report.Item(row); });
    report.End(store, ModeWordOf(session, options.source));
  } else {
    TextReport report(std::cout, fileSystem);
    visit([&](const ItemRow& row) { report.Item(row); });
  }
  return status;
}

}  // namespace korv::cli
