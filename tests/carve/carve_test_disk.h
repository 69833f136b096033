// A disk in memory for the carving tests: sectors written by hand, a
// stretch the container may report as unallocated, and the scan run over it
// into a private folder.
#pragma once

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/session.h"
#include "carve/raw_scan.h"
#include "support/test_support.h"

namespace korv::test {

class HoleyDisk final : public VirtualDisk {
 public:
  explicit HoleyDisk(std::size_t sectors) : bytes(sectors * kVirtualSectorBytes, 0) {}

  std::vector<std::uint8_t> bytes;
  std::uint64_t holeFirst = 0, holeEnd = 0;  // reported unallocated
  std::uint64_t holeReads = 0;

  char formatLetter() const override { return 'H'; }
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) override {
    const std::uint64_t count = out.size() / kVirtualSectorBytes;
    for (std::uint64_t s = sector; s < sector + count; ++s) holeReads += (s >= holeFirst && s < holeEnd) ? 1 : 0;
    const std::uint64_t offset = sector * kVirtualSectorBytes;
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    if (offset >= bytes.size()) return 0;
    std::memcpy(out.data(), bytes.data() + offset, std::min<std::size_t>(out.size(), bytes.size() - offset));
    return 1;
  }
  VirtualDiskFacts facts() const override { return {bytes.size(), bytes.size(), "Virtual File VHD", "Fixed", std::nullopt, {}}; }
  AllocationRun allocationAt(std::uint64_t sector) const override {
    const std::uint64_t total = bytes.size() / kVirtualSectorBytes;
    if (sector >= total) return {true, 0};
    if (sector >= holeFirst && sector < holeEnd) return {false, holeEnd - sector};
    return {true, (sector < holeFirst ? holeFirst : total) - sector};
  }
};

// The destination dialog answered from a script.
class ScriptedDestination final : public CarveDestinationDialog {
 public:
  std::vector<std::optional<std::filesystem::path>> answers;
  int opened = 0;
  std::optional<std::filesystem::path> ChooseFolder() override {
    if (static_cast<std::size_t>(opened) >= answers.size()) return std::nullopt;
    return answers[static_cast<std::size_t>(opened++)];
  }
};

class CarveScanTest : public ::testing::Test {
 protected:
  explicit CarveScanTest(std::size_t sectors = 2048) : disk_(sectors) {
    session_.source.kind = SourceKind::VirtualDisk;
    session_.source.virtualDisk = &disk_;
  }

  void Put(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    ASSERT_LE(offset + bytes.size(), disk_.bytes.size());
    std::memcpy(disk_.bytes.data() + offset, bytes.data(), bytes.size());
  }
  void Put(std::uint64_t offset, std::string_view text) {
    Put(offset, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }

  CarveSummary Scan(std::string_view types, bool exact = true, std::uint64_t first = 0, std::uint64_t end = 0) {
    if (end == 0) end = disk_.bytes.size() / kVirtualSectorBytes;
    session_.range.firstSector = first;
    session_.range.endSector = end;
    const auto rows = RowsNamed(types);
    EXPECT_TRUE(rows.has_value());
    entries_ = BuildCarveEntries(*rows);
    CarvedFileWriter writer(out_.path(), prompts_, dialog_, freeSpace_);
    CarveJob job{session_.sectors, session_.worker, sink_, writer, entries_, first, end, exact};
    return RunRawScan(job);
  }

  std::vector<std::uint8_t> Carved(const std::string& relative) { return ReadFileBytes(out_.path() / relative); }
  bool Exists(const std::string& relative) { return std::filesystem::exists(out_.path() / relative); }
  std::vector<std::uint8_t> DiskBytes(std::uint64_t offset, std::uint64_t length) {
    return {disk_.bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            disk_.bytes.begin() + static_cast<std::ptrdiff_t>(offset + length)};
  }

  ScriptedPrompts prompts_;
  TempDir state_;
  Session session_{prompts_, SessionOptions{state_.path() / "inventory.json", false}};
  HoleyDisk disk_;
  TempDir out_;
  ScriptedDestination dialog_;
  FreeSpaceFunction freeSpace_;
  RecordingProgress sink_;
  std::vector<CarveEntry> entries_;
};

}  // namespace korv::test
