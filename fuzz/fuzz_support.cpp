#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace korv::fuzz {

namespace fs = std::filesystem;

namespace {

fs::path ScratchRoot() { return fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path(); }

// What a target wrote goes with the process (libFuzzer ends through exit();
// a crash leaves it for the finding's replay).
void RemoveAtExit(const fs::path& path) {
  static std::vector<fs::path> made;
  if (std::find(made.begin(), made.end(), path) != made.end()) return;
  if (made.empty()) {
    std::atexit([] {
      std::error_code ignored;
      for (const fs::path& each : made) fs::remove_all(each, ignored);
    });
  }
  made.push_back(path);
}

}  // namespace

void WriteBytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Require(fd >= 0, "cannot write the input file");
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    Require(n > 0, "cannot write the input file");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

fs::path InputAsFile(std::span<const std::uint8_t> input, std::string_view extension) {
  const fs::path path = ScratchRoot() / ("korv-fuzz-" + std::to_string(::getpid()) + std::string(extension));
  RemoveAtExit(path);
  WriteBytes(path, input);
  return path;
}

fs::path EmptyScratchFolder(std::string_view purpose) {
  const fs::path folder = ScratchRoot() / ("korv-fuzz-" + std::to_string(::getpid()) + "-" + std::string(purpose));
  RemoveAtExit(folder);
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder, ec);
  Require(!ec, "cannot make the scratch folder");
  return folder;
}

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz oracle failed: %s\n", what);
  std::abort();
}

namespace {

// A small generator so that run lengths vary from input to input.
std::uint64_t Next(std::uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

void CheckRun(VirtualDisk& disk, std::uint64_t first, std::uint32_t count) {
  std::vector<std::uint8_t> run(std::size_t{count} * kVirtualSectorBytes);
  std::vector<std::uint8_t> one(kVirtualSectorBytes);
  const int runResult = disk.ReadRun(first, count, run);
  int lastResult = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    lastResult = disk.ReadSector(first + i, one);
    const auto part = std::span(run).subspan(std::size_t{i} * kVirtualSectorBytes, kVirtualSectorBytes);
    Require(std::equal(part.begin(), part.end(), one.begin()), "a run reads other bytes than one sector at a time");
  }
  Require((runResult != 0) == (lastResult != 0), "a run's result differs from its last sector's");
  // A look, where the reader allows one, shows what the read gave.
  // Parts are placed by where they start; room is made beforehand, as a
  // look may not allocate.
  std::vector<std::uint8_t> shown(run.size());
  std::atomic<bool> outside{false};
  const bool looked = disk.LookRun(first, count, [&](std::uint64_t at, std::span<const std::uint8_t> part) {
    if (at > shown.size() || part.size() > shown.size() - at) {
      outside.store(true);
      return;
    }
    std::copy(part.begin(), part.end(), shown.begin() + static_cast<std::ptrdiff_t>(at));
  });
  Require(!outside.load(), "a look shows a part outside its run");
  Require(!looked || shown == run, "a look shows other bytes than the run reads");
}

}  // namespace

void ReadWholeDiskChecked(VirtualDisk& disk, std::uint64_t seed, std::uint64_t maxSectors) {
  const std::uint64_t sectors = disk.facts().diskSizeBytes / kVirtualSectorBytes;
  std::uint64_t state = seed | 1;
  const std::uint64_t headSectors = std::min(sectors, maxSectors);
  for (std::uint64_t at = 0; at < headSectors;) {
    const auto count = static_cast<std::uint32_t>(1 + Next(state) % 67);
    CheckRun(disk, at, count);
    at += count;
  }
  // The last sectors, and a run across the end of the disk.
  if (sectors > headSectors) CheckRun(disk, sectors - std::min<std::uint64_t>(sectors, 9), 9);
  CheckRun(disk, sectors, 3);
  // The allocation map over the same sectors: every answer must move on.
  for (std::uint64_t at = 0; at < headSectors;) {
    const std::uint64_t run = disk.allocationAt(at).sectors;
    Require(run > 0, "an allocation answer covers no sector");
    at += run;
  }
}

}  // namespace korv::fuzz
