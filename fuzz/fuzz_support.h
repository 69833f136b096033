// Shared pieces of the fuzz targets: the input as a file on a memory-backed
// file system, a silent prompt, and the reader oracle every container target
// asserts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string_view>

#include "common/prompts.h"
#include "storage/virtual_disk.h"

namespace korv::fuzz {

// Writes `bytes` to `path`, created or truncated.
void WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Writes the input to one file per process and returns its path; the file
// is rewritten for every input and removed when the process ends.
std::filesystem::path InputAsFile(std::span<const std::uint8_t> input, std::string_view extension);

// Answers every question with No and skips bad sectors.
class QuietPrompts final : public Prompts {
 public:
  BadSectorAnswer AskBadSector(std::string_view) override { return BadSectorAnswer::SkipAll; }
  bool AskYesNo(std::string_view) override { return false; }
  void ShowMessage(std::string_view) override {}
};

// A folder of this process under /dev/shm (or the temporary folder), named
// after `purpose`, emptied (or made) on every call and removed when the
// process ends: what a target writes stays there and never outlives the
// next input.
std::filesystem::path EmptyScratchFolder(std::string_view purpose);

// Stops the process with a message when `holds` is false, so that libFuzzer
// records the input as a crash.
void Require(bool holds, const char* what);

// Reads the disk in runs of mixed lengths picked by `seed`, at most
// `maxSectors` sectors from the start plus a few runs near the end, and
// requires that every run read exactly as one sector at a time.
void ReadWholeDiskChecked(VirtualDisk& disk, std::uint64_t seed, std::uint64_t maxSectors);

}  // namespace korv::fuzz
