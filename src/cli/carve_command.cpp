#include <iostream>

#include <nlohmann/json.hpp>

#include "carve/raw_scan.h"
#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "cli/source_choice.h"
#include "platform/file.h"
#include "save/save_walk.h"

namespace korv::cli {

namespace {

inline constexpr std::string_view kMsgUnknownType = "Unknown file type in --types: ";
inline constexpr std::string_view kMsgChooseRange = "Give either --partition or both --first and --end.";

// The command line cannot pick another folder: the space question is
// answered No, so this dialog is never opened.
class NoDestinationDialog final : public CarveDestinationDialog {
 public:
  std::optional<std::filesystem::path> ChooseFolder() override { return std::nullopt; }
};

// Selects the partition, or the typed range as the source page does with
// "UNKNOWN" as its file system. The message to print when refused.
std::optional<std::string> SelectCarveRange(Session& session, const SourceChoice& choice) {
  const bool typedRange = choice.first || choice.end;
  if ((choice.partition > 0) == typedRange || (typedRange && (!choice.first || !choice.end))) {
    return std::string(kMsgChooseRange);
  }
  const VirtualFileSelection selection = session.OpenVirtualFile(choice.image);
  if (!selection.accepted) return selection.message;
  if (!typedRange) {
    if (!session.SelectPartition(choice.partition)) {
      return std::string(kMsgNoSuchPartition) + std::to_string(choice.partition) + ".";
    }
    if (session.range.endSector <= session.range.firstSector) return std::string(kMsgEndBiggerThanStart);
    return std::nullopt;
  }
  if (!session.SelectDisk()) return std::string(kMsgSelectVirtualDisk);
  constexpr int kUnknownItem = 3;
  const RangeFields fields{std::to_string(*choice.first), std::to_string(*choice.end), kUnknownItem};
  const StartOutcome start = session.sourceTree.ValidateAndStart(RecoveryMode::RawData, fields);
  if (start.action != StartAction::OpenExtensionPage) return start.message;
  return std::nullopt;
}

void PrintText(const CarveSummary& summary) {
  for (const auto& [type, count] : summary.filesPerType) std::cout << type << '\t' << count << '\n';
  std::cout << "Files written: " << summary.filesWritten << "\nBytes written: " << summary.bytesWritten << '\n';
  std::cout << UnwrittenFilesText(summary);
  std::cout << summary.endMessage << '\n';
}

void PrintJson(const CarveSummary& summary) {
  nlohmann::json failed = nlohmann::json::array();
  for (const auto& path : summary.failedFiles) failed.push_back(path.string());
  nlohmann::json perType = nlohmann::json::object();
  for (const auto& [type, count] : summary.filesPerType) perType[type] = count;
  const nlohmann::json out{{"files", perType},
                           {"filesWritten", summary.filesWritten},
                           {"bytesWritten", summary.bytesWritten},
                           {"failed", failed},
                           {"notWrittenForSpace", summary.declinedFiles},
                           {"stopped", summary.stopped},
                           {"message", summary.endMessage}};
  std::cout << out.dump(2) << '\n';
}

}  // namespace

int RunCarve(const CarveOptions& options) {
  const auto rows = RowsNamed(options.types);
  if (!rows) {
    std::cerr << kMsgUnknownType << options.types << '\n';
    return kExitRefused;
  }
  if (rows->empty()) {
    std::cerr << kMsgNoExtensionTicked << '\n';
    return kExitRefused;
  }
  CliPrompts prompts(options.badSectors == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll);
  Session session(prompts, SessionOptionsFor(options.source));
  if (const auto refusal = SelectCarveRange(session, options.source)) {
    std::cerr << DisplayText(*refusal) << '\n';
    return kExitRefused;
  }
  const auto destination = AcceptDestination(options.output, prompts);
  if (!destination) return kExitRefused;

  const std::vector<CarveEntry> entries = BuildCarveEntries(*rows);
  NoDestinationDialog dialog;
  CarvedFileWriter writer(*destination, prompts, dialog, FreeSpace);
  TerminalProgress progress;
  CarveJob job{session.sectors, session.worker, progress, writer, entries,
               session.range.firstSector, session.range.endSector, !options.wholeSectors};
  session.worker.Reset();
  CarveSummary summary;
  {
    StopOnInterrupt interrupt(session.worker);
    summary = RunRawScan(job);
  }
  if (options.json) {
    PrintJson(summary);
  } else {
    PrintText(summary);
  }
  const bool whole = !summary.stopped && !summary.noMemory && summary.failedFiles.empty() && summary.declinedFiles == 0;
  return whole ? kExitDone : kExitIncomplete;
}

}  // namespace korv::cli
