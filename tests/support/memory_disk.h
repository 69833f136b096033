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
  // Whether runs may be looked at, as a file-backed disk's are.
  bool lookable = false;

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
  // In two parts, the later one first, as a look shared out between two
  // threads may show them.
  bool LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) override {
    const std::uint64_t offset = firstSector * kVirtualSectorBytes;
    const std::uint64_t length = std::uint64_t{count} * kVirtualSectorBytes;
    if (!lookable || count == 0 || offset >= bytes.size() || length > bytes.size() - offset) return false;
    const auto run = std::span<const std::uint8_t>(bytes).subspan(static_cast<std::size_t>(offset),
                                                                  static_cast<std::size_t>(length));
    const std::size_t half = count / 2 * kVirtualSectorBytes;
    look(half, run.subspan(half));
    if (half > 0) look(0, run.first(half));
    return true;
  }
  VirtualDiskFacts facts() const override {
    return {bytes.size(), bytes.size(), "Virtual File VHD", "Fixed", std::nullopt, {}};
  }
};

}  // namespace korv::test
