#include <iostream>
#include <nlohmann/json.hpp>
#include <variant>

#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "cli/source_choice.h"
#include "engine/found_tree.h"
#include "engine/item_time.h"
#include "engine/partition_volumes.h"
#include "fs/fat/fat_directory.h"
#include "fs/ntfs/record_values.h"
#include "ui/logic/item_texts.h"
#include "ui/logic/volume_list.h"

namespace korv::cli {

namespace {

using Json = nlohmann::json;

inline constexpr std::string_view kMsgNoSuchVolume = "The scan found no volume ";


// Control characters of a name from disk would break the one-item-a-line
// listing: they are shown as \xNN.
std::string PrintableLine(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    shown += escaped;
  }
  return shown;
}

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
};

ItemRow RowOf(const Store& store, const FoundTreeEntry& entry) {
  if (entry.folder) {
    const FoundFolder& folder = store.folder(entry.id);
    return {entry, folder.deleted == kFlagYes, 0, folder.ownNumber, folder.times};
  }
  const FoundFile& file = store.file(entry.id);
  return {entry, file.deleted == kFlagYes, file.size, file.ownNumber, file.times};
}

void PrintText(const std::vector<ItemRow>& rows, FileSystemKind fileSystem) {
  for (const ItemRow& row : rows) {
    std::cout << ItemTypeText(row.entry.folder, row.deleted) << '\t' << row.size << '\t'
              << ItemDates(row.times, fileSystem).modified << '\t' << PrintableLine(row.entry.path) << '\n';
  }
}

void PrintJson(const std::vector<ItemRow>& rows, const Session& session, const SourceChoice& choice) {
  const FileSystemKind fileSystem = session.analysisParameters.fileSystem;
  const auto isoTime = [&](const ItemTimes& times, ItemTimeKind kind) {
    return std::visit(TimeCases{[](const NtfsItemTime& time) { return NtfsIsoTime(time.ticks); },
                                [](const FatItemTime& time) { return FatIsoTime(time.date, time.time, time.hasTime); }},
                      ReadItemTime(times, kind, fileSystem));
  };
  Json items = Json::array();
  for (const ItemRow& row : rows) {
    items.push_back({
        {"path", row.entry.path},
        {"kind", row.entry.folder ? "folder" : "file"},
        {"type", ItemTypeText(row.entry.folder, row.deleted)},
        {"deleted", row.deleted},
        {"size", row.size},
        {"modified", isoTime(row.times, ItemTimeKind::Modified)},
        {"created", isoTime(row.times, ItemTimeKind::Created)},
        {"accessed", isoTime(row.times, ItemTimeKind::Accessed)},
        {"id", row.id},
    });
  }
  const Store& store = session.store;
  std::cout << Json{{"mode", choice.mode},
                    {"fileSystem", FileSystemName(fileSystem)},
                    {"folderCount", store.folderCount()},
                    {"fileCount", store.fileCount()},
                    {"totalBytes", store.totalFileBytes()},
                    {"items", items}}
                   .dump(2)
            << '\n';
}

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

bool ShowsResults(AnalysisOutcome outcome) {
  return outcome == AnalysisOutcome::DeletedRunEnded || outcome == AnalysisOutcome::ResultsReady;
}

}  // namespace

std::vector<FoundTreeEntry> FoundEntries(const Session& session) {
  return ListFoundTree(session.store, RootNumberOf(session.analysisParameters.fileSystem), ShownVolume(session.store));
}

AnalysisRun RunAnalysisFor(Session& session, const SourceChoice& choice) {
  TerminalProgress sink;
  AnalysisProgress progress(sink);
  sink.SetProgress(&progress);
  StopOnInterrupt interrupt(session.worker);
  AnalysisRun run;
  if (ModeOf(choice) != RecoveryMode::PartitionData) {
    run.outcome = session.AnalyseSelectedRange(ModeOf(choice), progress);
  } else {
    // The scan, then, when a volume is named, its copy: the volume list's
    // Next.
    run.outcome = session.ScanRangeForVolumes(progress);
    if (run.outcome == AnalysisOutcome::CloseForVolumeList && choice.volume != 0) {
      if (!IsListedVolume(choice.volume, session.volumeCandidates.size())) {
        std::cerr << kMsgNoSuchVolume << choice.volume << ".\n";
        run.outcome = AnalysisOutcome::NoWorker;
      } else {
        run.outcome = session.CopyFoundVolume(choice.volume, progress);
      }
    }
  }
  run.interrupted = interrupt.interrupted();
  return run;
}

int RunAnalyze(const AnalyzeOptions& options) {
  CliPrompts prompts(options.badSectors == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll);
  Session session(prompts, SessionOptionsFor(options.source));
  if (const auto refusal = SelectSource(session, options.source)) {
    std::cerr << DisplayText(*refusal) << '\n';
    return kExitRefused;
  }
  const AnalysisRun run = RunAnalysisFor(session, options.source);
  if (run.outcome == AnalysisOutcome::NoWorker) return kExitRefused;
  if (run.outcome == AnalysisOutcome::CloseForVolumeList) {
    PrintVolumes(session, options.json);
    return run.interrupted ? kExitIncomplete : kExitDone;
  }
  if (!ShowsResults(run.outcome)) return kExitIncomplete;

  std::vector<ItemRow> rows;
  for (const FoundTreeEntry& entry : FoundEntries(session)) rows.push_back(RowOf(session.store, entry));
  if (options.json) {
    PrintJson(rows, session, options.source);
  } else {
    PrintText(rows, session.analysisParameters.fileSystem);
  }
  return run.interrupted ? kExitIncomplete : kExitDone;
}

}  // namespace korv::cli
