// Serving a run of virtual sectors stretch by stretch. A reader maps each
// sector to the stretch that starts there (a place in a file, zeros, or
// something only the reader knows how to serve, such as a parent disk or a
// compressed cluster); neighbouring stretches served the same way are joined,
// so that each contiguous stretch of a file costs one read.
//
// The bytes and results are exactly those of one read per sector: a merged
// read that comes back short keeps the whole sectors it filled and reads the
// rest one at a time.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "platform/bytes.h"
#include "platform/file.h"
#include "storage/virtual_disk.h"

namespace korv {

enum class StretchKind {
  File,     // `sectors` sectors at `fileOffset` in `file`
  Zeros,    // reads as zeros, successfully (a hole)
  Missing,  // cannot be read: zeros and failure
  Other,    // served by the reader itself
};

struct Stretch {
  StretchKind kind = StretchKind::Missing;
  std::uint64_t sectors = 0;
  ReadHandle* file = nullptr;
  std::uint64_t fileOffset = 0;
  // Other stretches join only neighbours with the same tag.
  std::uint64_t tag = 0;
};

struct ReadOutcome {
  bool lastOk = false;  // the last sector was served
  bool allOk = true;    // every sector was served

  void Add(const ReadOutcome& later) {
    lastOk = later.lastOk;
    allOk = allOk && later.allOk;
  }
};

void ZeroSectors(std::span<std::uint8_t> out);

// Sectors [first, first + count) of a buffer of whole sectors.
inline std::span<std::uint8_t> StretchSectors(std::span<std::uint8_t> out, std::uint64_t first, std::uint64_t count) {
  return out.subspan(static_cast<std::size_t>(first * kVirtualSectorBytes),
                     static_cast<std::size_t>(count * kVirtualSectorBytes));
}

// True when file stretch `next` starts where `before` ends, in the same
// file; never by an offset that wrapped past 2^64.
inline bool FollowsInFile(const Stretch& before, const Stretch& next) {
  const auto bytes = CheckedMul(before.sectors, kVirtualSectorBytes);
  const auto end = bytes ? CheckedAdd(before.fileOffset, *bytes) : std::nullopt;
  return end && next.fileOffset == *end;
}

// One read of a file stretch, falling back to single sectors when it comes
// back short.
ReadOutcome ReadFileStretch(ReadHandle& file, std::uint64_t fileOffset, std::span<std::uint8_t> out);

// Walks `count` sectors from `sector` as the stretches `map(sector, limit)`
// gives (each at most `limit` long), joining neighbours served the same way,
// and calls `serve(stretch, start)` for each joined stretch in order, `start`
// counted from `sector`, until it returns false.
template <typename Map, typename Serve>
void ForEachStretch(std::uint64_t sector, std::uint64_t count, Map&& map, Serve&& serve) {
  Stretch pending;
  std::uint64_t pendingStart = 0;
  for (std::uint64_t done = 0; done < count;) {
    const std::uint64_t at = sector + done;
    // A request running past the last sector number wraps to sector 0, as
    // one call per sector would; no stretch spans the wrap.
    const std::uint64_t beforeWrap = std::numeric_limits<std::uint64_t>::max() - at;
    const std::uint64_t limit = std::min(count - done - 1, beforeWrap) + 1;
    Stretch stretch = map(at, limit);
    if (stretch.sectors == 0 || stretch.sectors > limit || (stretch.kind == StretchKind::File && !stretch.file)) {
      stretch = Stretch{StretchKind::Missing, limit};
    }
    const bool joins =
        done > 0 && stretch.kind == pending.kind &&
        (stretch.kind != StretchKind::File || (stretch.file == pending.file && FollowsInFile(pending, stretch))) &&
        (stretch.kind != StretchKind::Other || stretch.tag == pending.tag);
    if (joins) {
      pending.sectors += stretch.sectors;
    } else {
      if (done > 0 && !serve(pending, pendingStart)) return;
      pending = stretch;
      pendingStart = done;
    }
    done += stretch.sectors;
  }
  if (count > 0) serve(pending, pendingStart);
}

// Serves `count` sectors from `sector` into `out` (count × 512 bytes).
// `map(sector, limit)` gives the stretch starting at `sector`, at most `limit`
// long; `serveOther(stretch, firstSector, out)` serves Other stretches.
template <typename Map, typename ServeOther>
ReadOutcome ReadStretches(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out, Map&& map,
                          ServeOther&& serveOther) {
  ReadOutcome outcome;
  ForEachStretch(sector, count, map, [&](const Stretch& stretch, std::uint64_t start) {
    const auto part = StretchSectors(out, start, stretch.sectors);
    switch (stretch.kind) {
      case StretchKind::File: outcome.Add(ReadFileStretch(*stretch.file, stretch.fileOffset, part)); return true;
      case StretchKind::Zeros:
        ZeroSectors(part);
        outcome.Add({true, true});
        return true;
      case StretchKind::Other: outcome.Add(serveOther(stretch, sector + start, part)); return true;
      case StretchKind::Missing: break;
    }
    ZeroSectors(part);
    outcome.Add({false, false});
    return true;
  });
  return outcome;
}

// Shows `sectors` sectors of zeros to `look` as bytes from `at` on, a
// bounded piece at a time.
bool LookZeros(std::uint64_t at, std::uint64_t sectors, const ByteLook& look);

// Shows `count` sectors from `sector` to `look` in place, stretch by
// stretch (holes as zeros), as VirtualDisk::LookRun. False for an empty run,
// and as soon as a stretch cannot be looked at: one the reader serves
// itself, one it cannot read, or a file range the file cannot show.
template <typename Map>
bool LookStretches(std::uint64_t sector, std::uint64_t count, Map&& map, const ByteLook& look) {
  bool seen = count > 0;
  ForEachStretch(sector, count, map, [&](const Stretch& stretch, std::uint64_t start) {
    const auto bytes = CheckedMul(stretch.sectors, kVirtualSectorBytes);
    // No run is longer than 2^32 sectors, so its byte positions fit.
    const std::uint64_t base = start * kVirtualSectorBytes;
    switch (stretch.kind) {
      case StretchKind::File: {
        const ByteLook shifted = [&look, base](std::uint64_t at, std::span<const std::uint8_t> piece) {
          look(base + at, piece);
        };
        seen = bytes && *bytes <= SIZE_MAX &&
               stretch.file->Look(stretch.fileOffset, static_cast<std::size_t>(*bytes), shifted);
        return seen;
      }
      case StretchKind::Zeros:
        seen = LookZeros(base, stretch.sectors, look);
        return seen;
      case StretchKind::Other:
      case StretchKind::Missing:
        break;
    }
    seen = false;
    return false;
  });
  return seen;
}

// For readers without Other stretches.
template <typename Map>
ReadOutcome ReadStretches(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out, Map&& map) {
  return ReadStretches(sector, count, out, map, [](const Stretch&, std::uint64_t, std::span<std::uint8_t> part) {
    ZeroSectors(part);
    return ReadOutcome{false, false};
  });
}

// ReadSector and ReadRun of a reader whose whole request is served by
// `readSpan(sector, count, out)`: the argument checks and result rules every
// reader shares (a ReadSector succeeds only when every sector was served; a
// ReadRun gives the result of its last sector, 0 for an empty run).
template <typename ReadSpan>
int ReadSectorWith(std::uint64_t sector, std::span<std::uint8_t> out, ReadSpan&& readSpan) {
  if (out.empty() || out.size() % kVirtualSectorBytes != 0) {
    ZeroSectors(out);
    return 0;
  }
  return readSpan(sector, out.size() / kVirtualSectorBytes, out).allOk ? 1 : 0;
}

template <typename ReadSpan>
int ReadRunWith(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out,
                ReadSpan&& readSpan) {
  if (count == 0) return 0;
  const std::uint64_t bytes = std::uint64_t{count} * kVirtualSectorBytes;
  if (out.size() < bytes) {
    ZeroSectors(out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes))));
    return 0;
  }
  return readSpan(firstSector, count, out.first(static_cast<std::size_t>(bytes))).lastOk ? 1 : 0;
}

// A reader whose reads are all served by ReadSpan: ReadSector and ReadRun
// follow from it with the rules every reader shares, and LookRun from the
// stretches it maps.
class StretchDisk : public VirtualDisk {
 protected:
  // MapStretch as the `map` of ReadStretches and LookStretches (defined
  // first, as the members below use what it returns).
  auto MapOf() const {
    return [this](std::uint64_t at, std::uint64_t limit) { return MapStretch(at, limit); };
  }

 public:
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) final {
    return ReadSectorWith(sector, out, [this](auto... args) { return ReadSpan(args...); });
  }
  int ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) final {
    return ReadRunWith(firstSector, count, out, [this](auto... args) { return ReadSpan(args...); });
  }
  bool LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) final {
    return LookStretches(firstSector, count, MapOf(), look);
  }

 protected:
  // Serves `count` sectors from `sector` into `out` (count × 512 bytes); by
  // default the stretches MapStretch gives, for readers that serve no Other
  // stretch.
  virtual ReadOutcome ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out) {
    return ReadStretches(sector, count, out, MapOf());
  }
  // The stretch that starts at `sector`, at most `limit` long.
  virtual Stretch MapStretch(std::uint64_t sector, std::uint64_t limit) const = 0;
};

}  // namespace korv
