#include "vdisk/vdi.h"

#include <algorithm>
#include <array>
#include <limits>

#include "platform/bytes.h"
#include "platform/read_buffer.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSector = kVirtualSectorBytes;
constexpr std::uint32_t kOldVersion = 2;  // the pre-1.0 header layout
constexpr std::uint32_t kMajorVersion1 = 1;

bool IsKnownVersion(std::uint32_t version) { return version >> 16 == kMajorVersion1 || version == kOldVersion; }

// `bytes` start at byte 72, just after the pre-header's version.
VdiHeader ParseHeader(std::uint32_t version, ByteView bytes) {
  VdiHeader header;
  header.version = version;
  header.headerSize = bytes.u32le(0).value_or(0);
  header.imageType = bytes.u32le(4).value_or(0);
  header.flags = bytes.u32le(8).value_or(0);
  header.blockMapOffset = bytes.u32le(268).value_or(0);
  header.dataOffset = bytes.u32le(272).value_or(0);
  header.diskSize = bytes.u64le(296).value_or(0);
  header.blockSize = bytes.u32le(304).value_or(0);
  header.blockExtra = bytes.u32le(308).value_or(0);
  header.blocks = bytes.u32le(312).value_or(0);
  header.allocatedBlocks = bytes.u32le(316).value_or(0);
  return header;
}

}  // namespace

// ---------------------------------------------------------------------------
// Opening

OpenAttempt<VdiReader> VdiReader::Open(const fs::path& path) {
  auto file = File::OpenReadOnly(path);
  if (!file) return CannotOpen(kReasonCannotOpenFile);
  const std::uint64_t fileSize = file->Size();

  std::array<std::uint8_t, kVdiPreHeaderBytes> preHeader{};
  const ByteView view(preHeader);
  const bool recognised = file->ReadExactAt(0, preHeader) && view.u32le(64) == kVdiSignature &&
                          IsKnownVersion(view.u32le(68).value_or(0));
  if (!recognised) return NotThisFormat("no VDI signature");
  std::unique_ptr<VdiReader> reader(new VdiReader(std::move(file), fileSize));
  OpenVerdict verdict = reader->LoadHeader(view.u32le(68).value_or(0));
  if (verdict.result == OpenResult::Opened) verdict = reader->LoadBlockMap();
  return Conclude(std::move(reader), verdict);
}

OpenVerdict VdiReader::LoadHeader(std::uint32_t version) {
  std::array<std::uint8_t, kVdiLongHeaderBytes> bytes{};
  const auto shortHeader = std::span(bytes).first(kVdiHeaderBytes);
  if (!file_->ReadExactAt(kVdiPreHeaderBytes, shortHeader)) return Damaged("header cut short");
  header_ = ParseHeader(version, ByteView(shortHeader));
  // The fields read sit in the first 384 bytes; a longer header must still
  // be there whole.
  if (header_.headerSize >= kVdiLongHeaderBytes && !file_->ReadExactAt(kVdiPreHeaderBytes, bytes)) {
    return Damaged("header cut short");
  }
  if (const std::string_view fault = HeaderFault(); !fault.empty()) return Damaged(fault);

  imageFlags_ = header_.flags << 8;
  if (header_.imageType == kVdiTypeFixed) imageFlags_ |= kVdiFlagFixed;
  if (header_.imageType == kVdiTypeDifferencing) imageFlags_ |= kVdiFlagDifferencing;
  blockStride_ = std::uint64_t{header_.blockExtra} + header_.blockSize;
  return kOpenedVerdict;
}

// Old (major version 0) headers have another layout and fail here too.
std::string_view VdiReader::HeaderFault() const {
  const VdiHeader& h = header_;
  if (h.version >> 16 != kMajorVersion1) return "unsupported header version";
  if (h.headerSize < kVdiHeaderBytes) return "header size too small";
  if (h.blockMapOffset < kVdiMinBlockMapOffset) return "block map inside the header";
  // Blocks hold whole sectors, and together they cover the disk.
  if (!IsPowerOfTwo(h.blockSize) || h.blockSize < kSector) return "block size out of range";
  if (std::uint64_t{h.blocks} * h.blockSize < h.diskSize) return "blocks do not cover the disk";
  if (h.dataOffset < std::uint64_t{h.blockMapOffset} + std::uint64_t{h.blocks} * 4) return "data overlaps the block map";
  return {};
}

// The map must lie inside the file before anything is allocated for it, so
// a damaged block count can never ask for more memory than the file holds.
OpenVerdict VdiReader::LoadBlockMap() {
  const std::uint64_t mapBytes = std::uint64_t{header_.blocks} * 4;
  if (!RangeFits(fileSize_, header_.blockMapOffset, mapBytes)) return Damaged("block map beyond the file");
  ReadBuffer bytes(static_cast<std::size_t>(mapBytes));
  if (!file_->ReadExactAt(header_.blockMapOffset, bytes)) return Damaged("block map unreadable");
  const ByteView view(bytes);
  blockMap_.resize(header_.blocks);
  for (std::uint32_t i = 0; i < header_.blocks; ++i) blockMap_[i] = view.u32le(std::uint64_t{i} * 4).value_or(kVdiBlockFree);
  return kOpenedVerdict;
}

std::uint32_t VdiReader::blockMapEntry(std::uint64_t block) const {
  if (block >= blockMap_.size()) return kVdiBlockFree;
  return blockMap_[static_cast<std::size_t>(block)];
}

std::uint64_t VdiReader::diskSectors() const { return header_.diskSize / kSector; }

// ---------------------------------------------------------------------------
// Reading


StretchKind VdiReader::SourceOfEntry(std::uint32_t entry) const {
  if (entry == kVdiBlockZero) return StretchKind::Zeros;
  // A differencing disk's unwritten block is its parent's, which we lack.
  if (entry == kVdiBlockFree) return header_.imageType == kVdiTypeDifferencing ? StretchKind::Missing : StretchKind::Zeros;
  // The data area holds at most one slot per block of the disk.
  if (entry >= header_.blocks) return StretchKind::Missing;
  return StretchKind::File;
}

Stretch VdiReader::MapStretch(std::uint64_t sector, std::uint64_t limit) const {
  const std::uint64_t end = diskSectors();
  // Every later sector of the request lies past the end too.
  if (sector >= end) return {StretchKind::Missing, limit};

  const std::uint64_t diskOffset = sector * kSector;
  const std::uint64_t block = diskOffset / header_.blockSize;
  const std::uint64_t inBlock = diskOffset % header_.blockSize;
  const std::uint64_t span = std::min({limit, end - sector, (header_.blockSize - inBlock) / kSector});
  const std::uint32_t entry = blockMapEntry(block);
  const StretchKind source = SourceOfEntry(entry);
  if (source != StretchKind::File) return {source, span};

  // A damaged map and header can place a block beyond 2^64 bytes.
  const auto blockStart = CheckedMul(entry, blockStride_);
  const auto fileOffset = blockStart ? CheckedAdd(*blockStart, std::uint64_t{header_.dataOffset} + header_.blockExtra)
                                     : std::nullopt;
  if (!fileOffset || !CheckedAdd(*fileOffset, header_.blockSize)) return {StretchKind::Missing, span};
  return {StretchKind::File, span, file_.get(), *fileOffset + inBlock};
}

// ---------------------------------------------------------------------------
// What the inventory and the scans ask

VirtualDiskFacts VdiReader::facts() const {
  VirtualDiskFacts facts;
  facts.diskSizeBytes = header_.diskSize;
  facts.inventorySizeBytes = header_.diskSize;
  facts.mediaTypeText = "Virtual File VDI";
  if (imageFlags_ == kVdiFlagDifferencing) {
    facts.diskTypeText = "Differencing";
  } else if (imageFlags_ != 0) {
    facts.diskTypeText = "Fixed";
  } else {
    facts.diskTypeText = "Dynamic";
  }
  return facts;
}

// Blocks that read as zeros without a file read are holes; blocks read from
// the file, and blocks whose reads fail, are not, so a scan meets the failure.
AllocationRun VdiReader::allocationAt(std::uint64_t sector) const {
  const std::uint64_t end = diskSectors();
  if (sector >= end) return {true, 0};
  const std::uint64_t sectorsPerBlock = header_.blockSize / kSector;
  const auto isHole = [&](std::uint64_t block) { return SourceOfEntry(blockMapEntry(block)) == StretchKind::Zeros; };

  std::uint64_t block = sector / sectorsPerBlock;
  const bool hole = isHole(block);
  std::uint64_t sectors = sectorsPerBlock - sector % sectorsPerBlock;
  // Neighbouring blocks in the same state make one longer stretch.
  while (sectors < end - sector && isHole(++block) == hole) sectors += sectorsPerBlock;
  return {!hole, std::min(sectors, end - sector)};
}

}  // namespace korv
