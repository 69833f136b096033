#include "vdisk/vhdx.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/bytes.h"
#include "platform/read_buffer.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSector = kVirtualSectorBytes;
constexpr std::string_view kFileIdentifier = "vhdxfile";
constexpr std::string_view kHeaderSignature = "head";
constexpr std::string_view kRegionSignature = "regi";
constexpr std::string_view kMetadataSignature = "metadata";
constexpr std::uint16_t kHeaderVersion = 1;
// Headers whose first 80 bytes agree are the same header written twice.
constexpr std::size_t kHeaderComparedBytes = 80;
constexpr std::uint64_t kRegionEntriesOffset = 16;
constexpr std::uint64_t kMetadataEntriesOffset = 32;
constexpr std::uint64_t kTableEntryBytes = 32;
constexpr std::uint32_t kRegionRequired = 1u << 0;
constexpr std::uint32_t kMetadataRequired = 1u << 2;
constexpr std::uint32_t kHasParent = 1u << 1;
// A BAT entry's file offset is kept in bits 20-63 as whole MiB.
constexpr std::uint64_t kBatOffsetMask = ~std::uint64_t{0xFFFFF};
constexpr std::uint64_t kBatStateMask = 7;
constexpr std::uint64_t kChunkBytes = std::uint64_t{1} << 23;

std::uint8_t StateOf(std::uint64_t entry) { return static_cast<std::uint8_t>(entry & kBatStateMask); }

// States 4 and 7 stand for data this reader cannot give: a partially present
// block needs the parent of a differencing disk; 4 is no payload state.
bool IsUnservable(std::uint8_t state) { return state == 4 || state == kVhdxBlockPartiallyPresent; }

bool GuidAt(ByteView view, std::uint64_t offset, const VhdxGuid& guid) {
  const ByteView bytes = view.sub(offset, guid.size());
  return bytes.size() == guid.size() && std::equal(guid.begin(), guid.end(), bytes.data());
}

struct HeaderCopy {
  std::uint64_t sequence = 0;
  std::array<std::uint8_t, kHeaderComparedBytes> start{};
};

// A header copy counts only when it was read whole and carries the signature
// and version 1.
std::optional<HeaderCopy> ReadHeaderCopy(File& file, std::uint64_t offset) {
  ReadBuffer bytes(kVhdxHeaderBytes);
  if (!file.ReadExactAt(offset, bytes)) return std::nullopt;
  const ByteView view(bytes);
  if (!view.matches(0, kHeaderSignature) || view.u16le(66) != kHeaderVersion) return std::nullopt;
  HeaderCopy copy;
  copy.sequence = view.u64le(8).value_or(0);
  std::copy_n(bytes.begin(), kHeaderComparedBytes, copy.start.begin());
  return copy;
}

// The metadata items the reader needs, each allowed once, in this order.
struct MetadataItem {
  const VhdxGuid* guid;
  std::uint32_t width;  // bytes of the value that must be there
};
enum ItemIndex : std::size_t { kParameters, kDiskSize, kDiskId, kLogicalSector, kPhysicalSector, kItemCount };
constexpr std::array<MetadataItem, kItemCount> kNeededItems = {{
    {&kVhdxFileParameters, 8},
    {&kVhdxVirtualDiskSize, 8},
    {&kVhdxVirtualDiskId, 16},
    {&kVhdxLogicalSectorSize, 4},
    {&kVhdxPhysicalSectorSize, 4},
}};
using ItemOffsets = std::array<std::uint64_t, kItemCount>;

// Where in the file each needed item's value lies, from the metadata table
// `view` of the region `regionOffset`/`regionLength`. Fails on a parent
// locator, an unknown required item, a repeated or missing item, and an item
// that does not fit its region.
std::optional<ItemOffsets> FindMetadataItems(ByteView view, std::uint64_t regionOffset, std::uint32_t regionLength) {
  const std::uint16_t count = view.u16le(10).value_or(0);
  if (count > kVhdxMaxMetadataEntries) return std::nullopt;

  std::array<std::optional<std::uint64_t>, kItemCount> found;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t at = kMetadataEntriesOffset + std::uint64_t{i} * kTableEntryBytes;
    if (!view.fits(at, kTableEntryBytes)) return std::nullopt;
    if (GuidAt(view, at, kVhdxParentLocator)) return std::nullopt;  // a differencing disk
    const std::uint32_t itemOffset = view.u32le(at + 16).value_or(0);
    const std::uint32_t itemLength = view.u32le(at + 20).value_or(0);
    const std::uint32_t flags = view.u32le(at + 24).value_or(0);

    const auto known = std::find_if(kNeededItems.begin(), kNeededItems.end(),
                                    [&](const MetadataItem& item) { return GuidAt(view, at, *item.guid); });
    if (known == kNeededItems.end()) {
      if (flags & kMetadataRequired) return std::nullopt;
      continue;
    }
    auto& offset = found[static_cast<std::size_t>(known - kNeededItems.begin())];
    if (offset) return std::nullopt;  // the same item twice
    if (itemLength < known->width || !RangeFits(regionLength, itemOffset, known->width)) return std::nullopt;
    offset = regionOffset + itemOffset;  // cannot wrap: the table at regionOffset was read from the file
  }

  ItemOffsets offsets{};
  for (std::size_t i = 0; i < kItemCount; ++i) {
    if (!found[i]) return std::nullopt;
    offsets[i] = *found[i];
  }
  return offsets;
}

}  // namespace

// ---------------------------------------------------------------------------
// Opening

OpenAttempt<VhdxReader> VhdxReader::Open(const fs::path& path) {
  auto file = File::OpenReadOnly(path);
  if (!file) return CannotOpen(kReasonCannotOpenFile);
  const std::uint64_t fileSize = file->Size();

  std::array<std::uint8_t, kFileIdentifier.size()> identifier{};
  if (!file->ReadExactAt(0, identifier) || !ByteView(identifier).matches(0, kFileIdentifier)) {
    return NotThisFormat("no VHDX file identifier");
  }
  std::unique_ptr<VhdxReader> reader(new VhdxReader(std::move(file), fileSize));
  const OpenVerdict verdict = reader->Load();
  return Conclude(std::move(reader), verdict);
}

OpenVerdict VhdxReader::Load() {
  Region bat;
  Region metadata;
  if (!LoadHeader()) return Damaged("no sound header");
  if (!LoadRegionTable(bat, metadata)) return Damaged("region table damaged");
  if (const std::string_view fault = LoadMetadata(metadata); !fault.empty()) return Damaged(fault);
  if (!LoadBat(bat)) return Damaged("block table beyond the file");
  return kOpenedVerdict;
}

bool VhdxReader::LoadHeader() {
  const auto first = ReadHeaderCopy(*file_, kVhdxHeader1Offset);
  const auto second = ReadHeaderCopy(*file_, kVhdxHeader2Offset);
  if (!first && !second) return false;
  if (first && second && first->sequence == second->sequence && first->start != second->start) return false;
  const bool useSecond = !first || (second && second->sequence > first->sequence);
  headerSequence_ = useSecond ? second->sequence : first->sequence;
  return true;
}

bool VhdxReader::LoadRegionTable(Region& bat, Region& metadata) {
  ReadBuffer bytes(kVhdxRegionTableBytes);
  if (!file_->ReadExactAt(kVhdxRegionTableOffset, bytes)) return false;
  const ByteView view(bytes);
  if (!view.matches(0, kRegionSignature)) return false;
  const std::uint32_t count = view.u32le(8).value_or(0);
  if (count > kVhdxMaxRegionEntries) return false;

  bool haveBat = false;
  bool haveMetadata = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t at = kRegionEntriesOffset + std::uint64_t{i} * kTableEntryBytes;
    if (!view.fits(at, kTableEntryBytes)) return false;
    const Region region{view.u64le(at + 16).value_or(0), view.u32le(at + 24).value_or(0)};
    const std::uint32_t flags = view.u32le(at + 28).value_or(0);
    if (GuidAt(view, at, kVhdxBatRegion)) {
      if (haveBat) return false;
      bat = region;
      haveBat = true;
    } else if (GuidAt(view, at, kVhdxMetadataRegion)) {
      if (haveMetadata) return false;
      metadata = region;
      haveMetadata = true;
    } else if (flags & kRegionRequired) {
      return false;  // a region we do not know but must understand
    }
  }
  return haveBat && haveMetadata;
}

std::string_view VhdxReader::LoadMetadata(const Region& metadata) {
  constexpr std::string_view kDamagedTable = "metadata table damaged";
  ReadBuffer bytes(kVhdxMetadataTableBytes);
  if (!file_->ReadExactAt(metadata.offset, bytes)) return kDamagedTable;
  const ByteView view(bytes);
  if (!view.matches(0, kMetadataSignature)) return kDamagedTable;
  const auto offsets = FindMetadataItems(view, metadata.offset, metadata.length);
  if (!offsets) return kDamagedTable;
  return ReadMetadataValues(*offsets);
}

std::string_view VhdxReader::ReadMetadataValues(const std::array<std::uint64_t, 5>& offsets) {
  std::array<std::uint8_t, 8> value{};
  const auto read = [&](std::size_t item) -> std::optional<std::uint64_t> {
    const auto bytes = std::span(value).first(kNeededItems[item].width);
    if (!file_->ReadExactAt(offsets[item], bytes)) return std::nullopt;
    if (bytes.size() == 8) return ByteView(value).u64le(0);
    return ByteView(value).u32le(0);
  };
  const auto parameters = read(kParameters);
  const auto diskSize = read(kDiskSize);
  const auto logical = read(kLogicalSector);
  const auto physical = read(kPhysicalSector);
  if (!parameters || !diskSize || !logical || !physical) return "metadata values unreadable";

  blockSize_ = static_cast<std::uint32_t>(*parameters);
  const auto parameterFlags = static_cast<std::uint32_t>(*parameters >> 32);
  virtualDiskSize_ = *diskSize;
  logicalSectorSize_ = static_cast<std::uint32_t>(*logical);
  physicalSectorSize_ = static_cast<std::uint32_t>(*physical);

  if (parameterFlags & kHasParent) return "differencing disk";
  if (!IsPowerOfTwo(blockSize_) || blockSize_ < kVhdxMinBlockSize || blockSize_ > kVhdxMaxBlockSize) {
    return "block size out of range";
  }
  if (logicalSectorSize_ != 512 && logicalSectorSize_ != 4096) return "logical sector size not 512 or 4096";
  // Both powers of two, so sectors per block and the chunk ratio are too.
  chunkRatio_ = kChunkBytes * logicalSectorSize_ / blockSize_;
  diskSectors_ = virtualDiskSize_ / logicalSectorSize_;
  return {};
}

// Only the entries the disk needs are read, and only when they lie inside
// the file, so a damaged disk size cannot make us allocate more than the
// file holds.
bool VhdxReader::LoadBat(const Region& bat) {
  const std::uint64_t dataBlocks = virtualDiskSize_ / blockSize_ + (virtualDiskSize_ % blockSize_ != 0);
  const std::uint64_t entries = dataBlocks == 0 ? 0 : dataBlocks + (dataBlocks - 1) / chunkRatio_;
  const auto batBytes = CheckedMul(entries, 8);
  if (!batBytes || *batBytes > bat.length || !RangeFits(fileSize_, bat.offset, *batBytes)) return false;

  ReadBuffer bytes(static_cast<std::size_t>(*batBytes));
  if (!file_->ReadExactAt(bat.offset, bytes)) return false;
  const ByteView view(bytes);
  bat_.resize(static_cast<std::size_t>(entries));
  for (std::uint64_t i = 0; i < entries; ++i) bat_[static_cast<std::size_t>(i)] = view.u64le(i * 8).value_or(0);
  return true;
}

std::uint64_t VhdxReader::batIndexOf(std::uint64_t block) const {
  if (chunkRatio_ == 0) return block;
  return block + block / chunkRatio_;
}

std::uint64_t VhdxReader::batEntry(std::uint64_t block) const {
  const std::uint64_t index = batIndexOf(block);
  if (index >= bat_.size()) return kVhdxBlockNotPresent;
  return bat_[static_cast<std::size_t>(index)];
}

std::uint64_t VhdxReader::sectors512() const { return diskSectors_ * (logicalSectorSize_ / kSector); }

// ---------------------------------------------------------------------------
// Reading


// Works in bytes of the virtual disk, so that 512-byte sectors map the same
// way whatever the disk's logical sector size.
Stretch VhdxReader::MapStretch(std::uint64_t sector, std::uint64_t limit) const {
  const std::uint64_t end = sectors512();
  // Every later sector of the request lies past the end too.
  if (sector >= end || blockSize_ == 0) return {StretchKind::Missing, limit};

  const std::uint64_t diskOffset = sector * kSector;
  const std::uint64_t block = diskOffset / blockSize_;
  const std::uint64_t inBlock = diskOffset % blockSize_;
  const std::uint64_t span = std::min({limit, end - sector, (blockSize_ - inBlock) / kSector});
  const std::uint64_t index = batIndexOf(block);
  if (index >= bat_.size()) return {StretchKind::Missing, span};

  const std::uint64_t entry = bat_[static_cast<std::size_t>(index)];
  const std::uint8_t state = StateOf(entry);
  if (state == kVhdxBlockFullyPresent) return {StretchKind::File, span, file_.get(), (entry & kBatOffsetMask) + inBlock};
  if (IsUnservable(state)) return {StretchKind::Missing, span};
  return {StretchKind::Zeros, span};
}

// ---------------------------------------------------------------------------
// What the inventory and the scans ask

VirtualDiskFacts VhdxReader::facts() const {
  VirtualDiskFacts facts;
  // The disk served is whole logical sectors: a size field that is not a
  // multiple of them leaves a tail no read reaches, and a disk that claimed
  // it would give walks a stretch they cannot cross.
  facts.diskSizeBytes = sectors512() * kSector;
  facts.inventorySizeBytes = virtualDiskSize_;
  facts.mediaTypeText = "Virtual File VHDX";
  facts.diskTypeText = "HYPER-V";
  return facts;
}

// Blocks that read as zeros without a file read are holes; blocks read from
// the file, and blocks whose reads fail, are not, so a scan meets the failure.
AllocationRun VhdxReader::allocationAt(std::uint64_t sector) const {
  const std::uint64_t end = sectors512();
  if (sector >= end || blockSize_ == 0) return {true, 0};
  const std::uint64_t sectorsPerBlock = blockSize_ / kSector;
  const auto isHole = [&](std::uint64_t block) {
    const std::uint8_t state = StateOf(batEntry(block));
    return state != kVhdxBlockFullyPresent && !IsUnservable(state);
  };

  std::uint64_t block = sector / sectorsPerBlock;
  const bool hole = isHole(block);
  std::uint64_t sectors = sectorsPerBlock - sector % sectorsPerBlock;
  // Neighbouring blocks in the same state make one longer stretch.
  while (sectors < end - sector && isHole(++block) == hole) sectors += sectorsPerBlock;
  return {!hole, std::min(sectors, end - sector)};
}

}  // namespace korv
