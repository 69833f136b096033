#include "engine/formatted_ntfs_scan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/ntfs_record_items.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/fixups.h"
#include "fs/ntfs/index_record.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/record_values.h"
#include "fs/ntfs/system_files.h"
#include "platform/read_buffer.h"
#include "storage/allocation_stretches.h"
#include "storage/read_ahead.h"
#include "storage/virtual_disk.h"

namespace korv {

namespace {

constexpr std::uint32_t kChunkBytes = 1000 * 512;
// IsPlausibleFileRecord compares the ends of a record's first two 512-byte
// strides, so it needs this many bytes whatever the record's size.
constexpr std::size_t kPlausibilityBytes = 1024;

// A four-letter signature as the little-endian word a sector starts with:
// the common sector, which holds none, then costs one read for both tests.
constexpr std::uint32_t SignatureWord(std::string_view signature) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(signature[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(signature[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(signature[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(signature[3])) << 24;
}
constexpr std::uint32_t kFileRecordWord = SignatureWord(kFileRecordSignature);
constexpr std::uint32_t kIndexRecordWord = SignatureWord(kIndexRecordSignature);
// A boot sector names its file system in the OEM ID at offset 3, in the
// sector's first cache line; its signature at 510 is in the last.
constexpr std::uint64_t kOemIdField = 3;
constexpr std::uint32_t kNtfsOemWord = SignatureWord(kNtfsOemId);
constexpr std::uint64_t kBootSignatureField = 510;
constexpr std::uint16_t kBootSignatureWord = 0xAA55;
// The record size a boot sector is taken to mean when its own is none NTFS
// writes.
constexpr std::uint32_t kFallbackSectorsPerMftRecord = 2;

std::uint32_t Clamp32(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, UINT32_MAX));
}

// Sectors of a chunk the look found may hold a find, kept for chunks with
// no more than this many: they are read one by one instead of the chunk.
constexpr std::uint32_t kHitsKept = 32;
// What is read at such a sector: enough for a file record of any size NTFS
// writes, so that it need not be read again.
constexpr std::size_t kHitReadBytes = 4096;

// A stretch of the range: read and scanned; looked at in place and found to
// hold no signature, or a few sectors that may hold one (`hits`, counted
// from the stretch's start, in order); or skipped because the container
// holds no data there (it reads as zeros and so holds no signature).
struct Stretch {
  enum class Kind { Read, Clear, Sparse, Hole } kind = Kind::Hole;
  std::uint64_t sectors = 0;
  std::uint32_t hitCount = 0;
  std::array<std::uint32_t, kHitsKept> hits{};
};

class SignatureScan {
 public:
  SignatureScan(AnalysisJob& job, SignatureFinds& finds)
      : job_(job),
        finds_(finds),
        sectorBytes_(job.sectors.sectorBytes()),
        percent_(job),
        stretches_(job.sectors.source()) {}

  StepGo Run() {
    const SelectedRange& range = job_.range();
    job_.sink().SetText(ProgressField::Status, kStatusFormattedScan);
    // A range shorter than a chunk is read in one request: it needs no
    // bigger buffers than itself.
    const std::uint64_t rangeSectors = range.endSector > range.firstSector ? range.endSector - range.firstSector : 1;
    const auto chunkSectors =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(ScanChunkSectors(sectorBytes_), rangeSectors));
    // The next chunk is read on a helper thread while this one is scanned;
    // the holes between chunks are looked up while no read is in flight.
    ReadAhead reads([this](std::uint64_t first, std::uint32_t count,
                           std::span<std::uint8_t> out) { return job_.sectors.ReadCurrent(first, count, out); },
                    sectorBytes_, chunkSectors);
    reads_ = &reads;
    const auto issue = [&](std::uint64_t at) {
      const Stretch stretch = NextStretch(at, range.endSector - at, chunkSectors);
      if (stretch.kind == Stretch::Kind::Read) reads.Issue(at, static_cast<std::uint32_t>(stretch.sectors));
      return stretch;
    };
    Stretch stretch = range.firstSector < range.endSector ? issue(range.firstSector) : Stretch{};
    for (std::uint64_t next = range.firstSector; next < range.endSector;) {
      const std::optional<ReadAhead::Chunk> chunk =
          stretch.kind == Stretch::Kind::Read ? reads.Take() : std::nullopt;
      const std::uint64_t at = next;
      const Stretch taken = stretch;
      next += stretch.sectors;
      if (next < range.endSector) stretch = issue(next);
      if (chunk) ScanChunk(*chunk);
      if (taken.kind == Stretch::Kind::Clear) CountSectors(at, taken.sectors);
      if (taken.kind == Stretch::Kind::Sparse) ScanHits(at, taken);
      percent_.Show(next, range.endSector);
      if (const StepGo go = CheckStep(job_); go != StepGo::On) return go;
    }
    return StepGo::On;
  }

 private:
  // Called while no read is in flight. A chunk that can be looked at in
  // place and of which no sector starts as a record or a boot sector does
  // is not copied at all: most of a volume is file data, and copying it out
  // of the page cache was most of the scan's time.
  Stretch NextStretch(std::uint64_t sector, std::uint64_t left, std::uint32_t chunkSectors) {
    const std::uint64_t chunk = std::min<std::uint64_t>(left, chunkSectors);
    const std::uint64_t unheld = stretches_.UnheldAt(sector);
    if (unheld != 0) return {Stretch::Kind::Hole, std::min(unheld, left)};
    if (!window_.Covers(sector)) LookAhead(sector, left, chunkSectors);
    return window_.StretchAt(sector, chunk);
  }

  // What one look found about the held chunks from `first` on: the sectors
  // of each that may hold something ScanSector could find, as far as
  // kHitsKept of them (a count past that means "read it whole"). A window
  // that could not be looked at counts all its chunks past it.
  struct Window {
    static constexpr std::uint32_t kChunks = 16;
    struct ChunkHits {
      std::atomic<std::uint32_t> count{0};
      std::array<std::atomic<std::uint32_t>, kHitsKept> sectors{};
    };
    std::uint64_t first = 0;
    std::uint64_t chunkSectors = 1;
    std::uint32_t chunks = 0;
    std::array<ChunkHits, kChunks> hits{};

    bool Covers(std::uint64_t sector) const {
      return sector >= first && (sector - first) / chunkSectors < chunks && (sector - first) % chunkSectors == 0;
    }
    void Clear(std::uint32_t count) {
      for (ChunkHits& chunk : hits) chunk.count.store(count, std::memory_order_relaxed);
    }
    // Called by both threads of a look; false once the chunk counts as read
    // whole, when the rest of it need not be looked at.
    bool Add(std::size_t chunk, std::uint32_t sector) {
      if (chunk >= hits.size()) return false;
      const std::uint32_t index = hits[chunk].count.fetch_add(1, std::memory_order_relaxed);
      if (index >= kHitsKept) return false;
      hits[chunk].sectors[index].store(sector, std::memory_order_relaxed);
      return true;
    }
    Stretch StretchAt(std::uint64_t sector, std::uint64_t sectors) const {
      const ChunkHits& chunk = hits[static_cast<std::size_t>((sector - first) / chunkSectors)];
      const std::uint32_t count = chunk.count.load(std::memory_order_relaxed);
      if (count == 0) return {Stretch::Kind::Clear, sectors};
      if (count > kHitsKept) return {Stretch::Kind::Read, sectors};
      Stretch stretch{Stretch::Kind::Sparse, sectors, count};
      for (std::uint32_t i = 0; i < count; ++i) stretch.hits[i] = chunk.sectors[i].load(std::memory_order_relaxed);
      std::sort(stretch.hits.begin(), stretch.hits.begin() + count);
      return stretch;
    }
  };

  // Looks at up to Window::kChunks chunks from `sector` at once, which lets
  // the file share the look out between two threads. The window ends before
  // a chunk that starts unheld, so that it follows the chunks the scan
  // takes. Where a window cannot be looked at whole (a compressed cluster
  // among plain ones), its chunks are looked at one by one.
  void LookAhead(std::uint64_t sector, std::uint64_t left, std::uint32_t chunkSectors) {
    std::uint32_t chunks = 1;
    while (sector >= oneByOneUntil_ && chunks < Window::kChunks && std::uint64_t{chunks} * chunkSectors < left &&
           stretches_.UnheldAt(sector + std::uint64_t{chunks} * chunkSectors) == 0) {
      ++chunks;
    }
    if (LookAt(sector, chunks, chunkSectors, left) || chunks == 1) return;
    oneByOneUntil_ = sector + std::uint64_t{chunks} * chunkSectors;
    LookAt(sector, 1, chunkSectors, left);
  }

  // Finds the sectors of the window's chunks that may hold a find; false
  // when the window could not be looked at (all its chunks are then read).
  bool LookAt(std::uint64_t sector, std::uint32_t chunks, std::uint32_t chunkSectors, std::uint64_t left) {
    window_.first = sector;
    window_.chunkSectors = chunkSectors;
    window_.chunks = chunks;
    window_.Clear(0);
    const auto sectors =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(left, std::uint64_t{chunks} * chunkSectors));
    const std::uint64_t chunkBytes = std::uint64_t{chunkSectors} * sectorBytes_;
    const bool looked = job_.sectors.LookCurrent(
        sector, sectors, [this, chunkBytes](std::uint64_t at, std::span<const std::uint8_t> piece) {
          MarkChunks(at, piece, chunkBytes);
        });
    if (!looked) window_.Clear(kHitsKept + 1);
    return looked;
  }

  // A look's part: notes the sectors that may hold a find, and skips the
  // rest of a chunk once it is to be read whole. Runs on two threads at once.
  void MarkChunks(std::uint64_t at, std::span<const std::uint8_t> piece, std::uint64_t chunkBytes) {
    for (std::size_t offset = 0; offset + sectorBytes_ <= piece.size();) {
      const std::uint64_t position = at + offset;
      const std::uint64_t chunk = position / chunkBytes;
      const bool lookOn = !MayHoldSignature(ByteView(piece.subspan(offset, sectorBytes_))) ||
                          window_.Add(static_cast<std::size_t>(chunk),
                                      static_cast<std::uint32_t>(position % chunkBytes / sectorBytes_));
      // A chunk to be read whole needs no more looking at.
      const std::uint64_t next = lookOn ? offset + sectorBytes_ : (chunk + 1) * chunkBytes - at;
      if (next >= piece.size()) return;
      offset = static_cast<std::size_t>(next);
    }
  }

  // Whether ScanSector could find anything in this sector. Only the
  // sector's first bytes are tested, as a boot hit needs the NTFS OEM ID:
  // one cache line of each sector is brought in, where testing the boot
  // signature would bring in two.
  static bool MayHoldSignature(ByteView sector) {
    const auto head = sector.u32le(0);
    return head == kFileRecordWord || head == kIndexRecordWord || sector.u32le(kOemIdField) == kNtfsOemWord;
  }

  void ScanChunk(const ReadAhead::Chunk& chunk) {
    for (std::uint32_t i = 0; i < chunk.count; ++i) {
      ScanSector(chunk.first + i, ByteView(chunk.bytes.subspan(std::size_t{i} * sectorBytes_)));
      CountSectors(chunk.first + i, 1);
    }
  }

  // A sparse chunk: only its hit sectors are read, each on its own (what a
  // file record needs, within the chunk), and scanned as the chunk's own
  // would be; the progress counts the others as if each had been scanned.
  void ScanHits(std::uint64_t first, const Stretch& stretch) {
    const std::uint64_t hitSectors = std::max<std::uint64_t>(1, kHitReadBytes / sectorBytes_);
    if (hit_.size() < hitSectors * sectorBytes_) hit_.assign(static_cast<std::size_t>(hitSectors * sectorBytes_), 0);
    std::uint64_t counted = 0;
    for (std::uint32_t i = 0; i < stretch.hitCount; ++i) {
      const std::uint64_t hit = stretch.hits[i];
      if (hit > counted) CountSectors(first + counted, hit - counted);
      const auto sectors = static_cast<std::uint32_t>(std::min(hitSectors, stretch.sectors - hit));
      const auto bytes = std::span(hit_).first(std::size_t{sectors} * sectorBytes_);
      reads_->Wait();
      job_.sectors.ReadCurrent(first + hit, sectors, bytes);
      ScanSector(first + hit, ByteView(bytes));
      CountSectors(first + hit, 1);
      counted = hit + 1;
    }
    if (stretch.sectors > counted) CountSectors(first + counted, stretch.sectors - counted);
  }

  // Scanned sectors count towards the progress, and so do a clear chunk's.
  void CountSectors(std::uint64_t first, std::uint64_t count) {
    job_.progress.RefreshSectors(first, count, job_.scanLists.scanDirCount(), job_.scanLists.scanFileCount(), lastName_,
                                 static_cast<std::int32_t>(finds_.indexHits.size()));
  }

  // `rest` runs from the sector to the end of the chunk.
  void ScanSector(std::uint64_t sector, ByteView rest) {
    const auto head = rest.u32le(0);
    if (head == kFileRecordWord) {
      TakeFileRecord(sector, rest);
      return;
    }
    if (head == kIndexRecordWord) {
      if (const auto index = ParseIndexRecord(rest)) {
        finds_.indexHits.push_back({sector, index->directoryNumber, index->vcn});
      }
      return;
    }
    if (rest.u16le(kBootSignatureField) != kBootSignatureWord) return;
    if (const auto boot = ReadNtfsBootHit(rest.sub(0, sectorBytes_), sector)) finds_.bootHits.push_back(*boot);
  }

  // Copies the record at `sector` into record_ when it passes the
  // plausibility test; its size by the record size rule. A record that runs
  // past the chunk is read from the source instead.
  std::optional<std::size_t> LoadFileRecord(std::uint64_t sector, ByteView rest) {
    const std::size_t recordBytes = FileRecordBytes(rest);
    const std::size_t needed = std::max(recordBytes, kPlausibilityBytes);
    if (rest.size() >= needed) {
      if (!IsPlausibleFileRecord(rest)) return std::nullopt;
      record_.assign(rest.data(), rest.data() + recordBytes);
      return recordBytes;
    }
    const std::uint32_t sectors = static_cast<std::uint32_t>((needed + sectorBytes_ - 1) / sectorBytes_);
    record_.assign(std::size_t{sectors} * sectorBytes_, 0);
    reads_->Wait();
    job_.sectors.ReadCurrent(sector, sectors, record_);
    if (!IsPlausibleFileRecord(ByteView(record_))) return std::nullopt;
    return recordBytes;
  }

  void TakeFileRecord(std::uint64_t sector, ByteView rest) {
    const auto recordBytes = LoadFileRecord(sector, rest);
    if (!recordBytes) return;
    const auto bytes = std::span(record_).first(*recordBytes);
    ApplyFixups(bytes, bytes.size());
    const ByteView record(bytes);
    const ItemTimes times = StandardItemTimes(ReadStandardTimes(record).value_or(StandardTimes{}));
    const std::uint8_t state = RecordStateByte(record).value_or(0);
    if (IsDirectoryState(state)) {
      AddDirectory(sector, record, state, times);
    } else {
      AddFiles(sector, record, state, times);
    }
  }

  void AddDirectory(std::uint64_t sector, ByteView record, std::uint8_t state, const ItemTimes& times) {
    FileNameValue name = ReadPreferredFileName(record).value_or(FileNameValue{});
    lastName_ = name.name;
    const char deleted = state == static_cast<std::uint8_t>(RecordState::DeletedDirectory) ? kFlagYes : kFlagNo;
    ScanDirRecord directory;
    directory.wideName = name.name;
    directory.deleted = deleted;
    directory.times = times;
    directory.parentNumber = name.parentNumber;
    directory.ownNumber = DirectoryNumberFromIndexRoot(record);
    directory.recordSector = sector;
    directory.indexLcn = FirstIndexAllocationCluster(record);
    job_.scanLists.AddScanDir(directory);
    if (name.name.empty() || !IsBaseRecord(record)) return;
    const ByteView records[] = {record};
    const RecordLink folder{std::move(name), times};
    for (const RecordItem& item : FolderStreamItems(records, folder, ScanRecordNumber(record, folder.name.name))) {
      AddScanFile(sector, deleted, item);
    }
  }

  void AddFiles(std::uint64_t sector, ByteView record, std::uint8_t state, const ItemTimes& times) {
    // Sizes past 2^63 are damage, not files.
    const std::uint64_t size = ReadDataSize(record).value_or(DataAttributeInfo{}).size;
    if (static_cast<std::int64_t>(size) < 0) return;
    const char deleted = state == static_cast<std::uint8_t>(RecordState::DeletedFile) ? kFlagYes : kFlagNo;
    const std::vector<RecordItem> items = FileItemsOf(record, times, size);
    lastName_ = items.front().name;
    for (const RecordItem& item : items) AddScanFile(sector, deleted, item);
  }

  // The items of a file record. A record that makes none (no name and no
  // data, or its number unknown) still makes one entry without a parent,
  // which holds a place in the numbering of its neighbours but shows
  // nowhere. So does every extension record: the names it holds are the
  // base record's links, and its own data is no file's whole data, so an
  // item of its own would save the wrong bytes.
  static std::vector<RecordItem> FileItemsOf(ByteView record, const ItemTimes& times, std::uint64_t size) {
    const FileNameValue name = ReadPreferredFileName(record).value_or(FileNameValue{});
    if (!IsBaseRecord(record)) return {RecordItem{name.name, 0, times, size, {}}};
    const ByteView records[] = {record};
    std::vector<RecordItem> items = FileRecordItems(records, ScanRecordNumber(record, name.name));
    if (!items.empty()) return items;
    return {RecordItem{name.name, name.parentNumber, times, size, {}}};
  }

  static bool IsBaseRecord(ByteView record) { return BaseRecordNumber(record).value_or(0) == 0; }

  // The record's number as its header gives it, or for a metafile without
  // one, as its name does.
  static std::optional<std::uint32_t> ScanRecordNumber(ByteView record, std::u16string_view name) {
    if (const auto own = OwnRecordNumber(record)) return own;
    if (const std::uint32_t system = SystemFileNumber(name); system != 0) return system;
    return std::nullopt;
  }

  void AddScanFile(std::uint64_t sector, char deleted, const RecordItem& item) {
    ScanFileRecord file;
    file.ownNumber = item.stream.empty() ? SystemFileNumber(item.name) : 0;
    file.wideName = item.name;
    file.deleted = deleted;
    file.times = item.times;
    file.fileCountAtScan = job_.store.fileCount();
    file.size = item.size;
    file.parentNumber = item.parentNumber;
    file.recordSector = sector;
    file.stream = item.stream;
    job_.scanLists.AddScanFile(file);
  }

  AnalysisJob& job_;
  SignatureFinds& finds_;
  const std::uint32_t sectorBytes_;
  StepPercent percent_;
  AllocationStretches stretches_;
  ReadAhead* reads_ = nullptr;  // the chunk reads of the running scan
  Window window_;
  std::uint64_t oneByOneUntil_ = 0;  // where windows are looked at whole again
  ReadBuffer record_;
  ReadBuffer hit_;  // a sparse chunk's hit sector and what follows it
  std::u16string lastName_;
};

}  // namespace

std::uint32_t ScanChunkSectors(std::uint32_t sectorBytes) {
  if (sectorBytes <= 512) return kChunkBytes / 512;
  return std::max<std::uint32_t>(1, kChunkBytes / sectorBytes);
}

std::optional<NtfsBootHit> ReadNtfsBootHit(ByteView sector, std::uint64_t sectorNumber) {
  if (sector.u8(kBootSignatureField) != 0x55 || sector.u8(kBootSignatureField + 1) != 0xAA) return std::nullopt;
  if (!HasNtfsOemId(sector)) return std::nullopt;
  NtfsBootHit hit;
  hit.sector = sectorNumber;
  hit.sectorsPerCluster = sector.u8(kSectorsPerClusterField).value_or(0);
  hit.sectorsPerIndexRecord =
      Clamp32(SectorsPerIndexRecord(sector.u32le(kClustersPerIndexRecordField).value_or(0), hit.sectorsPerCluster));
  const std::uint64_t perMftRecord =
      SectorsPerMftRecord(sector.u32le(kClustersPerMftRecordField).value_or(0), hit.sectorsPerCluster);
  hit.sectorsPerMftRecord =
      IsUsableMftRecordSize(perMftRecord) ? static_cast<std::uint32_t>(perMftRecord) : kFallbackSectorsPerMftRecord;
  hit.totalSectors = sector.u32le(kTotalSectorsField).value_or(0);
  hit.mftCluster = sector.u32le(kMftClusterField).value_or(0);
  hit.mftMirrCluster = sector.u32le(kMftMirrClusterField).value_or(0);
  return hit;
}

StepGo ScanNtfsSignatures(AnalysisJob& job, SignatureFinds& finds) { return SignatureScan(job, finds).Run(); }

}  // namespace korv
