// One-sector reads for the FAT code: every FAT structure is laid out in
// 512-byte sectors, while the buffer must hold whatever the source's sector
// size is, so that ReadSectors never refuses it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bytes.h"
#include "platform/read_buffer.h"
#include "storage/sector_source.h"

namespace korv {

constexpr std::uint32_t kFatSectorBytes = 512;

class FatSectorBuffer {
 public:
  explicit FatSectorBuffer(SectorSource& sectors);

  // Reads `sector` of the current device; false when the read failed (the
  // bytes are then zeros).
  bool Read(std::uint64_t sector);

  // The first 512 bytes of what was read last.
  ByteView view() const { return ByteView(bytes_.data(), kFatSectorBytes); }

 private:
  SectorSource& sectors_;
  ReadBuffer bytes_;
};

}  // namespace korv
