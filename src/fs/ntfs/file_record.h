// MFT file records: the header, the record size rule, and the walk over a
// record's attributes.
//
// Every reader takes the record's bytes as a ByteView and trusts nothing in
// them: the walk is bounded by the smaller of the record size and the bytes
// held, and an attribute that does not lie whole inside them ends the walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace korv {

inline constexpr std::string_view kFileRecordSignature = "FILE";
// The record size assumed when the header's bytes-allocated value is not
// believable.
inline constexpr std::size_t kDefaultFileRecordBytes = 1024;
inline constexpr std::size_t kMaxFileRecordBytes = 0x4000;
// The largest compression unit taken from an attribute header: 2^8 clusters.
// NTFS writes 2^4; anything beyond this bound is damage.
inline constexpr std::uint8_t kMaxCompressionUnitShift = 8;

// Attribute types this system reads.
namespace AttributeType {
constexpr std::uint32_t StandardInformation = 0x10;
constexpr std::uint32_t AttributeList = 0x20;
constexpr std::uint32_t FileName = 0x30;
constexpr std::uint32_t Data = 0x80;
constexpr std::uint32_t IndexRoot = 0x90;
constexpr std::uint32_t IndexAllocation = 0xA0;
constexpr std::uint32_t End = 0xFFFFFFFF;
}  // namespace AttributeType

// The low byte of the record flags.
enum class RecordState : std::uint8_t { DeletedFile = 0, FileInUse = 1, DeletedDirectory = 2, DirectoryInUse = 3 };

// A folder's record, in use or deleted; any other state byte is a file's.
inline bool IsDirectoryState(std::uint8_t state) {
  return state == static_cast<std::uint8_t>(RecordState::DirectoryInUse) ||
         state == static_cast<std::uint8_t>(RecordState::DeletedDirectory);
}

// The record size rule: the signed 16-bit bytes-allocated value at 0x1C when
// it lies in 512..0x4000 and is a multiple of 512, else 1,024.
std::size_t FileRecordBytes(ByteView record);

bool HasFileSignature(ByteView record);

// The signature scan's test of a 512-byte-sector buffer: "FILE", a
// believable bytes-allocated value, and equal update sequence numbers at
// the ends of the first two sectors (before fixups).
bool IsPlausibleFileRecord(ByteView bytes);

// The low byte of the flags at 0x16, or nothing when the header is cut off.
std::optional<std::uint8_t> RecordStateByte(ByteView record);
bool IsDirectoryRecord(ByteView record);
bool IsRecordInUse(ByteView record);

// Low 32 bits of the base record reference at 0x20: 0 for a base record,
// the base record's number for an extension record.
std::optional<std::uint32_t> BaseRecordNumber(ByteView record);
// The record's own number at 0x2C, present when the update sequence array
// starts at or after 0x30 (records written by NTFS 3.1 and later).
std::optional<std::uint32_t> OwnRecordNumber(ByteView record);

// One attribute, whole inside its record.
class Attribute {
 public:
  Attribute(ByteView bytes, std::size_t offsetInRecord) : bytes_(bytes), offset_(offsetInRecord) {}

  std::uint32_t type() const { return bytes_.u32le(0).value_or(0); }
  std::size_t length() const { return bytes_.size(); }
  std::size_t offsetInRecord() const { return offset_; }
  bool nonResident() const { return bytes_.u8(0x08).value_or(0) != 0; }
  std::uint8_t nameLength() const { return bytes_.u8(0x09).value_or(0); }
  bool unnamed() const { return nameLength() == 0; }
  // The attribute's name; empty when unnamed or when it does not fit.
  std::u16string name() const;
  bool named(std::u16string_view wanted) const;

  // Resident: the value, or nothing when it does not lie whole inside the
  // attribute.
  std::optional<ByteView> residentValue() const;
  // Non-resident fields.
  std::optional<std::uint64_t> lowestVcn() const;
  std::optional<std::uint64_t> highestVcn() const;
  std::optional<std::uint64_t> dataSize() const;
  std::optional<std::uint16_t> mappingPairsOffset() const;
  // Clusters per compression unit of a compressed non-resident attribute
  // (the flags at 0x0C say compressed, the unit at 0x22 is a power of two
  // of at most kMaxCompressionUnitShift); 0 for any other attribute.
  std::uint32_t compressionUnitClusters() const;

  // The whole attribute, for readers of fields the class does not name.
  ByteView bytes() const { return bytes_; }

 private:
  ByteView bytes_;
  std::size_t offset_;
};

// Walks a record's attributes from the first attribute offset (0x14). Ends
// on type 0 or 0xFFFFFFFF, on a length below 0x18 or past the record, and at
// the smaller of the record size rule and the bytes held.
class AttributeWalk {
 public:
  explicit AttributeWalk(ByteView record);

  // The next attribute, or nothing when the walk has ended.
  std::optional<Attribute> Next();

 private:
  ByteView record_;
  std::size_t position_ = 0;
  bool ended_ = false;
};

// The first attribute of `type`; with `unnamedOnly`, named ones are passed
// over.
std::optional<Attribute> FindAttribute(ByteView record, std::uint32_t type, bool unnamedOnly = false);
// The first attribute of `type` named `name`.
std::optional<Attribute> FindNamedAttribute(ByteView record, std::uint32_t type, std::u16string_view name);

}  // namespace korv
