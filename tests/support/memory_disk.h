// A virtual disk held in memory, for tests that build sectors by hand.
#pragma once

#include <cstring>
#include <vector>

#include "storage/virtual_disk.h"

namespace korv::test {

class MemoryDisk final : public VirtualDisk {
 public:
  explicit MemoryDisk(std::size_t sectors) : bytes(sectors * kVirtualSectorBytes, 0) {}

  std::vector<std::uint8_t> bytes;
  int reads = 0;

  std::span<std::uint8_t> Sector(std::uint64_t sector) {
    return std::span(bytes).subspan(static_cast<std::size_t>(sector * kVirtualSectorBytes), kVirtualSectorBytes);
  }

  char formatLetter() const override { return 'H'; }
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) override {
    ++reads;
    const std::uint64_t offset = sector * kVirtualSectorBytes;
    if (offset >= bytes.size() || out.size() > bytes.size() - offset) {
      std::fill(out.begin(), out.end(), std::uint8_t{0});
      return 0;
    }
    std::memcpy(out.data(), bytes.data() + offset, out.size());
    return 1;
  }
  VirtualDiskFacts facts() const override {
    return {bytes.size(), bytes.size(), "Virtual File VHD", "Fixed", std::nullopt, {}};
  }
};

}  // namespace korv::test
