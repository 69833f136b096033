// The interface every virtual disk format reader implements. Storage serves
// reads of a virtual disk through it and never names a format; the readers in
// vdisk/ implement it and the session owns them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"

namespace korv {

constexpr std::uint32_t kVirtualSectorBytes = 512;

struct DiskGeometryText {
  std::string cylinders;
  std::string heads;
  std::string sectorsPerTrack;
};

// What the disk inventory records about an open virtual disk. Readers fill
// in the texts, so that nothing outside the readers names a format.
struct VirtualDiskFacts {
  std::uint64_t diskSizeBytes = 0;             // the size the format declares: sectors beyond it read as zeros
  std::uint64_t inventorySizeBytes = 0;        // the size the inventory records (VHD: from its geometry)
  std::string mediaTypeText;                   // "Virtual File " + the format's name
  std::string diskTypeText;                    // the model text, e.g. "Fixed", "Dynamic", "Differencing"
  std::optional<DiskGeometryText> geometry;    // only formats that store one
  // The files the sectors this disk does not hold come from, nearest
  // first: a differencing disk's open parents, or the backing file an image
  // names but this program never reads.
  std::vector<std::string> backingChain;
};

// A stretch of sectors that share one allocation state.
struct AllocationRun {
  bool allocated = true;        // false: the sectors read as zeros without touching the file
  std::uint64_t sectors = 0;    // length of the stretch from the asked sector; 0 beyond the disk
};

class VirtualDisk {
 public:
  virtual ~VirtualDisk() = default;

  // The format letter that selects this reader ('H' VHD, 'X' VHDX, ...).
  virtual char formatLetter() const = 0;

  // One read of the format: out.size() bytes (a multiple of 512) from virtual
  // sector `sector`; nonzero only when every sector was served. Sectors not
  // served, and everything not read from the file, come back as zeros.
  virtual int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) = 0;

  // A run of `count` sectors into out (at least count × 512 bytes). Gives the
  // bytes and result of one ReadSector call per sector (the result is that
  // of the last sector; 0 for an empty run); readers override it to serve
  // contiguous stretches of the file with one read.
  virtual int ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out);

  // Shows the bytes ReadRun would give to `look` in place, in pieces of
  // whole sectors (see ByteLook for their order), without copying them.
  // False when the reader cannot (the default; also where it would have to
  // decode or fetch the bytes from elsewhere) or the file cannot show them:
  // the caller then reads instead.
  virtual bool LookRun(std::uint64_t /*firstSector*/, std::uint32_t /*count*/, const ByteLook& /*look*/) {
    return false;
  }

  virtual VirtualDiskFacts facts() const = 0;

  // Allocation state from `sector` on, so that scans can skip holes. The
  // default says: everything up to the end of the disk is allocated.
  virtual AllocationRun allocationAt(std::uint64_t sector) const;
};

}  // namespace korv
