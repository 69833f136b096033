// What the benchmark programs share: a clock, prompts nobody answers, a
// scratch folder, and a raw disk read the way the program reads a physical
// disk.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#include "app/session.h"
#include "common/prompts.h"
#include "storage/current_source.h"
#include "volumes/partition_table.h"

namespace korv::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Nobody is there to ask: bad sectors are skipped, questions answered No.
class UnattendedPrompts final : public korv::Prompts {
 public:
  korv::BadSectorAnswer AskBadSector(std::string_view) override { return korv::BadSectorAnswer::SkipAll; }
  bool AskYesNo(std::string_view) override { return false; }
  void ShowMessage(std::string_view message) override { std::cerr << message << '\n'; }
};

// A folder of its own for the session's disk inventory, removed at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + ".XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool made() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A raw disk is read as the program reads a physical disk: its path in the
// first device slot, the partition taken from the disk's own table.
inline bool SelectRawDiskPartition(korv::Session& session, const char* path, int number) {
  session.source.kind = korv::SourceKind::PhysicalDisk;
  session.source.devices.paths[0] = path;
  session.source.devices.currentDevice = 0;
  korv::PartitionList list;
  if (!korv::ListPartitions(session.sectors, list, 0) || number > list.count) return false;
  const auto slot = static_cast<std::size_t>(number - 1);
  korv::SelectedRange& range = session.range;
  range.firstSector = list.entries[slot].firstSector;
  range.endSector = list.entries[slot].endSector;
  range.fileSystem = list.fileSystems[slot];
  range.diskNumber = 0;
  range.partitionIndex = static_cast<std::int16_t>(slot);
  return true;
}

// Opens `image` (a virtual disk file, or with `device` a raw disk) and
// selects partition `number`, noting when the file was open. 0 when both
// worked, else the exit status to end with (the reason is on stderr).
inline int OpenAndSelect(Session& session, const char* image, bool device, int number, Clock::time_point& opened) {
  if (!device) {
    const VirtualFileSelection selection = session.OpenVirtualFile(image);
    if (!selection.accepted) {
      std::cerr << image << ": " << selection.message << '\n';
      return 2;
    }
  }
  opened = Clock::now();
  const bool selected = device ? SelectRawDiskPartition(session, image, number) : session.SelectPartition(number);
  if (selected) return 0;
  std::cerr << image << ": no partition " << number << '\n';
  return 2;
}

}  // namespace korv::bench
