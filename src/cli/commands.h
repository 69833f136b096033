// The commands of korvane-cli. Each returns the process exit status.
#pragma once

#include <cstdint>
#include <string>

namespace korv::cli {

// Exit statuses scripts rely on.
constexpr int kExitDone = 0;
constexpr int kExitIncomplete = 1;  // the work ran but did not complete
constexpr int kExitRefused = 2;     // the input was refused; the message says why

struct ReadOptions {
  std::string image;
  std::uint64_t first = 0;
  std::uint64_t count = 0;
  std::string output;  // empty: standard output
  std::string badSectors = "skip";
};

int RunRead(const ReadOptions& options);

struct ProbeOptions {
  std::string image;
  bool json = false;
};

// Recognises a disk file and says whether it would be accepted, and why not.
int RunProbe(const ProbeOptions& options);

struct PartitionsOptions {
  std::string image;
  bool json = false;
};

// The source tree of a disk file: its partitions as the source page lists them.
int RunPartitions(const PartitionsOptions& options);

}  // namespace korv::cli
