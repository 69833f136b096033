// How a found item's times are read: NTFS keeps three 64-bit times, FAT a
// date and time word pair each (the access date has no time of its own).
// Everything that shows, sorts, filters or saves a time starts here.
#pragma once

#include <cstdint>
#include <variant>

#include "common/file_system_kind.h"
#include "engine/store.h"

namespace korv {

enum class ItemTimeKind { Modified = 0, Created = 1, Accessed = 2 };

// 100-ns intervals since 1601, UTC.
struct NtfsItemTime {
  std::uint64_t ticks = 0;
};

// Packed local date and time words as a FAT entry holds them. `time` is the
// word stored after the date, read even where the entry has no time
// (`hasTime` false), so that keys built from both stay as they were.
struct FatItemTime {
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  bool hasTime = true;
};

using ItemTime = std::variant<NtfsItemTime, FatItemTime>;

// The time of `kind` in `times`, as the file system `fileSystem` keeps it
// (NTFS, else FAT).
ItemTime ReadItemTime(const ItemTimes& times, ItemTimeKind kind, FileSystemKind fileSystem);

// Builds a visitor for std::visit from one lambda per kind of time.
template <typename... Cases>
struct TimeCases : Cases... {
  using Cases::operator()...;
};
template <typename... Cases>
TimeCases(Cases...) -> TimeCases<Cases...>;

}  // namespace korv
