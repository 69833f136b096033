#include "fs/ntfs/index_record.h"

#include <algorithm>

#include "fs/ntfs/file_record.h"
#include "fs/ntfs/run_list.h"

namespace korv {

namespace {

constexpr std::size_t kScanBytes = 512;
constexpr std::uint64_t kVcnField = 0x10;
// The index header follows the INDX header; its offsets count from here.
constexpr std::uint64_t kIndexHeaderStart = 0x18;
constexpr std::uint64_t kBytesAllocatedField = 0x20;
constexpr std::uint64_t kMaxIndexRecordBytes = 0x10000;
// An entry's header (16 bytes) and the $FILE_NAME key up to its name.
constexpr std::uint64_t kMinEntryWithKey = 44;

// Index entry fields.
constexpr std::uint64_t kEntryLengthField = 0x08;
constexpr std::uint64_t kKeyLengthField = 0x0A;
constexpr std::uint64_t kEntryFlagsField = 0x0C;
constexpr std::uint64_t kEntryKeyStart = 0x10;
constexpr std::uint16_t kLastEntryFlag = 0x02;
// $FILE_NAME key fields.
constexpr std::uint64_t kKeyParentField = 0x00;
constexpr std::uint64_t kKeyNameLengthField = 0x40;

constexpr std::uint32_t kFirstUserRecord = 5;
constexpr std::uint32_t kNoRecord = 0xFFFFFFFF;

// $INDEX_ROOT value: 16 bytes of root header, then the index header.
constexpr std::uint64_t kRootIndexHeader = 0x10;

}  // namespace

std::optional<IndexRecordInfo> ParseIndexRecord(ByteView bytes) {
  const ByteView head = bytes.sub(0, std::min(bytes.size(), kScanBytes));
  if (!head.matches(0, kIndexRecordSignature)) return std::nullopt;
  const auto allocated = head.u32le(kBytesAllocatedField);
  const auto vcn = head.u32le(kVcnField);
  const auto firstEntry = head.u32le(kIndexHeaderStart);
  if (!allocated || !vcn || !firstEntry) return std::nullopt;
  if (std::uint64_t{*allocated} + kIndexHeaderStart > kMaxIndexRecordBytes) return std::nullopt;
  if (std::uint64_t{*firstEntry} + kMinEntryWithKey > std::uint64_t{*allocated} + kIndexHeaderStart) {
    return std::nullopt;
  }
  const auto directory = head.u32le(kIndexHeaderStart + *firstEntry + kEntryKeyStart + kKeyParentField);
  if (!directory || *directory < kFirstUserRecord || *directory == kNoRecord) return std::nullopt;
  return IndexRecordInfo{*vcn, *directory};
}

std::uint32_t DirectoryNumberFromIndexRoot(ByteView record) {
  const auto root = FindNamedAttribute(record, AttributeType::IndexRoot, kDirectoryIndexName);
  if (!root) return 0;
  const auto value = root->residentValue();
  if (!value) return 0;
  const auto entriesOffset = value->u32le(kRootIndexHeader);
  if (!entriesOffset) return 0;
  const ByteView entry = value->sub(kRootIndexHeader + *entriesOffset, kEntryKeyStart);
  const auto flags = entry.u16le(kEntryFlagsField);
  const auto keyLength = entry.u16le(kKeyLengthField);
  const auto entryLength = entry.u16le(kEntryLengthField);
  if (!flags || !keyLength || !entryLength || (*flags & kLastEntryFlag) != 0) return 0;
  const ByteView key = value->sub(kRootIndexHeader + *entriesOffset + kEntryKeyStart, *keyLength);
  const auto nameLength = key.u8(kKeyNameLengthField);
  const auto parent = key.u32le(kKeyParentField);
  if (!nameLength || !parent || *nameLength == 0 || *parent == kNoRecord) return 0;
  return *parent;
}

std::uint32_t FirstIndexAllocationCluster(ByteView record) {
  const auto allocation = FindNamedAttribute(record, AttributeType::IndexAllocation, kDirectoryIndexName);
  if (!allocation || !allocation->nonResident()) return 0;
  const auto pairs = allocation->mappingPairsOffset();
  if (!pairs) return 0;
  const RunList first = DecodeRunList(allocation->bytes(), *pairs, allocation->length(), 0, 1);
  if (first.runs.empty() || first.runs.front().sparse) return 0;
  const std::uint64_t cluster = first.runs.front().firstSector;
  return cluster > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(cluster);
}

}  // namespace korv
