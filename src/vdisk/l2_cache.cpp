#include "vdisk/l2_cache.h"

#include <algorithm>
#include <limits>

#include "platform/bytes.h"
#include "platform/inflate.h"

namespace korv {

namespace {

constexpr std::uint64_t kSector = kVirtualSectorBytes;
// Stretches an allocation answer looks at before it answers with what it
// has, so that a disk of scattered clusters cannot make one answer slow.
constexpr int kMaxAllocationSteps = 4096;

bool ReadsAsZeros(ClusterEntry::Kind kind) {
  return kind == ClusterEntry::Kind::Unallocated || kind == ClusterEntry::Kind::Zeros;
}

}  // namespace

// ---------------------------------------------------------------------------
// L2Cache

L2Cache::Lease& L2Cache::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    Release();
    node_ = other.node_;
    other.node_ = nullptr;
  }
  return *this;
}

void L2Cache::Lease::Release() {
  if (node_ && node_->uses > 0) --node_->uses;
  node_ = nullptr;
}

void L2Cache::Reset(std::uint64_t tableBytes, TableByteOrder order) {
  byOffset_.clear();
  recency_.clear();
  cachedBytes_ = 0;
  tableBytes_ = tableBytes;
  order_ = order;
  raw_.clear();
  raw_.shrink_to_fit();
}

std::uint32_t L2Cache::usesOf(std::uint64_t offset) const {
  const auto found = byOffset_.find(offset);
  return found == byOffset_.end() ? 0 : found->second->uses;
}

L2Cache::Lease L2Cache::Hit(NodeList::iterator node) {
  if (node != recency_.begin()) recency_.splice(recency_.begin(), recency_, node);
  ++node->uses;
  return Lease(&*node);
}

L2Cache::NodeList::iterator L2Cache::TakeNode() {
  const bool fits = cachedBytes_ + tableBytes_ <= capBytes_;
  if (fits || recency_.empty()) {
    recency_.emplace_front();
    cachedBytes_ += tableBytes_;
    return recency_.begin();
  }
  for (auto node = recency_.end(); node != recency_.begin();) {
    --node;
    if (node->uses != 0) continue;
    byOffset_.erase(node->offset);
    recency_.splice(recency_.begin(), recency_, node);
    return recency_.begin();
  }
  return recency_.end();
}

void L2Cache::Unlink(NodeList::iterator node) {
  byOffset_.erase(node->offset);
  recency_.erase(node);
  cachedBytes_ -= std::min(cachedBytes_, tableBytes_);
}

L2Cache::Lease L2Cache::Fetch(ReadHandle& file, std::uint64_t fileSize, std::uint64_t offset) {
  if (const auto found = byOffset_.find(offset); found != byOffset_.end()) return Hit(found->second);
  // A table must lie inside the file before memory is spent on it.
  if (tableBytes_ == 0 || tableBytes_ % 8 != 0 || !RangeFits(fileSize, offset, tableBytes_)) return {};

  const auto node = TakeNode();
  if (node == recency_.end()) return {};
  node->offset = offset;
  node->uses = 0;
  raw_.resize(static_cast<std::size_t>(tableBytes_));
  if (!file.ReadExactAt(offset, raw_)) {
    // The node is not in byOffset_ yet; Unlink's erase finds nothing there.
    Unlink(node);
    return {};
  }

  const ByteView view(raw_);
  const std::size_t count = raw_.size() / 8;
  node->entries.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto value = order_ == TableByteOrder::Big ? view.u64be(i * 8) : view.u64le(i * 8);
    node->entries[i] = value.value_or(0);
  }
  byOffset_[offset] = node;
  return Hit(node);
}

// ---------------------------------------------------------------------------
// ClusterImage: opening

void ClusterImage::Reset() {
  file_.reset();
  fileSize_ = 0;
  layout_ = {};
  cache_.Reset();
  inflated_.clear();
  inflated_.shrink_to_fit();
  deflated_.clear();
  deflated_.shrink_to_fit();
  inflatedOffset_ = 0;
  inflatedValid_ = false;
}

void ClusterImage::Attach(std::unique_ptr<File> file, std::uint64_t fileSize, ClusterLayout layout) {
  Reset();
  file_ = std::move(file);
  fileSize_ = fileSize;
  layout_ = std::move(layout);
  cache_.Reset(layout_.l2Bytes, layout_.byteOrder);
}

// ---------------------------------------------------------------------------
// ClusterImage: mapping

ClusterImage::TableLookup ClusterImage::LookUp(std::uint64_t cluster) const {
  TableLookup lookup;
  const std::uint64_t l1Index = cluster >> layout_.l2Bits;
  lookup.index = cluster & ((std::uint64_t{1} << layout_.l2Bits) - 1);
  if (l1Index >= layout_.l1Table.size()) return lookup;  // Beyond

  const std::uint64_t tableOffset = layout_.l1Table[static_cast<std::size_t>(l1Index)];
  if (tableOffset == 0) {
    lookup.state = TableLookup::State::NoTable;
    return lookup;
  }
  lookup.table = cache_.Fetch(*file_, fileSize_, tableOffset);
  lookup.state = lookup.table ? TableLookup::State::Loaded : TableLookup::State::Failed;
  return lookup;
}

ClusterImage::Mapping ClusterImage::Locate(std::uint64_t sector, std::uint64_t limit) const {
  const std::uint64_t diskSectors = this->diskSectors();
  if (sector >= diskSectors) return {Source::Missing, limit};
  limit = std::min(limit, diskSectors - sector);

  const std::uint64_t sectorsPerCluster = clusterBytes() / kSector;
  const std::uint64_t cluster = sector / sectorsPerCluster;
  const TableLookup lookup = LookUp(cluster);
  const std::uint64_t entriesLeft = (std::uint64_t{1} << layout_.l2Bits) - lookup.index;
  const std::uint64_t tableSpan = std::min(limit, entriesLeft * sectorsPerCluster - sector % sectorsPerCluster);

  switch (lookup.state) {
    case TableLookup::State::Beyond: return {Source::Missing, limit};  // later clusters lie beyond too
    case TableLookup::State::NoTable: return {Source::Zeros, tableSpan};
    case TableLookup::State::Failed: return {Source::Missing, tableSpan};
    case TableLookup::State::Loaded: break;
  }
  return LocateInTable(lookup, sector, tableSpan);
}

// The stretch from `sector` on within one level-2 table: neighbouring
// clusters that read as zeros, or that follow each other in the file, make
// one stretch.
ClusterImage::Mapping ClusterImage::LocateInTable(const TableLookup& lookup, std::uint64_t sector,
                                                  std::uint64_t limit) const {
  const std::uint64_t clusterBytes = this->clusterBytes();
  const std::uint64_t sectorsPerCluster = clusterBytes / kSector;
  const std::uint64_t inClusterSectors = sector % sectorsPerCluster;
  const std::uint64_t firstSpan = std::min(limit, sectorsPerCluster - inClusterSectors);
  const ClusterEntry first = layout_.decode(lookup.table.entry(lookup.index));

  if (first.kind == ClusterEntry::Kind::Compressed) {
    Mapping stretch{Source::Compressed, firstSpan};
    stretch.compressed = first;
    stretch.inCluster = inClusterSectors * kSector;
    return stretch;
  }

  const bool zeros = ReadsAsZeros(first.kind);
  const auto fileOffset = CheckedAdd(first.fileOffset, inClusterSectors * kSector);
  if (!zeros && !fileOffset) return {Source::Missing, firstSpan};

  std::uint64_t sectors = firstSpan;
  std::uint64_t clusterOffset = first.fileOffset;
  for (std::uint64_t index = lookup.index + 1; sectors < limit; ++index) {
    const ClusterEntry next = layout_.decode(lookup.table.entry(index));
    if (zeros) {
      if (!ReadsAsZeros(next.kind)) break;
    } else {
      const auto expected = CheckedAdd(clusterOffset, clusterBytes);
      if (next.kind != ClusterEntry::Kind::Data || !expected || next.fileOffset != *expected) break;
      clusterOffset = next.fileOffset;
    }
    sectors = std::min(limit, sectors + sectorsPerCluster);
  }
  if (zeros) return {Source::Zeros, sectors};
  return {Source::File, sectors, *fileOffset};
}

// ---------------------------------------------------------------------------
// ClusterImage: reading

int ClusterImage::ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) {
  return ReadSectorWith(isOpen(), sector, out, [this](auto... args) { return ReadSpan(args...); });
}

int ClusterImage::ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) {
  return ReadRunWith(isOpen(), firstSector, count, out, [this](auto... args) { return ReadSpan(args...); });
}

// Compressed clusters are served here; each is its own stretch.
ReadOutcome ClusterImage::ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out) {
  const unsigned clusterSectorBits = layout_.clusterBits - 9;
  const auto map = [this, clusterSectorBits](std::uint64_t at, std::uint64_t limit) -> Stretch {
    const Mapping mapped = Locate(at, limit);
    switch (mapped.source) {
      case Source::File: return {StretchKind::File, mapped.sectors, file_.get(), mapped.fileOffset};
      case Source::Zeros: return {StretchKind::Zeros, mapped.sectors};
      // Tagged with its virtual cluster, so that no stretch spans two.
      case Source::Compressed: return {StretchKind::Other, mapped.sectors, nullptr, 0, (at >> clusterSectorBits) + 1};
      case Source::Missing: break;
    }
    return {StretchKind::Missing, mapped.sectors};
  };
  const auto serveCompressed = [this](const Stretch& stretch, std::uint64_t first, std::span<std::uint8_t> part) {
    if (ServeCompressed(Locate(first, stretch.sectors), part)) return ReadOutcome{true, true};
    ZeroSectors(part);
    return ReadOutcome{false, false};
  };
  return ReadStretches(sector, count, out, map, serveCompressed);
}

bool ClusterImage::ServeCompressed(const Mapping& stretch, std::span<std::uint8_t> out) {
  if (!Inflated(stretch.compressed)) return false;
  if (!RangeFits(inflated_.size(), stretch.inCluster, out.size())) return false;
  std::copy_n(inflated_.begin() + static_cast<std::ptrdiff_t>(stretch.inCluster), out.size(), out.begin());
  return true;
}

// Inflates `cluster` into inflated_ unless it is there already. The stored
// length may run past the end of the file (the last cluster of a file is not
// padded); what the file holds of it is used.
bool ClusterImage::Inflated(const ClusterEntry& cluster) {
  if (inflatedValid_ && inflatedOffset_ == cluster.fileOffset) return true;
  inflatedValid_ = false;
  if (cluster.fileOffset >= fileSize_ || cluster.length == 0) return false;
  const std::uint64_t length = std::min(cluster.length, fileSize_ - cluster.fileOffset);
  // A compressed cluster never takes more than twice its inflated size.
  if (length > 2 * clusterBytes()) return false;

  deflated_.resize(static_cast<std::size_t>(length));
  if (!file_->ReadExactAt(cluster.fileOffset, deflated_)) return false;
  inflated_.resize(static_cast<std::size_t>(clusterBytes()));
  const auto produced = Inflate(deflated_, inflated_, DeflateWrapping::Raw);
  if (!produced || *produced != inflated_.size()) return false;
  inflatedOffset_ = cluster.fileOffset;
  inflatedValid_ = true;
  return true;
}

// ---------------------------------------------------------------------------
// ClusterImage: allocation status

AllocationRun ClusterImage::allocationAt(std::uint64_t sector) const {
  const std::uint64_t diskSectors = this->diskSectors();
  if (!isOpen() || sector >= diskSectors) return {true, 0};

  const std::uint64_t rest = diskSectors - sector;
  const Mapping first = Locate(sector, rest);
  // Sectors that fail to read count as allocated: the read reports them.
  const bool allocated = first.source != Source::Zeros;
  std::uint64_t sectors = std::max<std::uint64_t>(first.sectors, 1);
  for (int step = 0; step < kMaxAllocationSteps && sectors < rest; ++step) {
    const Mapping next = Locate(sector + sectors, rest - sectors);
    if ((next.source != Source::Zeros) != allocated || next.sectors == 0) break;
    sectors += next.sectors;
  }
  return {allocated, std::min(sectors, rest)};
}

}  // namespace korv
