// What the results view writes for a found item: its type, and its dates: "05-Mar-2024
// 09:07:02" from NTFS times (shown as stored, in UTC), "05-Mar-2024 09:07"
// from FAT's packed words, "05-Mar-2024" for FAT's access date. A month the
// words cannot hold reads "Err".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/file_system_kind.h"
#include "engine/item_time.h"
#include "engine/store.h"

namespace korv {

inline constexpr std::string_view kTypeFolder = "Folder";
inline constexpr std::string_view kTypeDeletedFolder = "Deleted Folder";
inline constexpr std::string_view kTypeFile = "File";
inline constexpr std::string_view kTypeDeletedFile = "Deleted File";

std::string_view ItemTypeText(bool folder, bool deleted);

// Appends `value` in decimal, zero-padded to at least `width` digits as
// printf's "%0*u" would: listings write numbers and dates for each of tens
// of thousands of items, and printf was most of their cost.
void AppendDecimal(std::string& text, std::uint64_t value, std::size_t width = 0);

// A text of the system's for display: "&&" in its dialogs stands for one "&".
std::string DisplayText(std::string_view text);

// 100-ns ticks since 1601.
std::string NtfsDateText(std::uint64_t ticks);
std::string FatDateTimeText(std::uint16_t date, std::uint16_t time);
std::string FatDateText(std::uint16_t date);

// One of the three date columns of an item of an NTFS or a FAT volume.
std::string ItemDateText(const ItemTimes& times, ItemTimeKind kind, FileSystemKind fileSystem);

}  // namespace korv
