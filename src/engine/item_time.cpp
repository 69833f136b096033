#include "engine/item_time.h"

namespace korv {

ItemTime ReadItemTime(const ItemTimes& times, ItemTimeKind kind, FileSystemKind fileSystem) {
  const auto lowWord = static_cast<std::size_t>(kind) * 2;
  if (fileSystem == FileSystemKind::Ntfs) return NtfsItemTime{NtfsTimeAt(times, lowWord)};
  return FatItemTime{static_cast<std::uint16_t>(times[lowWord]), static_cast<std::uint16_t>(times[lowWord + 1]),
                     kind != ItemTimeKind::Accessed};
}

}  // namespace korv
