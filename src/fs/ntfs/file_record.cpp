#include "fs/ntfs/file_record.h"

#include <algorithm>

namespace korv {

namespace {

constexpr std::uint64_t kArrayOffsetField = 0x04;
constexpr std::uint64_t kFirstAttributeField = 0x14;
constexpr std::uint64_t kFlagsField = 0x16;
constexpr std::uint64_t kBytesAllocatedField = 0x1C;
constexpr std::uint64_t kBaseReferenceField = 0x20;
constexpr std::uint64_t kOwnNumberField = 0x2C;
// The own-number field exists only in headers whose update sequence array
// starts after it.
constexpr std::uint16_t kOwnNumberHeaderEnd = 0x30;

constexpr std::size_t kMinAttributeBytes = 0x18;
constexpr std::uint64_t kNameOffsetField = 0x0A;
constexpr std::uint64_t kValueLengthField = 0x10;
constexpr std::uint64_t kValueOffsetField = 0x14;
constexpr std::uint64_t kLowestVcnField = 0x10;
constexpr std::uint64_t kHighestVcnField = 0x18;
constexpr std::uint64_t kMappingPairsField = 0x20;
constexpr std::uint64_t kDataSizeField = 0x30;
constexpr std::uint64_t kAttributeFlagsField = 0x0C;
constexpr std::uint64_t kCompressionUnitField = 0x22;
// The low byte of the attribute flags names the compression method.
constexpr std::uint16_t kCompressedMask = 0x00FF;

constexpr std::uint64_t kSecondSectorTail = 1022;
constexpr std::uint64_t kFirstSectorTail = 510;

// The bytes-allocated value when it is believable.
std::optional<std::size_t> DeclaredRecordBytes(ByteView record) {
  const auto raw = record.u16le(kBytesAllocatedField);
  if (!raw) return std::nullopt;
  const auto value = static_cast<std::int16_t>(*raw);
  if (value < 512 || value > static_cast<std::int32_t>(kMaxFileRecordBytes) || value % 512 != 0) return std::nullopt;
  return static_cast<std::size_t>(value);
}

}  // namespace

std::size_t FileRecordBytes(ByteView record) { return DeclaredRecordBytes(record).value_or(kDefaultFileRecordBytes); }

bool HasFileSignature(ByteView record) { return record.matches(0, kFileRecordSignature); }

bool IsPlausibleFileRecord(ByteView bytes) {
  if (!HasFileSignature(bytes) || !DeclaredRecordBytes(bytes)) return false;
  const auto first = bytes.u16le(kFirstSectorTail);
  const auto second = bytes.u16le(kSecondSectorTail);
  return first && second && *first == *second;
}

std::optional<std::uint8_t> RecordStateByte(ByteView record) { return record.u8(kFlagsField); }

bool IsDirectoryRecord(ByteView record) { return (RecordStateByte(record).value_or(0) & 0x02) != 0; }

bool IsRecordInUse(ByteView record) { return (RecordStateByte(record).value_or(0) & 0x01) != 0; }

std::optional<std::uint32_t> BaseRecordNumber(ByteView record) { return record.u32le(kBaseReferenceField); }

std::optional<std::uint32_t> OwnRecordNumber(ByteView record) {
  const auto arrayOffset = record.u16le(kArrayOffsetField);
  if (!arrayOffset || *arrayOffset < kOwnNumberHeaderEnd) return std::nullopt;
  return record.u32le(kOwnNumberField);
}

std::u16string Attribute::name() const {
  const auto nameOffset = bytes_.u16le(kNameOffsetField);
  const std::uint64_t bytes = 2 * std::uint64_t{nameLength()};
  if (!nameOffset || bytes == 0 || !bytes_.fits(*nameOffset, bytes)) return {};
  return ReadUtf16(bytes_, *nameOffset, nameLength(), /*bigEndian=*/false);
}

bool Attribute::named(std::u16string_view wanted) const {
  return nameLength() == wanted.size() && name() == wanted;
}

std::optional<ByteView> Attribute::residentValue() const {
  if (nonResident()) return std::nullopt;
  const auto length = bytes_.u32le(kValueLengthField);
  const auto offset = bytes_.u16le(kValueOffsetField);
  if (!length || !offset || !bytes_.fits(*offset, *length)) return std::nullopt;
  return bytes_.sub(*offset, *length);
}

std::optional<std::uint64_t> Attribute::lowestVcn() const {
  if (!nonResident()) return std::nullopt;
  return bytes_.u64le(kLowestVcnField);
}

std::optional<std::uint64_t> Attribute::highestVcn() const {
  if (!nonResident()) return std::nullopt;
  return bytes_.u64le(kHighestVcnField);
}

std::optional<std::uint64_t> Attribute::dataSize() const {
  if (!nonResident()) return std::nullopt;
  return bytes_.u64le(kDataSizeField);
}

std::optional<std::uint16_t> Attribute::mappingPairsOffset() const {
  if (!nonResident()) return std::nullopt;
  return bytes_.u16le(kMappingPairsField);
}

std::uint32_t Attribute::compressionUnitClusters() const {
  if (!nonResident()) return 0;
  const auto flags = bytes_.u16le(kAttributeFlagsField);
  const auto shift = bytes_.u8(kCompressionUnitField);
  if (!flags || !shift || (*flags & kCompressedMask) == 0) return 0;
  if (*shift == 0 || *shift > kMaxCompressionUnitShift) return 0;
  return std::uint32_t{1} << *shift;
}

AttributeWalk::AttributeWalk(ByteView record)
    : record_(record.sub(0, std::min(record.size(), FileRecordBytes(record)))) {
  const auto first = record_.u16le(kFirstAttributeField);
  if (!first) {
    ended_ = true;
    return;
  }
  position_ = *first;
}

std::optional<Attribute> AttributeWalk::Next() {
  if (ended_) return std::nullopt;
  ended_ = true;  // until this attribute proves whole
  const auto type = record_.u32le(position_);
  const auto length = record_.u32le(position_ + 4);
  if (!type || !length || *type == 0 || *type == AttributeType::End) return std::nullopt;
  if (*length < kMinAttributeBytes || !record_.fits(position_, *length)) return std::nullopt;
  Attribute attribute(record_.sub(position_, *length), position_);
  position_ += *length;
  ended_ = position_ >= record_.size();
  return attribute;
}

std::optional<Attribute> FindAttribute(ByteView record, std::uint32_t type, bool unnamedOnly) {
  AttributeWalk walk(record);
  while (const auto attribute = walk.Next()) {
    if (attribute->type() != type) continue;
    if (unnamedOnly && !attribute->unnamed()) continue;
    return attribute;
  }
  return std::nullopt;
}

std::optional<Attribute> FindNamedAttribute(ByteView record, std::uint32_t type, std::u16string_view name) {
  AttributeWalk walk(record);
  while (const auto attribute = walk.Next()) {
    if (attribute->type() == type && attribute->named(name)) return attribute;
  }
  return std::nullopt;
}

}  // namespace korv
