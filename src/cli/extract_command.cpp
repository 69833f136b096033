#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string_view>

#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "cli/item_ids.h"
#include "platform/file.h"
#include "platform/read_buffer.h"
#include "save/extraction.h"

namespace korv::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCopyChunkBytes = std::size_t{1} << 20;

inline constexpr std::string_view kMsgIdIsFolder = " is a folder: extract takes a file; recover --select-id saves a folder.";
inline constexpr std::string_view kMsgOutputIsSource = "The output file is the disk file itself; nothing was written.";
inline constexpr std::string_view kMsgNotAllExtracted = "Not every byte of the file could be read or written: ID ";
inline constexpr std::string_view kMsgNoScratchFolder = "No scratch folder could be made for the file: ";
inline constexpr std::string_view kMsgCannotWriteOutput = "Cannot write the output.";

// A private folder under $TMPDIR (or /tmp), removed with what it holds when
// this ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-extract-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// The whole of `path` to standard output.
bool CopyToStandardOutput(const fs::path& path) {
  const auto file = File::OpenReadOnly(path);
  if (!file) return false;
  ReadBuffer buffer(kCopyChunkBytes);
  const std::uint64_t size = file->Size();
  for (std::uint64_t offset = 0; offset < size;) {
    const std::size_t got = file->ReadAt(offset, buffer);
    if (got == 0) return false;
    if (std::fwrite(buffer.data(), 1, got, stdout) != got) return false;
    offset += got;
  }
  return std::fflush(stdout) == 0;
}

}  // namespace

int RunExtract(const ExtractOptions& options) {
  CliPrompts prompts(options.badSectors == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll);
  Session session(prompts, SessionOptionsFor(options.source));
  AnalysisRun run;
  if (const auto status = AnalyseForFiles(session, options.source, run)) return *status;
  const auto entry = FindItemId(FoundEntries(session), options.id);
  if (!entry) {
    std::cerr << kMsgNoItemWithId << options.id << ".\n";
    return kExitRefused;
  }
  if (entry->folder) {
    std::cerr << options.id << kMsgIdIsFolder << '\n';
    return kExitRefused;
  }
  if (!options.output.empty() && IsSameFile(options.output, options.source.image)) {
    std::cerr << kMsgOutputIsSource << '\n';
    return kExitRefused;
  }

  const FoundFile& file = session.store.file(entry->id);
  ExtractionSource source(session.sectors, session.analysisParameters);
  const bool toStandardOutput = options.output.empty();
  if (!toStandardOutput) {
    if (!ExtractFoundFile(source, file, options.output)) {
      std::cerr << kMsgNotAllExtracted << options.id << '\n';
      return kExitIncomplete;
    }
    return run.interrupted ? kExitIncomplete : kExitDone;
  }
  // The file is written whole first (its copy may seek), then poured out.
  const ScratchFolder scratch;
  if (scratch.path().empty()) {
    std::cerr << kMsgNoScratchFolder << std::strerror(errno) << '\n';
    return kExitIncomplete;
  }
  const fs::path target = scratch.path() / "file";
  const bool whole = ExtractFoundFile(source, file, target);
  if (PathExists(target) && !CopyToStandardOutput(target)) {
    std::cerr << kMsgCannotWriteOutput << '\n';
    return kExitIncomplete;
  }
  if (!whole) {
    std::cerr << kMsgNotAllExtracted << options.id << '\n';
    return kExitIncomplete;
  }
  return run.interrupted ? kExitIncomplete : kExitDone;
}

}  // namespace korv::cli
