// 32-byte FAT directory entries: the short (8.3) entry with its name, first
// cluster, size and times, and the tests every folder walk applies to them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fs/fat/fat_type.h"
#include "platform/bytes.h"

namespace korv {

constexpr std::uint32_t kFatEntryBytes = 32;
constexpr std::uint8_t kFatDeletedMarker = 0xE5;
constexpr std::uint8_t kFatAttributeDirectory = 0x10;
constexpr std::uint8_t kFatAttributeVolumeLabel = 0x08;
constexpr std::uint8_t kFatAttributesLongName = 0x0F;

// A first byte of 0x00: this entry and every one after it were never used.
bool IsEndOfEntries(ByteView entry);
bool IsDeletedEntry(ByteView entry);
bool IsLongNameEntry(ByteView entry);
// The "." and ".." entries every subfolder begins with.
bool IsDotEntry(ByteView entry);

struct ShortEntryName {
  std::string eightBit;   // the name's bytes as stored
  std::u16string wide;    // each byte taken as one character
  bool deleted = false;   // the first byte was 0xE5; it reads "_" in both names
};

// "README  TXT" gives README.TXT, "MAKEFILE   " gives MAKEFILE. The lower-case
// flags that some systems set at 0x0C (base 0x08, extension 0x10) for names
// like "lower.txt" are honoured, so the name reads as it was written.
ShortEntryName ShortName(ByteView entry);

// The entry's first cluster. FAT12 and FAT16 have no high word: what lies at
// 0x14 there is something else and is ignored.
std::uint32_t FirstCluster(ByteView entry, FatType type);

// The checksum of the 11 name bytes that each long-name entry of the name carries at 0x0D.
std::uint8_t ShortNameChecksum(ByteView entry);

struct FatDirectoryEntry {
  ShortEntryName name;
  std::uint8_t attributes = 0;
  std::uint32_t firstCluster = 0;
  std::uint32_t size = 0;
  // DOS dates and times as stored (see DecodeFatTimestamp).
  std::uint16_t creationTime = 0;
  std::uint16_t creationDate = 0;
  std::uint16_t accessDate = 0;
  std::uint16_t writeTime = 0;
  std::uint16_t writeDate = 0;

  bool isDirectory() const { return (attributes & kFatAttributeDirectory) != 0; }
};

// A short entry's fields; nullopt when fewer than 32 bytes are given.
std::optional<FatDirectoryEntry> DecodeDirectoryEntry(ByteView entry, FatType type);

struct FatTimestamp {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// A DOS date (year since 1980, month, day) and time (hours, minutes, seconds ÷ 2).
FatTimestamp DecodeFatTimestamp(std::uint16_t date, std::uint16_t time);

// A short name passes when it has no control character, none of " \ / ? * < > |,
// and no byte from 128 to 255 (whose meaning depends on a code page).
bool IsValidName(std::string_view shortName);

// A long name passes when it has no control character and none of
// " \ / ? * < > |, and is not "." or "..". Letters beyond ASCII are fine.
bool IsValidName(std::u16string_view longName);

// Whether an entry's names let it be listed: the long name when there is
// one (the short name beside it may carry code-page bytes, as "Café.txt"
// gets "CAF\x90.TXT"), else the short name.
bool IsValidEntryName(std::string_view shortName, const std::optional<std::u16string>& longName);

}  // namespace korv
