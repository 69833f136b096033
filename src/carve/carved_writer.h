// Writes carved files: DESTINATION/TYPE/N.TYPE, numbered per type from 0,
// passing over numbers whose file exists, so a second scan into the same
// folder keeps what the first one wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "carve/range_reader.h"
#include "common/progress.h"
#include "common/prompts.h"

namespace korv {

inline constexpr std::string_view kMsgDestinationSpace =
    "Destination does not contain adequate space. Do you want to continue.";
inline constexpr std::string_view kMsgStopIncomplete =
    "Do you want to stop this process. This may give you incomplete data.";

// The destination dialog in raw mode: it only picks a folder.
class CarveDestinationDialog {
 public:
  virtual ~CarveDestinationDialog() = default;
  // A folder chosen by the user; nothing when the dialog closed without one.
  virtual std::optional<std::filesystem::path> ChooseFolder() = 0;
};

using FreeSpaceFunction = std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;

enum class CarveWrite {
  Written,     // the whole file is on the destination
  Declined,    // No to the space question: not written, the scan goes on
  Failed,      // not created, or a short write (the partial file is removed)
  StopScan,    // the user stopped the scan from the space questions
};

class CarvedFileWriter {
 public:
  CarvedFileWriter(std::filesystem::path destination, Prompts& prompts, CarveDestinationDialog& dialog,
                   FreeSpaceFunction freeSpace);

  // Copies `bytes` bytes of the stream from `start` into the next free name
  // of `typeName`.
  CarveWrite Write(RangeReader& reader, std::uint64_t start, std::uint64_t bytes, std::string_view typeName,
                   ProgressSink& sink);

  std::uint64_t bytesWritten() const { return bytesWritten_; }
  const std::filesystem::path& destination() const { return destination_; }
  // The file the last Write created or tried to.
  const std::filesystem::path& lastPath() const { return lastPath_; }

 private:
  // The space question and, on Yes, the destination dialog until a folder
  // with room is chosen or the user stops. Nothing: do not write.
  std::optional<CarveWrite> EnsureSpace(std::uint64_t bytes);
  std::filesystem::path NextFreePath(std::string_view typeName);
  bool Copy(RangeReader& reader, std::uint64_t start, std::uint64_t bytes, const std::filesystem::path& path);

  std::filesystem::path destination_;
  Prompts& prompts_;
  CarveDestinationDialog& dialog_;
  FreeSpaceFunction freeSpace_;
  std::map<std::string, std::uint64_t, std::less<>> counters_;
  std::uint64_t bytesWritten_ = 0;
  std::filesystem::path lastPath_;
};

}  // namespace korv
