#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "cli/source_choice.h"
#include "imaging/run_imaging.h"
#include "platform/file.h"
#include "storage/disk_image.h"
#include "save/safe_names.h"

namespace korv::cli {

namespace {

inline constexpr std::string_view kMsgChooseImageRange = "Give one of --partition, both --first and --end, or --whole.";
inline constexpr std::string_view kMsgImageMayNotFit =
    "The image may not fit the free space of the target folder; nothing was written.";
inline constexpr std::string_view kMsgTargetNotMade = "The target folder could not be made: ";
inline constexpr std::string_view kMsgWriteAborted = "Stopped, the image could not be written: ";

// No one is there to answer: a write that fails ends the run, so that no
// image with missing chunks is left looking whole.
class CliImagingQuestions final : public SaveQuestions {
 public:
  ReplaceReply AskReplace(std::string_view, const std::filesystem::path&) override { return {}; }
  CopyErrorAnswer AskCopyError(std::string_view, const std::filesystem::path& path) override {
    std::cerr << kMsgWriteAborted << path.string() << '\n';
    return CopyErrorAnswer::Abort;
  }
};

// Selects the partition, the typed range (as the source page does for
// Create Disk Image with "UNKNOWN" as its file system) or the whole disk.
std::optional<std::string> SelectImageRange(Session& session, const ImageOptions& options) {
  const SourceChoice& choice = options.source;
  const bool typedRange = choice.first || choice.end;
  const int ways = (choice.partition > 0 ? 1 : 0) + (typedRange ? 1 : 0) + (options.whole ? 1 : 0);
  if (ways != 1 || (typedRange && (!choice.first || !choice.end))) return std::string(kMsgChooseImageRange);
  const VirtualFileSelection selection = session.OpenVirtualFile(choice.image);
  if (!selection.accepted) return selection.message;
  if (choice.partition > 0) {
    if (!session.SelectPartition(choice.partition)) {
      return std::string(kMsgNoSuchPartition) + std::to_string(choice.partition) + ".";
    }
    return std::nullopt;
  }
  if (!session.SelectDisk()) return std::string(kMsgSelectVirtualDisk);
  if (options.whole) {
    // The disk node starts at sector 63; the whole disk starts at 0.
    session.range.firstSector = 0;
    session.range.endSector = session.OpenDiskFacts()->diskSizeBytes / session.sectors.sectorBytes();
    return std::nullopt;
  }
  constexpr int kUnknownItem = 3;
  const RangeFields fields{std::to_string(*choice.first), std::to_string(*choice.end), kUnknownItem};
  const StartOutcome start = session.sourceTree.ValidateAndStart(RecoveryMode::CreateDiskImage, fields);
  if (start.action != StartAction::OpenImagingPage) return start.message;
  return std::nullopt;
}

void PrintText(const ImagingSummary& summary) {
  std::cout << "Sectors copied: " << summary.sectorsCopied << '\n'
            << "Sectors unreadable (zero-filled): " << summary.sectorsUnreadable << '\n';
  if (summary.sectorsUnwritten > 0) std::cout << "Sectors not written: " << summary.sectorsUnwritten << '\n';
  for (const auto& piece : summary.pieces) std::cout << "Piece: " << piece.string() << '\n';
  if (!summary.sha256.empty()) std::cout << "SHA-256: " << summary.sha256 << '\n';
  std::cout << summary.endMessage << '\n';
}

void PrintJson(const ImagingSummary& summary) {
  nlohmann::json pieces = nlohmann::json::array();
  for (const auto& piece : summary.pieces) pieces.push_back(piece.string());
  nlohmann::json out{{"finished", summary.finished},
                     {"sectorsCopied", summary.sectorsCopied},
                     {"sectorsUnreadable", summary.sectorsUnreadable},
                     {"sectorsUnwritten", summary.sectorsUnwritten},
                     {"bytesWritten", summary.bytesWritten},
                     {"pieces", pieces},
                     {"message", summary.endMessage}};
  if (!summary.sha256.empty()) out["sha256"] = summary.sha256;
  std::cout << out.dump(2) << '\n';
}

int Refuse(std::string_view message, bool json) {
  std::cerr << DisplayText(message) << '\n';
  if (json) std::cout << nlohmann::json{{"finished", false}, {"message", DisplayText(message)}}.dump(2) << '\n';
  return kExitRefused;
}

}  // namespace

int RunImage(const ImageOptions& options) {
  CliPrompts prompts(options.badSectors == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll);
  Session session(prompts, SessionOptionsFor(options.source));
  if (const auto refusal = SelectImageRange(session, options)) return Refuse(*refusal, options.json);

  const std::filesystem::path folder = ImageFolderFromField(options.output);
  if (!folder.empty() && !IsDirectory(folder) && !CreateFolderPath(folder)) {
    return Refuse(std::string(kMsgTargetNotMade) + folder.string(), options.json);
  }
  const std::uint64_t imageBytes =
      (session.range.endSector - session.range.firstSector) * std::uint64_t{session.sectors.sectorBytes()};
  if (const auto refusal = CheckImageTarget(folder, imageBytes, ImageFolderBeingRead(session.source), prompts, FreeSpace)) {
    return Refuse(refusal->empty() ? kMsgImageMayNotFit : *refusal, options.json);
  }

  ImagingTarget target;
  target.imageFolder = folder;
  target.split = options.split;
  CliImagingQuestions questions;
  FileImageOutput output;
  TerminalProgress progress;
  ImagingJob job{session.sectors, session.worker, progress, questions, session.saveState.errors, target, output};
  session.worker.Reset();
  ImagingSummary summary;
  {
    StopOnInterrupt interrupt(session.worker);
    summary = RunImaging(job);
  }
  if (options.json) {
    PrintJson(summary);
  } else {
    PrintText(summary);
  }
  const bool whole = summary.finished && summary.sectorsUnreadable == 0 && summary.sectorsUnwritten == 0;
  return whole ? kExitDone : kExitIncomplete;
}

}  // namespace korv::cli
