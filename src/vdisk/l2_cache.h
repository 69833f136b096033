// Two-level cluster tables, shared by the QCOW and QED readers.
//
// Both formats cut the disk into clusters and map a cluster through a
// level-1 table, held in memory, to a level-2 table read on demand, whose
// entry says where the cluster lies in the file. The formats differ only in
// their headers and in what a level-2 entry means; the readers parse the
// header and decode entries, and ClusterImage does the rest: the level-2
// cache, the mapping, serving runs of sectors and the allocation status.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <span>
#include <map>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/inflate.h"
#include "platform/read_buffer.h"
#include "storage/virtual_disk.h"
#include "vdisk/stretch_reader.h"

namespace korv {

inline constexpr std::uint64_t kL2CacheCapBytes = 2 * 1024 * 1024;

enum class TableByteOrder { Little, Big };

// Tables read from disk files on demand, with their entries in host order:
// the level-2 tables of QCOW and QED and the grain tables of VMDK. A table is
// known by a key: the file it comes from (a number the reader chooses, 0 for
// a reader of one file) and its offset there. The tables together take at
// most the cap in file bytes; when a new table would pass it, the least
// recently used tables nobody holds are dropped. A table larger than the cap
// on its own is still served when the cache holds nothing else.
class L2Cache {
 public:
  struct TableKey {
    std::uint64_t file = 0;
    std::uint64_t offset = 0;
    auto operator<=>(const TableKey&) const = default;
  };

 private:
  struct Node {
    TableKey key;
    std::uint64_t bytes = 0;
    std::uint32_t uses = 0;
    std::vector<std::uint64_t> entries;
  };

 public:
  // A fetched table. It stays cached and is not reused while the lease
  // lives; the use count drops when the lease ends, on every path.
  class Lease {
   public:
    Lease() = default;
    ~Lease() { Release(); }
    Lease(Lease&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
    Lease& operator=(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    explicit operator bool() const { return node_ != nullptr; }
    std::size_t size() const { return node_ ? node_->entries.size() : 0; }
    // The entry at `index`; 0 (unallocated) beyond the table.
    std::uint64_t entry(std::uint64_t index) const {
      return node_ && index < node_->entries.size() ? node_->entries[static_cast<std::size_t>(index)] : 0;
    }

   private:
    friend class L2Cache;
    explicit Lease(Node* node) : node_(node) {}
    void Release();
    Node* node_ = nullptr;
  };

  // A cache of tables of `tableBytes` bytes each (unless a fetch names
  // another size), whose entries are `entryBytes` (4 or 8) wide and stored
  // in `order`.
  L2Cache(std::uint64_t tableBytes, TableByteOrder order, std::uint64_t capBytes = kL2CacheCapBytes,
          std::uint32_t entryBytes = 8)
      : capBytes_(capBytes), tableBytes_(tableBytes), order_(order), entryBytes_(entryBytes) {}

  // The table at file offset `offset` of the one file: cached, or read from
  // `file` (whose size is `fileSize`). An empty lease when the table does not
  // lie wholly inside the file, cannot be read, or no room can be made for it.
  Lease Fetch(ReadHandle& file, std::uint64_t fileSize, std::uint64_t offset) {
    return Fetch(file, fileSize, TableKey{0, offset}, tableBytes_);
  }
  // The same for a table of `tableBytes` bytes at `key`.
  Lease Fetch(ReadHandle& file, std::uint64_t fileSize, TableKey key, std::uint64_t tableBytes);
  // The table at `key` when it is cached; an empty lease otherwise.
  Lease Cached(TableKey key);

  std::size_t tableCount() const { return byKey_.size(); }
  std::uint64_t cachedBytes() const { return cachedBytes_; }
  bool holds(std::uint64_t offset) const { return byKey_.count(TableKey{0, offset}) != 0; }
  // How many leases of the table at `offset` are alive (0 when not cached).
  std::uint32_t usesOf(std::uint64_t offset) const;

 private:
  using NodeList = std::list<Node>;

  Lease Hit(NodeList::iterator node);
  // A node for a new table of `bytes`, made room for by dropping the least
  // recently used free tables; recency_.end() when no room can be made.
  NodeList::iterator TakeNode(std::uint64_t bytes);
  NodeList::iterator LeastRecentlyUsedFree();
  void Unlink(NodeList::iterator node);
  std::uint64_t EntryAt(const ByteView& view, std::size_t index) const;

  std::uint64_t capBytes_;
  std::uint64_t tableBytes_;
  TableByteOrder order_;
  std::uint32_t entryBytes_;
  std::uint64_t cachedBytes_ = 0;
  NodeList recency_;  // most recently used first
  std::map<TableKey, NodeList::iterator> byKey_;
  ReadBuffer raw_;  // the bytes of the table being read
};

// What one level-2 entry says about its cluster.
struct ClusterEntry {
  enum class Kind {
    Unallocated,  // reads as zeros (no backing file is ever opened)
    Zeros,        // a cluster marked as reading zeros
    Data,         // the cluster lies at `fileOffset`
    Compressed,   // raw deflate data of `length` bytes at `fileOffset`
  };
  Kind kind = Kind::Unallocated;
  std::uint64_t fileOffset = 0;
  std::uint64_t length = 0;
};

// The layout a reader found in its header.
struct ClusterLayout {
  std::uint32_t clusterBits = 0;  // cluster size = 2^clusterBits
  std::uint32_t l2Bits = 0;       // entries per level-2 table = 2^l2Bits
  std::uint64_t l2Bytes = 0;      // bytes a level-2 table takes in the file
  std::uint64_t diskSize = 0;     // bytes; sectors past it read as zeros and fail
  TableByteOrder byteOrder = TableByteOrder::Big;
  std::vector<std::uint64_t> l1Table;  // level-2 table offsets, flags cleared; 0 = none
  std::function<ClusterEntry(std::uint64_t)> decode;  // a level-2 entry, as stored
};

// A disk served through two-level cluster tables.
//
// Each sector reads alone as follows: past the disk size, beyond the
// level-1 table, or when its level-2 table cannot be read: zeros and
// failure. Unallocated and zero clusters: zeros and success. A data cluster:
// the sector at its mapped place in the file, failing when that lies (even
// partly) past the end of the file. A compressed cluster: its sector of the
// inflated cluster, failing when the cluster does not inflate whole.
class ClusterImage {
 public:
  // Takes over an open file and the layout read from its header; the
  // layout's values must have been checked by the caller.
  ClusterImage(std::unique_ptr<File> file, std::uint64_t fileSize, ClusterLayout layout);

  std::uint64_t diskSize() const { return layout_.diskSize; }
  std::uint64_t diskSectors() const { return layout_.diskSize / kVirtualSectorBytes; }
  std::uint64_t clusterBytes() const { return std::uint64_t{1} << layout_.clusterBits; }
  std::uint64_t l1Count() const { return layout_.l1Table.size(); }
  const L2Cache& cache() const { return cache_; }

  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out);
  int ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out);
  bool LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look);
  AllocationRun allocationAt(std::uint64_t sector) const;

 private:
  // Where a stretch of virtual sectors is served from.
  enum class Source { File, Zeros, Missing, Compressed };
  struct Mapping {
    Mapping() = default;
    Mapping(Source from, std::uint64_t count, std::uint64_t offset = 0)
        : source(from), sectors(count), fileOffset(offset) {}

    Source source = Source::Missing;
    std::uint64_t sectors = 0;
    std::uint64_t fileOffset = 0;  // File: where the first sector lies
    ClusterEntry compressed;       // Compressed: the cluster
    std::uint64_t inCluster = 0;   // Compressed: byte offset of the first sector in it
  };
  // The level-2 table that covers a cluster, and the cluster's index in it.
  struct TableLookup {
    enum class State { Beyond, NoTable, Failed, Loaded } state = State::Beyond;
    L2Cache::Lease table;
    std::uint64_t index = 0;
  };

  TableLookup LookUp(std::uint64_t cluster) const;
  ReadOutcome ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out);
  Stretch MapStretch(std::uint64_t sector, std::uint64_t limit) const;
  Mapping Locate(std::uint64_t sector, std::uint64_t limit) const;
  Mapping LocateInTable(const TableLookup& lookup, std::uint64_t sector, std::uint64_t limit) const;
  Mapping WithinFile(std::uint64_t fileOffset, std::uint64_t sectors, std::uint64_t firstSpan) const;
  bool ServeCompressed(const Mapping& stretch, std::span<std::uint8_t> out);
  const std::vector<std::uint8_t>* Inflated(const ClusterEntry& cluster);

  std::unique_ptr<File> file_;
  std::uint64_t fileSize_ = 0;
  ClusterLayout layout_;
  mutable L2Cache cache_;

  // The last compressed cluster inflated, by its file offset.
  InflatedBlock inflated_;
};

}  // namespace korv
