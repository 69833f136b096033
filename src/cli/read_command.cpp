#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "app/session.h"
#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "platform/file.h"
#include "platform/read_buffer.h"

namespace korv::cli {

namespace {

namespace fs = std::filesystem;

// Sectors handed to ReadSectors at a time, so that any count streams out in
// bounded memory.
constexpr std::uint32_t kSectorsPerRead = 2048;

inline constexpr std::string_view kMsgDiskEndsAt = "The disk ends at sector ";
inline constexpr std::string_view kMsgZerosPastEnd = ": the sectors asked for past it were written as zeros.";

BadSectorAnswer AnswerFor(const std::string& choice) {
  return choice == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll;
}

}  // namespace

int RunRead(const ReadOptions& options) {
  CliPrompts prompts(AnswerFor(options.badSectors));
  Session session(prompts, SessionOptions{options.inventory});
  const VirtualFileSelection selection = session.OpenVirtualFile(options.image);
  if (!selection.accepted) {
    std::cerr << selection.message << '\n';
    return kExitRefused;
  }
  if (!options.output.empty() && IsSameFile(options.output, options.image)) {
    std::cerr << "The output file is the disk file itself; nothing was written.\n";
    return kExitRefused;
  }

  std::FILE* out = options.output.empty() ? stdout : std::fopen(options.output.c_str(), "wb");
  if (!out) {
    std::cerr << "Cannot create " << options.output << '\n';
    return kExitRefused;
  }

  const std::uint32_t sectorBytes = session.sectors.sectorBytes();
  ReadBuffer buffer(std::size_t{kSectorsPerRead} * sectorBytes);
  bool allRead = true;
  bool written = true;
  for (std::uint64_t done = 0; done < options.count && written;) {
    const auto run = static_cast<std::uint32_t>(std::min<std::uint64_t>(kSectorsPerRead, options.count - done));
    const int result = session.sectors.ReadCurrent(options.first + done, run, buffer);
    allRead = allRead && result != 0;
    const std::size_t bytes = std::size_t{run} * sectorBytes;
    written = std::fwrite(buffer.data(), 1, bytes, out) == bytes;
    done += run;
  }
  written = (out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0) && written;
  if (!written) {
    std::cerr << "Cannot write the output.\n";
    return kExitIncomplete;
  }
  // The output keeps the length asked for, and the zeros are not passed
  // off as disk data.
  const std::uint64_t diskSectors = session.OpenDiskFacts()->diskSizeBytes / sectorBytes;
  const bool pastEnd = options.first >= diskSectors || options.count > diskSectors - options.first;
  if (options.count > 0 && pastEnd) {
    std::cerr << kMsgDiskEndsAt << diskSectors << kMsgZerosPastEnd << '\n';
    return kExitIncomplete;
  }
  return allRead ? kExitDone : kExitIncomplete;
}

}  // namespace korv::cli
