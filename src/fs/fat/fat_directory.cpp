#include "fs/fat/fat_directory.h"

namespace korv {

namespace {

constexpr std::uint8_t kLowerCaseBase = 0x08;
constexpr std::uint8_t kLowerCaseExtension = 0x10;
constexpr std::string_view kReservedCharacters = "\"\\/?*<>|";

char LowerAscii(char c, bool lower) { return (lower && c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsControl(std::uint32_t c) { return c < 0x20; }
bool IsReserved(std::uint32_t c) { return c < 0x80 && kReservedCharacters.find(static_cast<char>(c)) != std::string_view::npos; }

}  // namespace

bool IsEndOfEntries(ByteView entry) { return entry.u8(0) == std::uint8_t{0}; }

bool IsDeletedEntry(ByteView entry) { return entry.u8(0) == kFatDeletedMarker; }

bool IsLongNameEntry(ByteView entry) { return entry.u8(0x0B) == kFatAttributesLongName; }

bool IsDotEntry(ByteView entry) { return entry.u8(0) == std::uint8_t{'.'} && entry.u8(3) == std::uint8_t{' '}; }

ShortEntryName ShortName(ByteView entry) {
  ShortEntryName result;
  if (!entry.fits(0, kFatEntryBytes)) return result;
  const std::uint8_t caseFlags = *entry.u8(0x0C);
  const bool lowerBase = (caseFlags & kLowerCaseBase) != 0;
  const bool lowerExtension = (caseFlags & kLowerCaseExtension) != 0;
  result.deleted = *entry.u8(0) == kFatDeletedMarker;

  std::string& name = result.eightBit;
  for (unsigned i = 0; i < 8; ++i) {
    const char c = static_cast<char>(*entry.u8(i));
    if (c == ' ') continue;
    name += (i == 0 && result.deleted) ? '_' : LowerAscii(c, lowerBase);
  }
  // A space as the extension's first byte drops the dot; the other two bytes
  // still follow.
  if (*entry.u8(8) != ' ') name += '.';
  for (unsigned i = 8; i < 11; ++i) {
    const char c = static_cast<char>(*entry.u8(i));
    if (c != ' ') name += LowerAscii(c, lowerExtension);
  }
  for (const char c : name) result.wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return result;
}

std::uint32_t FirstCluster(ByteView entry, FatType type) {
  const std::uint32_t low = entry.u16le(0x1A).value_or(0);
  if (type != FatType::Fat32) return low;
  return (std::uint32_t{entry.u16le(0x14).value_or(0)} << 16) | low;
}

std::uint8_t ShortNameChecksum(ByteView entry) {
  std::uint8_t sum = 0;
  for (unsigned i = 0; i < 11; ++i) {
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + entry.u8(i).value_or(0));
  }
  return sum;
}

std::optional<FatDirectoryEntry> DecodeDirectoryEntry(ByteView entry, FatType type) {
  if (!entry.fits(0, kFatEntryBytes)) return std::nullopt;
  FatDirectoryEntry decoded;
  decoded.name = ShortName(entry);
  decoded.attributes = *entry.u8(0x0B);
  decoded.firstCluster = FirstCluster(entry, type);
  decoded.size = *entry.u32le(0x1C);
  decoded.creationTime = *entry.u16le(0x0E);
  decoded.creationDate = *entry.u16le(0x10);
  decoded.accessDate = *entry.u16le(0x12);
  decoded.writeTime = *entry.u16le(0x16);
  decoded.writeDate = *entry.u16le(0x18);
  return decoded;
}

FatTimestamp DecodeFatTimestamp(std::uint16_t date, std::uint16_t time) {
  FatTimestamp t;
  t.year = 1980 + (date >> 9);
  t.month = (date >> 5) & 0x0F;
  t.day = date & 0x1F;
  t.hour = time >> 11;
  t.minute = (time >> 5) & 0x3F;
  t.second = (time & 0x1F) * 2;
  return t;
}

bool IsValidName(std::string_view shortName) {
  for (const char ch : shortName) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsControl(c) || IsReserved(c) || c >= 0x80) return false;
  }
  return true;
}

bool IsValidName(std::u16string_view longName) {
  if (longName == u"." || longName == u"..") return false;
  for (const char16_t c : longName) {
    if (IsControl(c) || IsReserved(c)) return false;
  }
  return true;
}

bool IsValidEntryName(std::string_view shortName, const std::optional<std::u16string>& longName) {
  return longName ? IsValidName(std::u16string_view(*longName)) : IsValidName(shortName);
}

}  // namespace korv
