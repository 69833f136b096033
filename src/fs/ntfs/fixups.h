// Update-sequence fixups of NTFS multi-sector records ("FILE" and "INDX").
//
// Before a record is written, NTFS saves the last two bytes of every
// 512-byte stride into the update sequence array and puts the update
// sequence number there instead. Reading a record back means putting the
// saved bytes back, stride by stride.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korv {

// The stride the update sequence protects, whatever the sector size.
inline constexpr std::size_t kFixupStride = 512;

// Restores the saved last two bytes of every 512-byte stride of `record`
// that lies whole within `length` bytes (and within the record size rule
// for a "FILE" record). Does nothing when the array does not fit. True when
// the array fitted and every restored stride ended in the update sequence
// number (false flags a torn or damaged record; its strides are restored
// all the same).
bool ApplyFixups(std::span<std::uint8_t> record, std::size_t length);

}  // namespace korv
