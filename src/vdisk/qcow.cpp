#include "vdisk/qcow.h"


#include <array>
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

// Header bytes each version needs; version 3 may carry the compression
// type one byte further.
constexpr std::size_t kVersion1HeaderBytes = 48;
constexpr std::size_t kVersion2HeaderBytes = 72;
constexpr std::size_t kVersion3HeaderBytes = 104;
constexpr std::size_t kHeaderReadBytes = 112;
constexpr std::uint64_t kCompressionTypeOffset = 104;
constexpr std::uint8_t kDeflateCompression = 0;

constexpr std::uint64_t kBit63 = std::uint64_t{1} << 63;
constexpr std::uint64_t kBit62 = std::uint64_t{1} << 62;
constexpr std::uint64_t kZeroFlag = 1;  // version 3 level-2 entries
// Largest version 1 level-2 table: 2^18 entries take 2 MiB, the cache cap.
constexpr std::uint32_t kMaxVersion1L2Bits = 18;

using HeaderBytes = std::array<std::uint8_t, kHeaderReadBytes>;

// What the header says, before it is checked.
// Where every version keeps the backing file's name: its offset and length.
constexpr std::size_t kBackingOffsetField = 8;
constexpr std::size_t kBackingSizeField = 16;

struct QcowHeader {
  std::uint32_t version = 0;
  std::uint64_t diskSize = 0;
  std::uint32_t clusterBits = 0;
  std::uint32_t l2Bits = 0;  // version 1 only; later versions derive it
  std::uint32_t encryption = 0;
  std::uint64_t l1Count = 0;  // versions 2 and 3 only; version 1 derives it
  std::uint64_t l1Offset = 0;
  std::uint32_t snapshots = 0;
  std::uint64_t incompatible = 0;
  std::uint32_t headerLength = 0;
  std::optional<std::uint8_t> compressionType;
};

std::size_t HeaderBytesOf(std::uint32_t version) {
  if (version == 1) return kVersion1HeaderBytes;
  if (version == 2) return kVersion2HeaderBytes;
  return kVersion3HeaderBytes;
}

QcowHeader ParseVersion1(ByteView bytes) {
  QcowHeader header;
  header.version = 1;
  header.diskSize = bytes.u64be(24).value_or(0);
  header.clusterBits = bytes.u8(32).value_or(0);
  header.l2Bits = bytes.u8(33).value_or(0);
  header.encryption = bytes.u32be(36).value_or(0);
  header.l1Offset = bytes.u64be(40).value_or(0);
  return header;
}

QcowHeader ParseVersion2Or3(ByteView bytes, std::uint32_t version) {
  QcowHeader header;
  header.version = version;
  header.clusterBits = bytes.u32be(20).value_or(0);
  header.diskSize = bytes.u64be(24).value_or(0);
  header.encryption = bytes.u32be(32).value_or(0);
  header.l1Count = bytes.u32be(36).value_or(0);
  header.l1Offset = bytes.u64be(40).value_or(0);
  header.snapshots = bytes.u32be(60).value_or(0);
  if (version == 3) {
    header.incompatible = bytes.u64be(72).value_or(0);
    header.headerLength = bytes.u32be(100).value_or(0);
    if (header.headerLength > kCompressionTypeOffset) header.compressionType = bytes.u8(kCompressionTypeOffset);
  }
  return header;
}

// Version 3 images this reader can read: nothing required of it but what
// it knows to ignore.
bool FeaturesSupported(const QcowHeader& header) {
  if (header.version != 3) return true;
  if (header.headerLength < kVersion3HeaderBytes) return false;
  std::uint64_t rest = header.incompatible & ~(kQcowDirtyBit | kQcowCorruptBit);
  if (rest & kQcowCompressionTypeBit) {
    if (header.compressionType.value_or(0xFF) != kDeflateCompression) return false;
    rest &= ~kQcowCompressionTypeBit;
  }
  return rest == 0;
}

// Level-2 entries of version 1: bit 63 marks a compressed cluster, whose
// entry holds its byte length above bit (62 - cluster bits) and its file
// offset below.
ClusterEntry DecodeVersion1(std::uint64_t entry, std::uint32_t clusterBits) {
  if (entry == 0) return {};
  if ((entry & kBit63) == 0) return {ClusterEntry::Kind::Data, entry};
  const std::uint32_t offsetBits = 63 - clusterBits;
  const std::uint64_t offset = entry & ((std::uint64_t{1} << offsetBits) - 1);
  const std::uint64_t length = (entry >> offsetBits) & ((std::uint64_t{1} << clusterBits) - 1);
  return {ClusterEntry::Kind::Compressed, offset, length};
}

// Level-2 entries of versions 2 and 3: bit 63 marks a cluster used once
// (ignored), bit 62 a compressed one. A compressed entry holds its file
// offset in the low (70 - cluster bits) bits and, above them up to bit 61,
// the count of 512-byte sectors it takes beyond the one its offset lies in.
// Version 3 marks clusters that read as zeros with bit 0.
ClusterEntry DecodeVersion2Or3(std::uint64_t entry, std::uint32_t clusterBits, bool version3) {
  if (entry == 0) return {};
  if (entry & kBit62) {
    const std::uint32_t offsetBits = 70 - clusterBits;
    const std::uint64_t offset = entry & ((std::uint64_t{1} << offsetBits) - 1);
    const std::uint64_t extraSectors = (entry >> offsetBits) & ((std::uint64_t{1} << (clusterBits - 8)) - 1);
    const std::uint64_t length = (extraSectors + 1) * kVirtualSectorBytes - offset % kVirtualSectorBytes;
    return {ClusterEntry::Kind::Compressed, offset, length};
  }
  if (version3 && (entry & kZeroFlag)) return {ClusterEntry::Kind::Zeros};
  const std::uint64_t offset = entry & ~(kBit63 | kBit62 | (version3 ? kZeroFlag : 0));
  if (offset == 0) return {};
  return {ClusterEntry::Kind::Data, offset};
}

// The level-1 table, with the flags of the version cleared from its
// entries. nullopt when it does not lie inside the file or cannot be read.
std::optional<std::vector<std::uint64_t>> ReadL1Table(File& file, std::uint64_t fileSize, const QcowHeader& header,
                                                      std::uint64_t l1Count) {
  const auto bytes = CheckedMul(l1Count, 8);
  if (!bytes || !RangeFits(fileSize, header.l1Offset, *bytes)) return std::nullopt;
  ReadBuffer raw(static_cast<std::size_t>(*bytes));
  if (!file.ReadExactAt(header.l1Offset, raw)) return std::nullopt;

  const std::uint64_t flags = header.version == 1 ? kBit63 : (kBit63 | kBit62);
  const ByteView view(raw);
  std::vector<std::uint64_t> table(static_cast<std::size_t>(l1Count));
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = view.u64be(i * 8).value_or(0) & ~flags;
  return table;
}

// Entries per level-2 table, its size in the file, and the level-1 count.
std::optional<ClusterLayout> LayoutOf(const QcowHeader& header) {
  ClusterLayout layout;
  layout.clusterBits = header.clusterBits;
  layout.diskSize = header.diskSize;
  layout.byteOrder = TableByteOrder::Big;
  const std::uint64_t clusterBytes = std::uint64_t{1} << header.clusterBits;
  if (header.version == 1) {
    if (header.l2Bits == 0 || header.l2Bits > kMaxVersion1L2Bits) return std::nullopt;
    layout.l2Bits = header.l2Bits;
    const std::uint64_t entryBytes = (std::uint64_t{1} << header.l2Bits) * 8;
    layout.l2Bytes = (entryBytes + clusterBytes - 1) / clusterBytes * clusterBytes;
    const std::uint32_t bits = header.clusterBits;
    layout.decode = [bits](std::uint64_t entry) { return DecodeVersion1(entry, bits); };
  } else {
    layout.l2Bits = header.clusterBits - 3;
    layout.l2Bytes = clusterBytes;
    const std::uint32_t bits = header.clusterBits;
    const bool version3 = header.version == 3;
    layout.decode = [bits, version3](std::uint64_t entry) { return DecodeVersion2Or3(entry, bits, version3); };
  }
  return layout;
}

// Version 1 keeps no level-1 count: it is what the disk size needs.
std::uint64_t Version1L1Count(const QcowHeader& header) {
  const std::uint32_t shift = header.clusterBits + header.l2Bits;
  const std::uint64_t whole = header.diskSize >> shift;
  const bool partial = (header.diskSize & ((std::uint64_t{1} << shift) - 1)) != 0;
  return whole + (partial ? 1 : 0);
}

}  // namespace

OpenAttempt<QcowReader> QcowReader::Open(const fs::path& path) {
  auto file = File::OpenReadOnly(path);
  if (!file) return CannotOpen(kReasonCannotOpenFile);
  const std::uint64_t fileSize = file->Size();

  HeaderBytes bytes{};
  const std::size_t got = file->ReadAt(0, bytes);
  const ByteView view(bytes.data(), got);
  const auto magic = view.u32be(0);
  const auto version = view.u32be(4);
  if (!magic || *magic != kQcowMagic) return NotThisFormat("no QCOW magic");
  if (!version || *version < 1 || *version > 3) return NotThisFormat("unknown QCOW version");
  if (got < HeaderBytesOf(*version)) return NotThisFormat("header cut short");

  const QcowHeader header = *version == 1 ? ParseVersion1(view) : ParseVersion2Or3(view, *version);
  // The compression type field must be read whole when the image uses it.
  if ((header.incompatible & kQcowCompressionTypeBit) && header.headerLength > kCompressionTypeOffset &&
      !header.compressionType) {
    return NotThisFormat("compression type cut short");
  }
  if (header.encryption != 0) return Damaged("encrypted");
  if (header.snapshots != 0) return Damaged("has snapshots");
  if (!FeaturesSupported(header)) return Damaged("unsupported incompatible features");
  if (header.clusterBits < kQcowMinClusterBits || header.clusterBits > kQcowMaxClusterBits) {
    return Damaged("cluster size out of range");
  }

  auto layout = LayoutOf(header);
  if (!layout) return Damaged("level-2 table size out of range");
  const std::uint64_t l1Count = header.version == 1 ? Version1L1Count(header) : header.l1Count;
  auto l1Table = ReadL1Table(*file, fileSize, header, l1Count);
  if (!l1Table) return Damaged("level-1 table beyond the file");
  layout->l1Table = std::move(*l1Table);

  std::string backingName =
      ReadBackingName(*file, fileSize, view.u64be(kBackingOffsetField).value_or(0), view.u32be(kBackingSizeField).value_or(0));
  ClusterImage image(std::move(file), fileSize, std::move(*layout));
  auto reader = std::unique_ptr<QcowReader>(
      new QcowReader(std::move(image), header.version, header.clusterBits, header.incompatible));
  reader->backingName_ = std::move(backingName);
  return {OpenResult::Opened, std::move(reader), {}};
}

int QcowReader::ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) { return image_.ReadSector(sector, out); }

int QcowReader::ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) {
  return image_.ReadRun(firstSector, count, out);
}

bool QcowReader::LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) {
  return image_.LookRun(firstSector, count, look);
}

AllocationRun QcowReader::allocationAt(std::uint64_t sector) const { return image_.allocationAt(sector); }

VirtualDiskFacts QcowReader::facts() const {
  VirtualDiskFacts facts;
  facts.diskSizeBytes = image_.diskSize();
  facts.inventorySizeBytes = image_.diskSize();
  facts.mediaTypeText = "Virtual File QCOW";
  facts.diskTypeText = "QEMU Copy-On-Write";
  if (!backingName_.empty()) facts.backingChain.push_back(backingName_);
  return facts;
}

}  // namespace korv
