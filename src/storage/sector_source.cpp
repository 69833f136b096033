#include "storage/sector_source.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/split_read.h"
#include "storage/disk_image.h"
#include "storage/virtual_disk.h"

namespace korv {

namespace {

constexpr std::string_view kFloppySuffix = "Floppy";

void ZeroFill(std::span<std::uint8_t> bytes) { std::fill(bytes.begin(), bytes.end(), std::uint8_t{0}); }

// Reads `out` at `offset`; whatever the read did not fill becomes zeros.
bool ReadFilling(ReadHandle& handle, std::uint64_t offset, std::span<std::uint8_t> out) {
  const std::size_t got = ReadAtOnTwoThreads(handle, offset, out);
  if (got == out.size()) return true;
  ZeroFill(out.subspan(got));
  return false;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::uint32_t SectorSource::sectorBytes() const {
  if (source_.isVirtual()) return kVirtualSectorBytes;
  return source_.bytesPerSector > 0 ? static_cast<std::uint32_t>(source_.bytesPerSector) : kVirtualSectorBytes;
}

IoProvider& SectorSource::io() {
  static PosixIo fallback;
  return source_.io ? *source_.io : fallback;
}

int SectorSource::ReadSectors(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                              std::span<std::uint8_t> buffer) {
  const std::uint64_t runBytes = std::uint64_t{count} * sectorBytes();
  // A buffer too small for the run is the caller's mistake; refuse rather
  // than write past it.
  if (buffer.size() < runBytes) return 0;
  const auto out = buffer.first(static_cast<std::size_t>(runBytes));

  if (PastRange(firstSector)) {
    ZeroFill(out);
    return 0;
  }
  return ReadUnguarded(devicePath, firstSector, count, out);
}

bool SectorSource::PastRange(std::uint64_t firstSector) const {
  return static_cast<std::int64_t>(range_.endSector) > 0 && firstSector > range_.endSector;
}

bool SectorSource::LookCurrent(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) {
  if (!source_.isVirtual() || source_.virtualDisk == nullptr || count == 0) return false;
  if (PastRange(firstSector)) return false;
  return source_.virtualDisk->LookRun(firstSector, count, look);
}

int SectorSource::ReadSectorsAnywhere(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                                      std::span<std::uint8_t> buffer) {
  const std::uint64_t runBytes = std::uint64_t{count} * sectorBytes();
  if (buffer.size() < runBytes) return 0;
  return ReadUnguarded(devicePath, firstSector, count, buffer.first(static_cast<std::size_t>(runBytes)));
}

int SectorSource::ReadUnguarded(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                                std::span<std::uint8_t> out) {
  if (source_.isVirtual()) {
    if (count == 0) return 0;
    if (!source_.virtualDisk) {
      ZeroFill(out);
      return 0;
    }
    return source_.virtualDisk->ReadRun(firstSector, count, out);
  }
  if (source_.isImage()) return ReadImage(firstSector, count, out);
  return ReadDevice(devicePath, firstSector, count, out);
}

bool SectorSource::policyRetries() const {
  return range_.badSectorPolicy == BadSectorPolicy::Retry || range_.badSectorPolicy == BadSectorPolicy::RetryAll;
}

void SectorSource::AskAfterFailure() {
  const auto policy = range_.badSectorPolicy;
  if (policy == BadSectorPolicy::RetryAll || policy == BadSectorPolicy::SkipAll) return;
  switch (prompts_.AskBadSector(kBadSectorMessage)) {
    case BadSectorAnswer::Retry: range_.badSectorPolicy = BadSectorPolicy::Retry; break;
    case BadSectorAnswer::RetryAll: range_.badSectorPolicy = BadSectorPolicy::RetryAll; break;
    case BadSectorAnswer::Skip: range_.badSectorPolicy = BadSectorPolicy::Skip; break;
    case BadSectorAnswer::SkipAll: range_.badSectorPolicy = BadSectorPolicy::SkipAll; break;
    case BadSectorAnswer::Dismissed: break;  // Escape: the read goes on under the policy it had
  }
}

// ---------------------------------------------------------------- images

int SectorSource::ReadImage(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) {
  const std::uint64_t bytesPerSector = sectorBytes();
  bool retriedExistence = false;
  bool retriedEnd = false;
  for (;;) {
    const ImagePosition position = MapImageSector(source_, firstSector);
    // A run into the next piece reads each part on its own, so that a short
    // or missing piece costs only its own part, not the next piece's sectors.
    if (source_.imageSplit && position.sectorInPiece + count >= SectorsPerPiece(source_)) {
      bool retried = false;
      return ReadAcrossPieces(firstSector, position.sectorInPiece, count, out, retried);
    }
    if (!io().Exists(position.piecePath)) {
      AskAfterFailure();
      if (policyRetries() && !retriedExistence) {
        retriedExistence = true;
        continue;
      }
      ZeroFill(out);
      return 0;
    }
    auto piece = io().OpenRead(position.piecePath);
    const auto offset = CheckedMul(position.sectorInPiece, bytesPerSector);
    if (!piece || !offset) {
      ZeroFill(out);
      return 0;
    }
    if (*offset >= piece->Size()) {
      AskAfterFailure();
      if (policyRetries() && !retriedEnd) {
        retriedEnd = true;
        continue;
      }
      ZeroFill(out);
      return 0;
    }
    return ReadFilling(*piece, *offset, out) ? 1 : 0;
  }
}

// A run that does not end inside its first piece: the end of that piece, then
// the start of the next. One retry after a bad-sector answer is shared by
// both parts.
int SectorSource::ReadAcrossPieces(std::uint64_t firstSector, std::uint64_t sectorInPiece, std::uint32_t count,
                                   std::span<std::uint8_t> out, bool& retried) {
  const std::uint64_t bytesPerSector = sectorBytes();
  const std::uint64_t firstPart = std::min<std::uint64_t>(SectorsPerPiece(source_) - sectorInPiece, count);
  const std::uint64_t parts[2] = {firstPart, count - firstPart};
  int result = 0;
  std::uint64_t doneSectors = 0;
  for (const std::uint64_t partSectors : parts) {
    if (partSectors == 0) continue;
    const ImagePosition position = MapImageSector(source_, firstSector + doneSectors);
    const auto partOut = out.subspan(static_cast<std::size_t>(doneSectors * bytesPerSector),
                                     static_cast<std::size_t>(partSectors * bytesPerSector));
    doneSectors += partSectors;

    auto piece = io().OpenRead(position.piecePath);
    const std::uint64_t offset = position.sectorInPiece * bytesPerSector;
    // A missing piece, or one that ends before the part, is asked about as a
    // whole-piece read asks about it.
    while (!piece || offset > piece->Size()) {
      AskAfterFailure();
      piece.reset();
      if (!policyRetries() || retried) break;
      retried = true;
      piece = io().OpenRead(position.piecePath);
    }
    if (!piece) {
      ZeroFill(partOut);
      result = 0;
      continue;
    }
    result = ReadFilling(*piece, offset, partOut) ? 1 : 0;
  }
  return result;
}

// --------------------------------------------------------------- devices

std::string SectorSource::EffectiveDevicePath(const std::string& devicePath) const {
  if (EndsWith(source_.displayName, kFloppySuffix)) return kFloppyDevicePath;
  return devicePath;
}

ReadHandle* SectorSource::CachedDevice(const std::string& path) {
  DeviceHandleCache& cache = source_.deviceHandle;
  if (!cache.used || cache.path != path) {
    cache.handle.reset();
    cache.used = true;
    cache.path = path;
    cache.handle = io().OpenRead(path);
  }
  return cache.handle.get();
}

// One run of at most 40 sectors: read at once; on failure ask, then re-read
// sector by sector under Retry, zero-filling the sectors that still fail.
int SectorSource::ReadDeviceRun(ReadHandle& device, std::uint64_t firstSector, std::uint32_t count,
                                std::span<std::uint8_t> out) {
  const std::uint64_t bytesPerSector = sectorBytes();
  if (ReadFilling(device, firstSector * bytesPerSector, out)) return 1;
  AskAfterFailure();
  if (!policyRetries()) return 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto sectorOut = out.subspan(static_cast<std::size_t>(i * bytesPerSector), static_cast<std::size_t>(bytesPerSector));
    if (device.ReadAt((firstSector + i) * bytesPerSector, sectorOut) != sectorOut.size()) ZeroFill(sectorOut);
  }
  return 0;
}

int SectorSource::ReadDevice(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                             std::span<std::uint8_t> out) {
  ReadHandle* device = CachedDevice(EffectiveDevicePath(devicePath));
  if (!device) {
    ZeroFill(out);
    return 0;
  }
  if (count <= kReadChunkSectors) return ReadDeviceRun(*device, firstSector, count, out);

  const std::uint64_t bytesPerSector = sectorBytes();
  const std::uint64_t chunkBytes = kReadChunkSectors * bytesPerSector;
  const std::uint32_t chunks = count / kReadChunkSectors;
  int result = 0;
  for (std::uint32_t k = 0; k < chunks; ++k) {
    const auto chunkOut = out.subspan(static_cast<std::size_t>(k * chunkBytes), static_cast<std::size_t>(chunkBytes));
    result = ReadDeviceRun(*device, firstSector + std::uint64_t{k} * kReadChunkSectors, kReadChunkSectors, chunkOut);
  }
  const std::uint32_t rest = count % kReadChunkSectors;
  if (rest == 0) return result;
  // The tail after the whole chunks is read once, without question or retry.
  const std::uint64_t tailSector = firstSector + std::uint64_t{chunks} * kReadChunkSectors;
  const auto tailOut = out.subspan(static_cast<std::size_t>(chunks * chunkBytes));
  if (!ReadFilling(*device, tailSector * bytesPerSector, tailOut)) return 0;
  return result;
}

// ---------------------------------------------------------------- writes

int SectorSource::WriteSectors(const std::string& devicePath, std::uint64_t firstSector, std::uint32_t count,
                               std::span<const std::uint8_t> data) {
  const std::uint64_t bytesPerSector = sectorBytes();
  const std::uint64_t runBytes = std::uint64_t{count} * bytesPerSector;
  if (data.size() < runBytes) return 0;
  auto device = io().OpenDeviceWrite(EffectiveDevicePath(devicePath));
  if (!device) return 0;

  // A failed run is written again sector by sector so that only the sectors
  // that really fail are lost; the run's result stays a failure.
  const auto writeRun = [&](std::uint64_t sector, std::uint64_t sectors) {
    const auto runData = data.subspan(static_cast<std::size_t>((sector - firstSector) * bytesPerSector),
                                      static_cast<std::size_t>(sectors * bytesPerSector));
    if (device->WriteAt(sector * bytesPerSector, runData)) return 1;
    for (std::uint64_t i = 0; i < sectors; ++i) {
      device->WriteAt((sector + i) * bytesPerSector,
                      runData.subspan(static_cast<std::size_t>(i * bytesPerSector), static_cast<std::size_t>(bytesPerSector)));
    }
    return 0;
  };

  // Any failed run fails the call: a caller told of success would report
  // a copy with lost sectors as whole.
  int result = 1;
  if (count <= kReadChunkSectors) {
    result = writeRun(firstSector, count);
  } else {
    const std::uint32_t chunks = count / kReadChunkSectors;
    for (std::uint32_t k = 0; k < chunks; ++k) {
      result &= writeRun(firstSector + std::uint64_t{k} * kReadChunkSectors, kReadChunkSectors);
    }
    const std::uint32_t rest = count % kReadChunkSectors;
    if (rest != 0) {
      // Written at its own position: after a failed chunk nothing says where
      // a file position would be.
      const std::uint64_t tailSector = firstSector + std::uint64_t{chunks} * kReadChunkSectors;
      const auto tail = data.subspan(static_cast<std::size_t>((tailSector - firstSector) * bytesPerSector),
                                     static_cast<std::size_t>(rest * bytesPerSector));
      if (!device->WriteAt(tailSector * bytesPerSector, tail)) return 0;
    }
  }
  if (!device->Flush()) return 0;
  return result;
}

}  // namespace korv
