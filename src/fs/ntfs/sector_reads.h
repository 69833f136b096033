// Reads of whole sectors from the current source into a buffer of their own.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/read_buffer.h"
#include "storage/sector_source.h"

namespace korv {

// `count` sectors from `firstSector` of the current device. Whatever could
// not be read is zeros, so a failed read shows as a record without its
// signature.
ReadBuffer ReadSectorBytes(SectorSource& sectors, std::uint64_t firstSector, std::uint32_t count);

}  // namespace korv
