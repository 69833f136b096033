// The backing file a QCOW or QED image names for the clusters it does not
// hold. The readers never open it (those clusters read as zeros); the name
// is only reported.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

namespace korv {

// Longest name taken, as qemu writes them.
inline constexpr std::uint32_t kMaxBackingNameBytes = 1023;

// The `size` bytes at `offset` of the file; empty when there is no name
// (offset or size 0), or it is longer than kMaxBackingNameBytes, lies
// outside the file or cannot be read.
std::string ReadBackingName(ReadHandle& file, std::uint64_t fileSize, std::uint64_t offset, std::uint32_t size);

}  // namespace korv
