#include "carve/carved_writer.h"

#include <algorithm>
#include <system_error>

#include "save/output_file.h"
#include "save/save_progress.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

// Anything at the path, even a dangling link, takes the number.
bool Taken(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

}  // namespace

CarvedFileWriter::CarvedFileWriter(fs::path destination, Prompts& prompts, CarveDestinationDialog& dialog,
                                   FreeSpaceFunction freeSpace)
    : destination_(std::move(destination)), prompts_(prompts), dialog_(dialog), freeSpace_(std::move(freeSpace)) {}

std::optional<CarveWrite> CarvedFileWriter::EnsureSpace(std::uint64_t bytes) {
  for (;;) {
    const auto free = freeSpace_ ? freeSpace_(destination_) : std::nullopt;
    if (!free || *free > bytes) return std::nullopt;
    if (!prompts_.AskYesNo(kMsgDestinationSpace)) return CarveWrite::Declined;
    std::optional<fs::path> folder = dialog_.ChooseFolder();
    while (!folder) {
      if (prompts_.AskYesNo(kMsgStopIncomplete)) return CarveWrite::StopScan;
      folder = dialog_.ChooseFolder();
    }
    destination_ = *folder;
    counters_.clear();
  }
}

fs::path CarvedFileWriter::NextFreePath(std::string_view typeName) {
  const fs::path folder = destination_ / std::string(typeName);
  auto counter = counters_.find(typeName);
  if (counter == counters_.end()) counter = counters_.emplace(std::string(typeName), 0).first;
  fs::path path;
  do {
    path = folder / (std::to_string(counter->second++) + "." + std::string(typeName));
  } while (Taken(path));
  return path;
}

bool CarvedFileWriter::Copy(RangeReader& reader, std::uint64_t start, std::uint64_t bytes, const fs::path& path) {
  OutputFile file(path);
  if (!file.isOpen()) return false;
  for (std::uint64_t done = 0; done < bytes;) {
    const ByteView ahead = reader.Ahead(start + done, 1);
    const ByteView piece = ahead.sub(0, std::min<std::uint64_t>(ahead.size(), bytes - done));
    if (piece.empty() || !file.Write(piece.span())) return false;
    done += piece.size();
  }
  return file.Close();
}

CarveWrite CarvedFileWriter::Write(RangeReader& reader, std::uint64_t start, std::uint64_t bytes,
                                   std::string_view typeName, ProgressSink& sink) {
  if (const auto answer = EnsureSpace(bytes)) return *answer;
  std::error_code error;
  fs::create_directories(destination_ / std::string(typeName), error);
  lastPath_ = NextFreePath(typeName);
  sink.SetText(ProgressField::LastName, lastPath_.string());
  if (!Copy(reader, start, bytes, lastPath_)) {
    // Only whole files stay: a partial one would pass for a recovered file.
    fs::remove(lastPath_, error);
    return CarveWrite::Failed;
  }
  bytesWritten_ += bytes;
  sink.SetText(ProgressField::Size, SaveSizeText(bytesWritten_, ""));
  return CarveWrite::Written;
}

}  // namespace korv
