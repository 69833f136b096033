// ReadSectors: the one way any part of the program reads source data, and
// its device-writing twin WriteSectors.
//
// Whatever a read could not fill comes back as zeros, on every path: a caller
// never sees stale bytes in its buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/prompts.h"
#include "platform/file.h"
#include "storage/current_source.h"

namespace korv {

// The bad-sector question's text (shown unchanged: no sector number is put in).
inline constexpr std::string_view kBadSectorMessage =
    "Error found while reading lSectorNoRead. This may be due to bad sectors. Please choose appropriate action.";

// Device reads and writes go in runs of at most this many sectors, so one bad
// sector costs at most one run re-read sector by sector.
constexpr std::uint32_t kReadChunkSectors = 40;

class SectorSource {
 public:
  SectorSource(CurrentSource& source, SelectedRange& range, Prompts& prompts)
      : source_(source), range_(range), prompts_(prompts) {}

  // Reads `count` sectors from `firstSector` (counted from the start of the
  // whole source) into buffer, which must hold count × the sector size (512
  // for virtual disks). Nonzero when the last underlying read succeeded.
  int ReadSectors(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                  std::span<std::uint8_t> buffer);

  // ReadSectors without the range guard, for reading the partition tables of
  // a disk whatever range was selected before.
  int ReadSectorsAnywhere(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                          std::span<std::uint8_t> buffer);

  // The two reads of the selected source: the current device of the source's
  // path table (a virtual disk or an image folder ignores the path).
  int ReadCurrent(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> buffer) {
    return ReadSectors(source_.devices.current(), firstSector, count, buffer);
  }
  int ReadCurrentAnywhere(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> buffer) {
    return ReadSectorsAnywhere(source_.devices.current(), firstSector, count, buffer);
  }
  // Shows what ReadCurrent would read to `look` in place, without copying
  // it (VirtualDisk::LookRun). False when the source cannot: only virtual
  // disks can, and never outside the selected range, nor where the read
  // would fail or ask the bad-sector question; the caller then reads.
  bool LookCurrent(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look);

  // Writes runs of sectors to a device (disk-to-disk imaging only). Never asks
  // the bad-sector question. Refuses a device that holds a mounted file
  // system; the data is flushed and the flush checked.
  int WriteSectors(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                   std::span<const std::uint8_t> data);

  // The sector size every read of the current source uses.
  std::uint32_t sectorBytes() const;

  CurrentSource& source() { return source_; }
  SelectedRange& range() { return range_; }

 private:
  // A run that starts past the selected range's end is refused (an end of 0,
  // or one past 2^63, selects no end).
  bool PastRange(std::uint64_t firstSector) const;
  int ReadUnguarded(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                    std::span<std::uint8_t> out);
  int ReadImage(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out);
  int ReadAcrossPieces(std::uint64_t firstSector, std::uint64_t sectorInPiece, std::uint32_t count,
                       std::span<std::uint8_t> out, bool& retried);
  int ReadDevice(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                 std::span<std::uint8_t> out);
  int ReadDeviceRun(ReadHandle& device, std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out);
  ReadHandle* CachedDevice(const std::string& path);
  std::string EffectiveDevicePath(const std::string& devicePath) const;

  // Asks the bad-sector question unless an "All" answer was given before.
  void AskAfterFailure();
  bool policyRetries() const;

  IoProvider& io();

  CurrentSource& source_;
  SelectedRange& range_;
  Prompts& prompts_;
};

}  // namespace korv
