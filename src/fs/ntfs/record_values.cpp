#include "fs/ntfs/record_values.h"

#include <algorithm>

#include "fs/ntfs/file_record.h"

namespace korv {

namespace {

constexpr std::uint64_t kCreationField = 0x00;
constexpr std::uint64_t kModificationField = 0x08;
constexpr std::uint64_t kAccessField = 0x18;
constexpr std::uint64_t kStandardTimesBytes = 0x20;

constexpr std::uint64_t kParentField = 0x00;
constexpr std::uint64_t kNameLengthField = 0x40;
constexpr std::uint64_t kNameSpaceField = 0x41;
constexpr std::uint64_t kNameField = 0x42;

std::optional<FileNameValue> DecodeFileName(ByteView value) {
  const auto length = value.u8(kNameLengthField);
  if (!length || !value.fits(kNameField, 2 * std::uint64_t{*length})) return std::nullopt;
  FileNameValue result;
  result.parentNumber = *value.u32le(kParentField);
  result.nameSpace = *value.u8(kNameSpaceField);
  result.name = ReadUtf16(value, kNameField, *length, /*bigEndian=*/false);
  return result;
}

bool IsLinkNameSpace(std::uint8_t nameSpace) {
  return nameSpace == FileNameSpace::Posix || nameSpace == FileNameSpace::Win32 ||
         nameSpace == FileNameSpace::Win32AndDos;
}

// A named attribute's first piece: resident, or non-resident from VCN 0.
bool StartsStream(const Attribute& attribute) {
  return !attribute.unnamed() && (!attribute.nonResident() || attribute.lowestVcn() == 0);
}

std::optional<Attribute> FindStreamStart(ByteView record, std::u16string_view stream) {
  AttributeWalk walk(record);
  while (const auto attribute = walk.Next()) {
    if (attribute->type() == AttributeType::Data && StartsStream(*attribute) && attribute->named(stream)) {
      return attribute;
    }
  }
  return std::nullopt;
}

std::optional<DataAttributeInfo> DataInfoOf(const Attribute& attribute) {
  DataAttributeInfo info;
  info.attributeOffset = attribute.offsetInRecord();
  if (attribute.nonResident()) {
    const auto size = attribute.dataSize();
    if (!size) return std::nullopt;
    info.size = *size;
    info.residency = DataResidency::NonResident;
    info.compressionUnitClusters = attribute.compressionUnitClusters();
    return info;
  }
  const auto value = attribute.residentValue();
  if (!value) return std::nullopt;
  info.size = value->size();
  info.residency = DataResidency::Resident;
  info.valueOffset = info.attributeOffset + static_cast<std::size_t>(value->data() - attribute.bytes().data());
  return info;
}

}  // namespace

std::optional<StandardTimes> ReadStandardTimes(ByteView record) {
  const auto attribute = FindAttribute(record, AttributeType::StandardInformation);
  if (!attribute) return std::nullopt;
  const auto value = attribute->residentValue();
  if (!value || !value->fits(0, kStandardTimesBytes)) return std::nullopt;
  return StandardTimes{*value->u64le(kCreationField), *value->u64le(kModificationField), *value->u64le(kAccessField)};
}

std::optional<FileNameValue> ReadFileName(ByteView record, std::uint8_t nameSpace) {
  AttributeWalk walk(record);
  while (const auto attribute = walk.Next()) {
    if (attribute->type() != AttributeType::FileName || !attribute->unnamed()) continue;
    const auto value = attribute->residentValue();
    if (!value || value->u8(kNameSpaceField) != nameSpace) continue;
    if (auto name = DecodeFileName(*value)) return name;
  }
  return std::nullopt;
}

std::optional<FileNameValue> ReadPreferredFileName(ByteView record) {
  for (const std::uint8_t nameSpace : kFileNameSpaceOrder) {
    if (auto name = ReadFileName(record, nameSpace)) return name;
  }
  return std::nullopt;
}

std::vector<FileNameValue> ReadLinkNames(ByteView record) {
  std::vector<FileNameValue> names;
  AttributeWalk walk(record);
  while (const auto attribute = walk.Next()) {
    if (attribute->type() != AttributeType::FileName || !attribute->unnamed()) continue;
    const auto value = attribute->residentValue();
    if (!value || !IsLinkNameSpace(value->u8(kNameSpaceField).value_or(FileNameSpace::Dos))) continue;
    if (auto name = DecodeFileName(*value)) names.push_back(std::move(*name));
  }
  return names;
}

std::optional<DataAttributeInfo> ReadDataSize(ByteView record, std::u16string_view stream) {
  const auto attribute = stream.empty() ? FindAttribute(record, AttributeType::Data, /*unnamedOnly=*/true)
                                        : FindStreamStart(record, stream);
  if (!attribute) return std::nullopt;
  return DataInfoOf(*attribute);
}

std::vector<NamedStream> ReadNamedStreams(ByteView record) {
  std::vector<NamedStream> streams;
  AttributeWalk walk(record);
  while (const auto attribute = walk.Next()) {
    if (attribute->type() != AttributeType::Data || !StartsStream(*attribute)) continue;
    std::u16string name = attribute->name();
    // A name that does not lie whole in its attribute reads as empty.
    if (name.empty()) continue;
    const auto info = DataInfoOf(*attribute);
    if (!info) continue;
    const bool held = std::any_of(streams.begin(), streams.end(),
                                  [&](const NamedStream& stream) { return stream.name == name; });
    if (!held) streams.push_back({std::move(name), info->size});
  }
  return streams;
}

}  // namespace korv
