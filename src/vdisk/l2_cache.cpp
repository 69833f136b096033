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

std::uint32_t L2Cache::usesOf(std::uint64_t offset) const {
  const auto found = byKey_.find(TableKey{0, offset});
  return found == byKey_.end() ? 0 : found->second->uses;
}

L2Cache::Lease L2Cache::Hit(NodeList::iterator node) {
  if (node != recency_.begin()) recency_.splice(recency_.begin(), recency_, node);
  ++node->uses;
  return Lease(&*node);
}

L2Cache::Lease L2Cache::Cached(TableKey key) {
  const auto found = byKey_.find(key);
  if (found == byKey_.end()) return {};
  return Hit(found->second);
}

L2Cache::NodeList::iterator L2Cache::LeastRecentlyUsedFree() {
  for (auto node = recency_.end(); node != recency_.begin();) {
    --node;
    if (node->uses == 0) return node;
  }
  return recency_.end();
}

L2Cache::NodeList::iterator L2Cache::TakeNode(std::uint64_t bytes) {
  bool dropped = false;
  while (cachedBytes_ + bytes > capBytes_) {
    const auto victim = LeastRecentlyUsedFree();
    if (victim == recency_.end()) break;
    byKey_.erase(victim->key);
    Unlink(victim);
    dropped = true;
  }
  // A table that does not fit even so takes the place of those dropped for
  // it, or stands alone in an empty cache.
  const bool room = cachedBytes_ + bytes <= capBytes_ || dropped || recency_.empty();
  if (!room) return recency_.end();
  recency_.emplace_front();
  recency_.front().bytes = bytes;
  cachedBytes_ += bytes;
  return recency_.begin();
}

// The node's key must already be out of byKey_ (or never have been in it).
void L2Cache::Unlink(NodeList::iterator node) {
  cachedBytes_ -= std::min(cachedBytes_, node->bytes);
  recency_.erase(node);
}

L2Cache::Lease L2Cache::Fetch(ReadHandle& file, std::uint64_t fileSize, TableKey key, std::uint64_t tableBytes) {
  if (Lease hit = Cached(key)) return hit;
  // A table must lie inside the file before memory is spent on it.
  if (tableBytes == 0 || tableBytes % entryBytes_ != 0 || !RangeFits(fileSize, key.offset, tableBytes)) return {};

  const auto node = TakeNode(tableBytes);
  if (node == recency_.end()) return {};
  node->key = key;
  node->uses = 0;
  raw_.resize(static_cast<std::size_t>(tableBytes));
  if (!file.ReadExactAt(key.offset, raw_)) {
    Unlink(node);
    return {};
  }

  const ByteView view(raw_);
  const std::size_t count = raw_.size() / entryBytes_;
  node->entries.resize(count);
  for (std::size_t i = 0; i < count; ++i) node->entries[i] = EntryAt(view, i);
  byKey_[key] = node;
  return Hit(node);
}

std::uint64_t L2Cache::EntryAt(const ByteView& view, std::size_t index) const {
  const std::uint64_t at = std::uint64_t{index} * entryBytes_;
  if (entryBytes_ == 4) {
    const auto value = order_ == TableByteOrder::Big ? view.u32be(at) : view.u32le(at);
    return value.value_or(0);
  }
  const auto value = order_ == TableByteOrder::Big ? view.u64be(at) : view.u64le(at);
  return value.value_or(0);
}

// ---------------------------------------------------------------------------
// ClusterImage: opening

ClusterImage::ClusterImage(std::unique_ptr<File> file, std::uint64_t fileSize, ClusterLayout layout)
    : file_(std::move(file)),
      fileSize_(fileSize),
      layout_(std::move(layout)),
      cache_(layout_.l2Bytes, layout_.byteOrder) {}

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
  return WithinFile(*fileOffset, sectors, firstSpan);
}

// A file stretch cut to the sectors that lie wholly inside the file: an entry
// may point anywhere, and every sector of a stretch must be checked, not
// just its first. When not even the first sector lies inside, the rest of
// the first cluster fails.
ClusterImage::Mapping ClusterImage::WithinFile(std::uint64_t fileOffset, std::uint64_t sectors,
                                               std::uint64_t firstSpan) const {
  const std::uint64_t sectorsInFile = fileOffset < fileSize_ ? (fileSize_ - fileOffset) / kSector : 0;
  if (sectorsInFile == 0) return {Source::Missing, firstSpan};
  return {Source::File, std::min(sectors, sectorsInFile), fileOffset};
}

// ---------------------------------------------------------------------------
// ClusterImage: reading

int ClusterImage::ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) {
  return ReadSectorWith(sector, out, [this](auto... args) { return ReadSpan(args...); });
}

int ClusterImage::ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) {
  return ReadRunWith(firstSector, count, out, [this](auto... args) { return ReadSpan(args...); });
}

bool ClusterImage::LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) {
  return LookStretches(
      firstSector, count, [this](std::uint64_t at, std::uint64_t limit) { return MapStretch(at, limit); }, look);
}

Stretch ClusterImage::MapStretch(std::uint64_t sector, std::uint64_t limit) const {
  const Mapping mapped = Locate(sector, limit);
  switch (mapped.source) {
    case Source::File: return {StretchKind::File, mapped.sectors, file_.get(), mapped.fileOffset};
    case Source::Zeros: return {StretchKind::Zeros, mapped.sectors};
    // Tagged with its virtual cluster, so that no stretch spans two.
    case Source::Compressed:
      return {StretchKind::Other, mapped.sectors, nullptr, 0, (sector >> (layout_.clusterBits - 9)) + 1};
    case Source::Missing: break;
  }
  return {StretchKind::Missing, mapped.sectors};
}

// Compressed clusters are served here; each is its own stretch.
ReadOutcome ClusterImage::ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out) {
  const auto map = [this](std::uint64_t at, std::uint64_t limit) { return MapStretch(at, limit); };
  const auto serveCompressed = [this](const Stretch& stretch, std::uint64_t first, std::span<std::uint8_t> part) {
    if (ServeCompressed(Locate(first, stretch.sectors), part)) return ReadOutcome{true, true};
    ZeroSectors(part);
    return ReadOutcome{false, false};
  };
  return ReadStretches(sector, count, out, map, serveCompressed);
}

bool ClusterImage::ServeCompressed(const Mapping& stretch, std::span<std::uint8_t> out) {
  const std::vector<std::uint8_t>* cluster = Inflated(stretch.compressed);
  if (!cluster || !RangeFits(cluster->size(), stretch.inCluster, out.size())) return false;
  std::copy_n(cluster->begin() + static_cast<std::ptrdiff_t>(stretch.inCluster), out.size(), out.begin());
  return true;
}

// The inflated cluster. The stored length may run past the end of the file
// (the last cluster of a file is not padded); what the file holds of it is
// used.
const std::vector<std::uint8_t>* ClusterImage::Inflated(const ClusterEntry& cluster) {
  const auto readDeflated = [&](ReadBuffer& deflated) -> std::optional<std::size_t> {
    if (cluster.fileOffset >= fileSize_ || cluster.length == 0) return std::nullopt;
    const std::uint64_t length = std::min(cluster.length, fileSize_ - cluster.fileOffset);
    // A compressed cluster never takes more than twice its inflated size.
    if (length > 2 * clusterBytes()) return std::nullopt;
    deflated.resize(static_cast<std::size_t>(length));
    if (!file_->ReadExactAt(cluster.fileOffset, deflated)) return std::nullopt;
    return static_cast<std::size_t>(clusterBytes());
  };
  return inflated_.Get({cluster.fileOffset, 0}, DeflateWrapping::Raw, /*whole=*/true, readDeflated);
}

// ---------------------------------------------------------------------------
// ClusterImage: allocation status

AllocationRun ClusterImage::allocationAt(std::uint64_t sector) const {
  const std::uint64_t diskSectors = this->diskSectors();
  if (sector >= diskSectors) return {true, 0};

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
