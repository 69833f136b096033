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
#include <unordered_map>
#include <vector>

#include "platform/file.h"
#include "storage/virtual_disk.h"
#include "vdisk/stretch_reader.h"

namespace korv {

inline constexpr std::uint64_t kL2CacheCapBytes = 2 * 1024 * 1024;

enum class TableByteOrder { Little, Big };

// Level-2 tables read from the file, with their entries in host order. The
// tables together take at most the cap; when a new table would pass it, the
// least recently used table nobody holds is reused. A table larger than the
// cap on its own is still served when the cache holds nothing else.
class L2Cache {
  struct Node {
    std::uint64_t offset = 0;
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

  explicit L2Cache(std::uint64_t capBytes = kL2CacheCapBytes) : capBytes_(capBytes) {}

  // Drops every table and sets the size and byte order of those to come.
  void Reset(std::uint64_t tableBytes = 0, TableByteOrder order = TableByteOrder::Big);

  // The table at file offset `offset`: cached, or read from `file` (whose
  // size is `fileSize`). An empty lease when the table does not lie wholly
  // inside the file, cannot be read, or no cached table is free for reuse.
  Lease Fetch(ReadHandle& file, std::uint64_t fileSize, std::uint64_t offset);

  std::size_t tableCount() const { return byOffset_.size(); }
  std::uint64_t cachedBytes() const { return cachedBytes_; }
  bool holds(std::uint64_t offset) const { return byOffset_.count(offset) != 0; }
  // How many leases of the table at `offset` are alive (0 when not cached).
  std::uint32_t usesOf(std::uint64_t offset) const;

 private:
  using NodeList = std::list<Node>;

  Lease Hit(NodeList::iterator node);
  // A node for a new table: a fresh one, or the least recently used free
  // one; recency_.end() when neither may be had.
  NodeList::iterator TakeNode();
  void Unlink(NodeList::iterator node);

  std::uint64_t capBytes_;
  std::uint64_t tableBytes_ = 0;
  TableByteOrder order_ = TableByteOrder::Big;
  std::uint64_t cachedBytes_ = 0;
  NodeList recency_;  // most recently used first
  std::unordered_map<std::uint64_t, NodeList::iterator> byOffset_;
  std::vector<std::uint8_t> raw_;  // the bytes of the table being read
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
  void Reset();
  // Takes over an open file and the layout read from its header; the
  // layout's values must have been checked by the caller.
  void Attach(std::unique_ptr<File> file, std::uint64_t fileSize, ClusterLayout layout);
  bool isOpen() const { return file_ != nullptr; }

  std::uint64_t diskSize() const { return layout_.diskSize; }
  std::uint64_t diskSectors() const { return layout_.diskSize / kVirtualSectorBytes; }
  std::uint64_t clusterBytes() const { return std::uint64_t{1} << layout_.clusterBits; }
  std::uint64_t l1Count() const { return layout_.l1Table.size(); }
  const L2Cache& cache() const { return cache_; }

  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out);
  int ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out);
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
  Mapping Locate(std::uint64_t sector, std::uint64_t limit) const;
  Mapping LocateInTable(const TableLookup& lookup, std::uint64_t sector, std::uint64_t limit) const;
  bool ServeCompressed(const Mapping& stretch, std::span<std::uint8_t> out);
  bool Inflated(const ClusterEntry& cluster);

  std::unique_ptr<File> file_;
  std::uint64_t fileSize_ = 0;
  ClusterLayout layout_;
  mutable L2Cache cache_;

  // The last compressed cluster inflated, so that reading it sector by
  // sector inflates it once.
  std::vector<std::uint8_t> inflated_;
  std::vector<std::uint8_t> deflated_;
  std::uint64_t inflatedOffset_ = 0;
  bool inflatedValid_ = false;
};

}  // namespace korv
