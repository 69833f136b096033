#include "vdisk/qed.h"


#include <array>
#include <bit>
#include <memory>
#include <optional>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/read_buffer.h"
#include "vdisk/backing_name.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kHeaderBytes = 64;
constexpr std::size_t kFeaturesField = 16;
constexpr std::uint64_t kBackingFileFeature = 1;
constexpr std::size_t kBackingOffsetField = 56;
constexpr std::size_t kBackingSizeField = 60;
constexpr std::string_view kMagic{"QED\0", 4};
// A level-2 entry of 1 marks a cluster that reads as zeros; no cluster can
// lie at that offset.
constexpr std::uint64_t kZeroCluster = 1;

ClusterEntry DecodeEntry(std::uint64_t entry) {
  if (entry == 0) return {};
  if (entry == kZeroCluster) return {ClusterEntry::Kind::Zeros};
  return {ClusterEntry::Kind::Data, entry};
}

std::optional<std::vector<std::uint64_t>> ReadL1Table(File& file, std::uint64_t fileSize, std::uint64_t offset,
                                                      std::uint64_t tableBytes) {
  if (!RangeFits(fileSize, offset, tableBytes)) return std::nullopt;
  ReadBuffer raw(static_cast<std::size_t>(tableBytes));
  if (!file.ReadExactAt(offset, raw)) return std::nullopt;
  const ByteView view(raw);
  std::vector<std::uint64_t> table(raw.size() / 8);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = view.u64le(i * 8).value_or(0);
  return table;
}

}  // namespace

OpenAttempt<QedReader> QedReader::Open(const fs::path& path) {
  auto file = File::OpenReadOnly(path);
  if (!file) return CannotOpen(kReasonCannotOpenFile);
  const std::uint64_t fileSize = file->Size();

  std::array<std::uint8_t, kHeaderBytes> bytes{};
  if (!file->ReadExactAt(0, bytes)) return NotThisFormat("header cut short");
  const ByteView view(bytes);
  const std::uint32_t clusterSize = view.u32le(4).value_or(0);
  const std::uint32_t tableClusters = view.u32le(8).value_or(0);
  const std::uint64_t l1Offset = view.u64le(40).value_or(0);
  const std::uint64_t imageSize = view.u64le(48).value_or(0);
  if (!view.matches(0, kMagic)) return NotThisFormat("no QED magic");
  if (imageSize % kVirtualSectorBytes != 0) return NotThisFormat("image size not whole sectors");

  if (!IsPowerOfTwo(clusterSize) || clusterSize < kQedMinClusterBytes || clusterSize > kQedMaxClusterBytes) {
    return Damaged("cluster size out of range");
  }
  // A table size that is no power of two would leave the level-1 index
  // without a bit boundary.
  if (!IsPowerOfTwo(tableClusters) || tableClusters < kQedMinTableClusters || tableClusters > kQedMaxTableClusters) {
    return Damaged("table size out of range");
  }

  ClusterLayout layout;
  layout.clusterBits = static_cast<std::uint32_t>(std::countr_zero(clusterSize));
  layout.l2Bytes = std::uint64_t{clusterSize} * tableClusters;
  layout.l2Bits = static_cast<std::uint32_t>(std::countr_zero(layout.l2Bytes / 8));
  layout.diskSize = imageSize;
  layout.byteOrder = TableByteOrder::Little;
  layout.decode = DecodeEntry;
  auto l1Table = ReadL1Table(*file, fileSize, l1Offset, layout.l2Bytes);
  if (!l1Table) return Damaged("level-1 table beyond the file");
  layout.l1Table = std::move(*l1Table);

  const bool hasBacking = (view.u64le(kFeaturesField).value_or(0) & kBackingFileFeature) != 0;
  std::string backingName =
      hasBacking ? ReadBackingName(*file, fileSize, view.u32le(kBackingOffsetField).value_or(0),
                                   view.u32le(kBackingSizeField).value_or(0))
                 : std::string();
  ClusterImage image(std::move(file), fileSize, std::move(layout));
  auto reader = std::unique_ptr<QedReader>(new QedReader(std::move(image), clusterSize, tableClusters));
  reader->backingName_ = std::move(backingName);
  return {OpenResult::Opened, std::move(reader), {}};
}

int QedReader::ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) { return image_.ReadSector(sector, out); }

int QedReader::ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) {
  return image_.ReadRun(firstSector, count, out);
}

bool QedReader::LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) {
  return image_.LookRun(firstSector, count, look);
}

AllocationRun QedReader::allocationAt(std::uint64_t sector) const { return image_.allocationAt(sector); }

VirtualDiskFacts QedReader::facts() const {
  VirtualDiskFacts facts;
  facts.diskSizeBytes = image_.diskSize();
  facts.inventorySizeBytes = image_.diskSize();
  facts.mediaTypeText = "Virtual File QED";
  facts.diskTypeText = "QED";
  if (!backingName_.empty()) facts.backingChain.push_back(backingName_);
  return facts;
}

}  // namespace korv
