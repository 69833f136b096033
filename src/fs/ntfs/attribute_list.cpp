#include "fs/ntfs/attribute_list.h"

#include <algorithm>

#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/run_list.h"
#include "fs/ntfs/sector_reads.h"
#include "platform/read_buffer.h"

namespace korv {

namespace {

constexpr std::uint64_t kEntryLengthField = 0x04;
constexpr std::uint64_t kNameLengthField = 0x06;
constexpr std::uint64_t kNameOffsetField = 0x07;
constexpr std::uint64_t kStartingVcnField = 0x08;
constexpr std::uint64_t kReferenceField = 0x10;
// Type, length, name fields, starting VCN and segment reference.
constexpr std::uint16_t kMinEntryBytes = 0x18;

constexpr std::uint64_t kMaxAttributeListBytes = 256 * 1024;

void AddEntries(ByteView value, ListedRecords& listed) {
  for (const AttributeListEntry& entry : ParseAttributeList(value)) {
    if (!listed.Add(entry.recordNumber)) return;
  }
}

}  // namespace

ReadBuffer ReadAttributeListValue(SectorSource& sectors, const BootParameters& parameters,
                                                 const Attribute& list) {
  if (!list.nonResident()) {
    const auto value = list.residentValue();
    return value ? ReadBuffer(value->data(), value->data() + value->size())
                 : ReadBuffer{};
  }
  const std::uint64_t size = std::min(list.dataSize().value_or(0), kMaxAttributeListBytes);
  ReadBuffer value;
  for (const Run& run : DecodeAttributeRuns(list, parameters).runs) {
    if (value.size() >= size) break;
    const std::uint64_t wanted = (size - value.size() + kNtfsSectorBytes - 1) / kNtfsSectorBytes;
    const auto count = static_cast<std::uint32_t>(std::min(run.sectorCount, wanted));
    if (run.sparse) {
      value.resize(value.size() + std::size_t{count} * kNtfsSectorBytes, 0);
      continue;
    }
    const auto bytes = ReadSectorBytes(sectors, run.firstSector, count);
    value.insert(value.end(), bytes.begin(), bytes.end());
  }
  value.resize(std::min<std::uint64_t>(value.size(), size));
  return value;
}

std::vector<AttributeListEntry> ParseAttributeList(ByteView value) {
  std::vector<AttributeListEntry> entries;
  std::uint64_t at = 0;
  while (true) {
    const auto type = value.u32le(at);
    const auto length = value.u16le(at + kEntryLengthField);
    if (!type || !length || *type == 0 || *type == AttributeType::End) break;
    if (*length < kMinEntryBytes || !value.fits(at, *length)) break;
    AttributeListEntry entry;
    entry.type = *type;
    entry.nameLength = *value.u8(at + kNameLengthField);
    const ByteView entryBytes = value.sub(at, *length);
    const std::uint8_t nameOffset = entryBytes.u8(kNameOffsetField).value_or(0);
    if (entry.nameLength != 0 && entryBytes.fits(nameOffset, 2 * std::uint64_t{entry.nameLength})) {
      entry.name = ReadUtf16(entryBytes, nameOffset, entry.nameLength, /*bigEndian=*/false);
    }
    entry.startingVcn = *value.u64le(at + kStartingVcnField);
    entry.recordNumber = *value.u32le(at + kReferenceField);
    entries.push_back(entry);
    at += *length;
  }
  return entries;
}

bool ListedRecords::contains(std::uint32_t number) const {
  return std::find(numbers.begin(), numbers.begin() + count, number) != numbers.begin() + count;
}

bool ListedRecords::Add(std::uint32_t number) {
  if (contains(number)) return true;
  if (count >= kCapacity) return false;
  numbers[count++] = number;
  return true;
}

void CollectListedRecords(ByteView record, ListedRecords& listed) {
  const auto list = FindAttribute(record, AttributeType::AttributeList);
  if (!list) return;
  const auto value = list->residentValue();
  if (value) AddEntries(*value, listed);
}

void CollectListedRecords(SectorSource& sectors, const BootParameters& parameters, ByteView record,
                          ListedRecords& listed) {
  const auto list = FindAttribute(record, AttributeType::AttributeList);
  if (!list) return;
  const auto value = ReadAttributeListValue(sectors, parameters, *list);
  AddEntries(ByteView(value), listed);
}

}  // namespace korv
