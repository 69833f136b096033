#include "vdisk/vhd.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/bytes.h"
#include "platform/read_buffer.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSector = kVirtualSectorBytes;
constexpr std::uint32_t kMinBlockSize = 4096;
constexpr std::string_view kFooterCookie = "conectix";
constexpr std::string_view kHeaderCookie = "cxsparse";
constexpr std::uint64_t kParentNameOffset = 64;
constexpr std::uint64_t kMaxMergedBlocks = 65536;

using FooterBytes = std::array<std::uint8_t, kVhdFooterBytes>;

// The footer: the last 512 bytes, or the copy at the front when the end does
// not hold one (a file cut short or damaged at its end).
std::optional<FooterBytes> FindFooter(File& file, std::uint64_t fileSize) {
  if (fileSize < kVhdFooterBytes) return std::nullopt;
  FooterBytes bytes{};
  if (file.ReadExactAt(fileSize - kVhdFooterBytes, bytes) && ByteView(bytes).matches(0, kFooterCookie)) return bytes;
  if (file.ReadExactAt(0, bytes) && ByteView(bytes).matches(0, kFooterCookie)) return bytes;
  return std::nullopt;
}

VhdFooter ParseFooter(ByteView bytes) {
  VhdFooter footer;
  footer.features = bytes.u32be(8).value_or(0);
  footer.formatVersion = bytes.u32be(12).value_or(0);
  footer.dataOffset = bytes.u64be(16).value_or(0);
  footer.timeStamp = bytes.u32be(24).value_or(0);
  for (std::uint64_t i = 28; i < 32; ++i) footer.creatorApplication.push_back(static_cast<char>(bytes.u8(i).value_or(0)));
  footer.creatorVersion = bytes.u32be(32).value_or(0);
  footer.creatorHostOs = bytes.u32be(36).value_or(0);
  footer.originalSize = bytes.u64be(40).value_or(0);
  footer.currentSize = bytes.u64be(48).value_or(0);
  footer.cylinders = bytes.u16be(56).value_or(0);
  footer.heads = bytes.u8(58).value_or(0);
  footer.sectorsPerTrack = bytes.u8(59).value_or(0);
  footer.diskType = bytes.u32be(60).value_or(0);
  footer.checksum = bytes.u32be(64).value_or(0);
  return footer;
}

// Bit i of a block bitmap is bit (7 - i mod 8) of byte i / 8: the first
// sector is the high bit of the first byte.
bool BitAt(const ReadBuffer& bitmap, std::uint64_t index) {
  const std::uint64_t byte = index / 8;
  if (byte >= bitmap.size()) return false;
  return (bitmap[static_cast<std::size_t>(byte)] >> (7 - index % 8)) & 1u;
}

// How many sectors from `index` on share the bit of `index`, at most `limit`.
std::uint64_t RunOfSameBit(const ReadBuffer& bitmap, std::uint64_t index, std::uint64_t limit) {
  const bool bit = BitAt(bitmap, index);
  std::uint64_t run = 1;
  while (run < limit && BitAt(bitmap, index + run) == bit) ++run;
  return run;
}


}  // namespace

// ---------------------------------------------------------------------------
// Opening

OpenAttempt<VhdReader> VhdReader::Open(const fs::path& path) {
  auto file = File::OpenReadOnly(path);
  if (!file) return CannotOpen(kReasonCannotOpenFile);
  const std::uint64_t fileSize = file->Size();

  const auto footerBytes = FindFooter(*file, fileSize);
  if (!footerBytes) return NotThisFormat("no VHD footer");
  const VhdFooter footer = ParseFooter(ByteView(*footerBytes));
  std::unique_ptr<VhdReader> reader(new VhdReader(std::move(file), fileSize, footer));
  reader->path_ = path;
  switch (footer.diskType) {
    case kVhdFixed: return Conclude(std::move(reader), kOpenedVerdict);
    case kVhdDynamic:
    case kVhdDifferencing: {
      const OpenVerdict verdict = reader->LoadDynamicHeader();
      return Conclude(std::move(reader), verdict);
    }
    default: return Damaged("unknown disk type");
  }
}

OpenVerdict VhdReader::LoadDynamicHeader() {
  if (!RangeFits(fileSize_, footer_.dataOffset, kVhdDynamicHeaderBytes)) return Damaged("dynamic header beyond the file");
  std::array<std::uint8_t, kVhdDynamicHeaderBytes> bytes{};
  if (!file_->ReadExactAt(footer_.dataOffset, bytes)) return Damaged("dynamic header unreadable");

  const ByteView view(bytes);
  // Without its header the disk has no block size: nothing of it can be read.
  if (!view.matches(0, kHeaderCookie)) return Damaged("no dynamic header cookie");
  header_.tableOffset = view.u64be(16).value_or(0);
  header_.headerVersion = view.u32be(24).value_or(0);
  header_.maxTableEntries = view.u32be(28).value_or(0);
  header_.blockSize = view.u32be(32).value_or(0);
  header_.parentName = ReadUtf16(view, kParentNameOffset, kVhdParentNameUnits, /*bigEndian=*/true);

  if (!IsPowerOfTwo(header_.blockSize) || header_.blockSize < kMinBlockSize) return Damaged("block size out of range");
  sectorsPerBlock_ = header_.blockSize / kVirtualSectorBytes;
  bitmapBytes_ = header_.blockSize / 4096;  // one bit per sector
  bitmapSectors_ = static_cast<std::uint32_t>((bitmapBytes_ + kSector - 1) / kSector);
  return LoadBlockTable();
}

OpenVerdict VhdReader::LoadBlockTable() {
  // The table must lie inside the file before anything is allocated for it,
  // so a damaged count can never ask for more memory than the file holds.
  const std::uint64_t tableBytes = std::uint64_t{header_.maxTableEntries} * 4;
  if (!RangeFits(fileSize_, header_.tableOffset, tableBytes)) return Damaged("block table beyond the file");

  ReadBuffer bytes(static_cast<std::size_t>(tableBytes));
  if (!file_->ReadExactAt(header_.tableOffset, bytes)) return Damaged("block table unreadable");
  const ByteView view(bytes);
  blockTable_.resize(header_.maxTableEntries);
  for (std::uint32_t i = 0; i < header_.maxTableEntries; ++i) {
    blockTable_[i] = view.u32be(std::uint64_t{i} * 4).value_or(kVhdUnallocated);
  }
  return kOpenedVerdict;
}

std::uint32_t VhdReader::tableEntry(std::uint64_t block) const {
  if (block >= blockTable_.size()) return kVhdUnallocated;
  return blockTable_[static_cast<std::size_t>(block)];
}

// ---------------------------------------------------------------------------
// Reading

// Sectors this disk does not hold come from the parent, joined into one
// request per stretch.
ReadOutcome VhdReader::ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out) {
  return ReadStretches(
      sector, count, out, MapOf(),
      [this](const Stretch& stretch, std::uint64_t first, std::span<std::uint8_t> part) {
        if (parent_) return parent_->ReadSpan(first, stretch.sectors, part);
        ZeroSectors(part);
        return ReadOutcome{false, false};
      });
}

Stretch VhdReader::MapStretch(std::uint64_t sector, std::uint64_t limit) const {
  if (footer_.diskType == kVhdFixed) return FixedStretchAt(sector, limit);
  return BlockStretchAt(sector, limit);
}

// A fixed disk is its data and then the footer, which is not disk data.
Stretch VhdReader::FixedStretchAt(std::uint64_t sector, std::uint64_t limit) const {
  const std::uint64_t dataSectors = (fileSize_ - kVhdFooterBytes) / kSector;
  if (sector >= dataSectors) return {StretchKind::Missing, limit};
  return {StretchKind::File, std::min(limit, dataSectors - sector), file_.get(), sector * kSector};
}

Stretch VhdReader::BlockStretchAt(std::uint64_t sector, std::uint64_t limit) const {
  if (sectorsPerBlock_ == 0) return {StretchKind::Missing, limit};
  const std::uint64_t block = sector / sectorsPerBlock_;
  const std::uint64_t index = sector % sectorsPerBlock_;
  // Every later block of the request lies beyond the table too.
  if (block >= blockTable_.size()) return {StretchKind::Missing, limit};

  const std::uint64_t span = std::min<std::uint64_t>(limit, sectorsPerBlock_ - index);
  const std::uint32_t entry = blockTable_[static_cast<std::size_t>(block)];
  const bool differencing = footer_.diskType == kVhdDifferencing;
  // The parent is served by this reader: an Other stretch.
  if (entry == kVhdUnallocated) return {differencing ? StretchKind::Other : StretchKind::Zeros, span};

  const std::uint64_t dataOffset = (std::uint64_t{entry} + bitmapSectors_ + index) * kSector;
  // A dynamic disk holds every sector of an allocated block; only a
  // differencing disk's bitmap decides between child and parent.
  if (!differencing) return {StretchKind::File, span, file_.get(), dataOffset};

  const auto* bitmap = BitmapOf(block);
  if (!bitmap) return {StretchKind::Missing, span};
  const std::uint64_t run = RunOfSameBit(*bitmap, index, span);
  if (BitAt(*bitmap, index)) return {StretchKind::File, run, file_.get(), dataOffset};
  return {StretchKind::Other, run};
}

const ReadBuffer* VhdReader::BitmapOf(std::uint64_t block) const {
  if (bitmapValid_ && bitmapBlock_ == block) return &bitmap_;
  bitmapValid_ = false;
  bitmap_.resize(bitmapBytes_);
  const std::uint64_t offset = std::uint64_t{tableEntry(block)} * kSector;
  if (!file_->ReadExactAt(offset, bitmap_)) return nullptr;
  bitmapBlock_ = block;
  bitmapValid_ = true;
  return &bitmap_;
}

// ---------------------------------------------------------------------------
// What the inventory and the scans ask

VirtualDiskFacts VhdReader::facts() const {
  VirtualDiskFacts facts;
  facts.diskSizeBytes = footer_.currentSize;
  // The inventory records the size the geometry gives, unless the geometry is
  // capped (disks past about 127 GB) and would cut the disk short.
  const std::uint64_t geometryBytes = std::uint64_t{footer_.cylinders} * footer_.heads * footer_.sectorsPerTrack * kSector;
  facts.inventorySizeBytes = std::max(geometryBytes, footer_.currentSize);
  facts.mediaTypeText = "Virtual File VHD";
  if (footer_.diskType == kVhdDifferencing) {
    facts.diskTypeText = "Differencing";
  } else if (footer_.diskType == kVhdDynamic) {
    facts.diskTypeText = "Dynamic";
  } else {
    facts.diskTypeText = "Fixed";
  }
  facts.geometry = DiskGeometryText{std::to_string(footer_.cylinders), std::to_string(footer_.heads),
                                    std::to_string(footer_.sectorsPerTrack)};
  for (const VhdReader* parent = parent_.get(); parent != nullptr; parent = parent->parent()) {
    facts.backingChain.push_back(parent->path_.string());
  }
  return facts;
}

AllocationRun VhdReader::allocationAt(std::uint64_t sector) const {
  // A dynamic disk's last block may reach past the disk's size: the stretch
  // ends with the disk, as callers count on.
  const std::uint64_t diskSectors = footer_.currentSize / kSector;
  if (sector >= diskSectors) return {true, 0};
  const AllocationRun run = blockAllocationAt(sector);
  // Sectors inside the disk that the file does not map (a fixed disk cut
  // short, a block table shorter than the disk) are left for the reads to
  // report: a stretch of none would stop every walk that trusts it to move on.
  if (run.sectors == 0) return {true, diskSectors - sector};
  return {run.allocated, std::min(run.sectors, diskSectors - sector)};
}

AllocationRun VhdReader::blockAllocationAt(std::uint64_t sector) const {
  if (footer_.diskType == kVhdFixed) {
    const std::uint64_t dataSectors = (fileSize_ - kVhdFooterBytes) / kSector;
    if (sector >= dataSectors) return {true, 0};
    return {true, dataSectors - sector};
  }
  if (sectorsPerBlock_ == 0) return {true, 0};
  const std::uint64_t block = sector / sectorsPerBlock_;
  if (block >= blockTable_.size()) return {true, 0};
  const std::uint64_t rest = sectorsPerBlock_ - sector % sectorsPerBlock_;

  if (footer_.diskType == kVhdDynamic) {
    // Neighbouring blocks in the same state make one longer stretch, up to a
    // bound, so that a scan asking block after block never walks the whole
    // table each time.
    const bool allocated = blockTable_[static_cast<std::size_t>(block)] != kVhdUnallocated;
    const std::uint64_t lastBlock = std::min<std::uint64_t>(blockTable_.size(), block + kMaxMergedBlocks);
    std::uint64_t sectors = rest;
    for (std::uint64_t next = block + 1;
         next < lastBlock && (blockTable_[static_cast<std::size_t>(next)] != kVhdUnallocated) == allocated;
         ++next) {
      sectors += sectorsPerBlock_;
    }
    return {allocated, sectors};
  }

  // Differencing: what the child holds is allocated; the rest is as the
  // parent has it.
  std::uint64_t inParent = rest;
  if (blockTable_[static_cast<std::size_t>(block)] != kVhdUnallocated) {
    const auto* bitmap = BitmapOf(block);
    if (!bitmap) return {true, rest};  // let the read find the fault
    const std::uint64_t index = sector % sectorsPerBlock_;
    const std::uint64_t run = RunOfSameBit(*bitmap, index, rest);
    if (BitAt(*bitmap, index)) return {true, run};
    inParent = run;
  }
  if (!parent_) return {false, inParent};
  const AllocationRun fromParent = parent_->allocationAt(sector);
  if (fromParent.sectors == 0) return {false, inParent};
  return {fromParent.allocated, std::min(fromParent.sectors, inParent)};
}

// ---------------------------------------------------------------------------
// The parent chain

namespace {

// The same file, or the same place in the tree for a name that does not
// exist: a parent named by a path not yet on disk still matches the level of
// the chain it would be.
bool NamesSamePlace(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  const fs::path canonicalA = fs::weakly_canonical(a, ec);
  if (ec) return false;
  const fs::path canonicalB = fs::weakly_canonical(b, ec);
  return !ec && canonicalA == canonicalB;
}

bool IsInChain(const fs::path& candidate, const std::vector<fs::path>& chain) {
  return std::any_of(chain.begin(), chain.end(),
                     [&](const fs::path& level) { return NamesSamePlace(candidate, level); });
}

ParentOutcome OutcomeOfOpen(OpenResult result) {
  switch (result) {
    case OpenResult::Opened: return ParentOutcome::Ready;
    case OpenResult::CannotOpen: return ParentOutcome::Locked;
    case OpenResult::NotThisFormat:
    case OpenResult::Damaged: break;
  }
  return ParentOutcome::Damaged;
}

// Opens the parent of `child` (the last file of `chain`) and, when that is
// differencing too, its own parents; the opened chain goes to `out`.
ParentOutcome OpenParentChain(const VhdReader& child, std::vector<fs::path>& chain, std::unique_ptr<VhdReader>& out) {
  const auto path = FindStoredFile(Utf16ToUtf8(child.parentName()), chain.back());
  if (!path) return ParentOutcome::NotFound;
  if (IsInChain(*path, chain) || chain.size() >= static_cast<std::size_t>(kVhdMaxChainDepth)) {
    return ParentOutcome::Damaged;
  }

  OpenAttempt<VhdReader> attempt = VhdReader::Open(*path);
  const ParentOutcome opened = OutcomeOfOpen(attempt.result);
  if (opened != ParentOutcome::Ready) return opened;
  std::unique_ptr<VhdReader> parent = std::move(attempt.reader);

  if (parent->isDifferencing()) {
    chain.push_back(*path);
    std::unique_ptr<VhdReader> grandparent;
    const ParentOutcome below = OpenParentChain(*parent, chain, grandparent);
    if (below != ParentOutcome::Ready) return below;
    parent->AttachParent(std::move(grandparent));
  }
  out = std::move(parent);
  return ParentOutcome::Ready;
}

}  // namespace

ParentOutcome ResolveVhdParent(VhdReader& child, const fs::path& childPath) {
  child.AttachParent(nullptr);
  if (!child.isDifferencing()) return ParentOutcome::Ready;
  std::vector<fs::path> chain{childPath};
  std::unique_ptr<VhdReader> parent;
  const ParentOutcome outcome = OpenParentChain(child, chain, parent);
  if (outcome == ParentOutcome::Ready) child.AttachParent(std::move(parent));
  return outcome;
}

}  // namespace korv
