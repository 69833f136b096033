#include <iostream>
#include <nlohmann/json.hpp>

#include "app/session.h"
#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "storage/allocation_stretches.h"
#include "storage/disk_image.h"

namespace korv::cli {

namespace {

struct ProbeReport {
  std::string file;
  bool image = false;  // an image folder or raw disk, which have no format letter
  bool raw = false;
  char letter = VirtualFormat::Vmdk;
  int openResult = 0;
  bool accepted = false;
  std::string message;
  std::string reason;  // the check the file failed, when a reader named one
  VirtualDiskFacts facts;
  std::optional<std::uint64_t> heldBytes;  // what the container holds of the disk
};

void PrintText(const ProbeReport& report) {
  std::cout << "file: " << report.file << '\n';
  if (report.image) {
    std::cout << "format: " << (report.raw ? kRawImageFormatName : kImageFormatName) << '\n';
  } else {
    std::cout << "format: " << FormatName(report.letter) << " (" << report.letter << ")\n";
  }
  std::cout << "open result: " << report.openResult << '\n';
  if (!report.accepted) {
    std::cout << "refused: " << report.message << '\n';
    if (!report.reason.empty()) std::cout << "reason: " << report.reason << '\n';
    return;
  }
  std::cout << "accepted\n"
            << "disk size: " << report.facts.diskSizeBytes << " bytes\n";
  if (report.heldBytes) std::cout << "allocated size: " << *report.heldBytes << " bytes\n";
  std::cout << "media type: " << report.facts.mediaTypeText << '\n'
            << "model: " << report.facts.diskTypeText << '\n';
  for (const std::string& file : report.facts.backingChain) std::cout << "backing file: " << file << '\n';
}

void PrintJson(const ProbeReport& report) {
  nlohmann::json out = {
      {"file", report.file},
      {"format", report.image ? (report.raw ? kRawImageFormatName : kImageFormatName) : FormatName(report.letter)},
      {"letter", report.image ? std::string() : std::string(1, report.letter)},
      {"openResult", report.openResult},
      {"accepted", report.accepted},
  };
  if (report.accepted) {
    out["diskSize"] = report.facts.diskSizeBytes;
    out["mediaType"] = report.facts.mediaTypeText;
    out["model"] = report.facts.diskTypeText;
    if (report.heldBytes) out["allocatedSize"] = *report.heldBytes;
    out["backingChain"] = report.facts.backingChain;
  } else {
    out["message"] = report.message;
    if (!report.reason.empty()) out["reason"] = report.reason;
  }
  std::cout << out.dump(2) << '\n';
}

}  // namespace

int RunProbe(const ProbeOptions& options) {
  CliPrompts prompts(BadSectorAnswer::SkipAll);
  Session session(prompts, SessionOptions{options.inventory});
  const VirtualFileSelection selection = session.OpenVirtualFile(options.image);
  ProbeReport report;
  report.file = options.image;
  report.letter = selection.virtualFormat;
  report.openResult = static_cast<int>(selection.probeResult);
  report.accepted = selection.accepted;
  report.message = selection.message;
  report.reason = selection.reason;
  report.image = selection.accepted && session.source.isImage();
  report.raw = report.image && !session.source.imageFile.empty();
  if (selection.accepted) {
    report.facts = *session.OpenDiskFacts();
    const auto held = HeldSectors(session.source, report.facts.diskSizeBytes / kVirtualSectorBytes);
    if (held) report.heldBytes = *held * kVirtualSectorBytes;
  }
  if (options.json) {
    PrintJson(report);
  } else {
    PrintText(report);
  }
  // Like every refusal, the message also goes to standard error.
  if (!report.accepted) std::cerr << report.message << '\n';
  return report.accepted ? kExitDone : kExitRefused;
}

}  // namespace korv::cli
