#include "engine/formatted_ntfs_scan.h"

#include <algorithm>
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

// A stretch of the range: read and scanned; looked at in place and found to
// hold no signature; or skipped because the container holds no data there
// (it reads as zeros and so holds no signature).
struct Stretch {
  enum class Kind { Read, Clear, Hole } kind = Kind::Hole;
  std::uint64_t sectors = 0;
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
      percent_.Show(next, range.endSector);
      if (const StepGo go = CheckStep(job_); go != StepGo::On) return go;
    }
    return StepGo::On;
  }

 private:
  // Called while no read is in flight. A chunk that can be looked at in
  // place and of which no sector starts as a record or a boot sector does
  // is not copied at all: most of a volume is file data, and copying it out
  // of the page cache was most of the scan's time. The look is done here
  // rather than on the helper, as it takes less than handing it over would.
  Stretch NextStretch(std::uint64_t sector, std::uint64_t left, std::uint32_t chunkSectors) {
    const std::uint64_t chunk = std::min<std::uint64_t>(left, chunkSectors);
    const std::uint64_t unheld = stretches_.UnheldAt(sector);
    if (unheld != 0) return {Stretch::Kind::Hole, std::min(unheld, left)};
    if (LooksSignatureFree(sector, static_cast<std::uint32_t>(chunk))) return {Stretch::Kind::Clear, chunk};
    return {Stretch::Kind::Read, chunk};
  }

  bool LooksSignatureFree(std::uint64_t first, std::uint32_t count) {
    bool found = false;
    const bool looked = job_.sectors.LookCurrent(first, count, [this, &found](std::span<const std::uint8_t> piece) {
      for (std::size_t at = 0; !found && at + sectorBytes_ <= piece.size(); at += sectorBytes_) {
        found = MayHoldSignature(piece.subspan(at, sectorBytes_));
      }
    });
    return looked && !found;
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
  ReadBuffer record_;
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
