#include "engine/deleted_ntfs.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_step.h"
#include "engine/lost_folders.h"
#include "engine/ntfs_record_items.h"
#include "fs/ntfs/attribute_list.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/fixups.h"
#include "fs/ntfs/record_values.h"
#include "platform/read_buffer.h"

namespace korv {

namespace {

// Records are read in batches of about this many bytes: one read per record
// would cost a system call (and a reader lookup) for every kilobyte.
constexpr std::size_t kBatchBytes = 1 << 20;

// The records one file spreads over: its base record and the extension
// records its attribute list names that can be read, base first.
class ListedRecordSet {
 public:
  ListedRecordSet(SectorSource& sectors, const MftRunList& mft, const ListedRecords& listed, ByteView base) {
    views_.push_back(base);
    extensions_.reserve(listed.count);
    for (std::uint16_t i = 1; i < listed.count; ++i) {
      auto record = ReadFileRecord(sectors, mft, listed.numbers[i]);
      if (!record) continue;
      extensions_.push_back(std::move(*record));
      views_.push_back(ByteView(extensions_.back()));
    }
  }

  std::span<const ByteView> records() const { return views_; }

 private:
  // The views point into each record's own buffer, which moving keeps.
  std::vector<ReadBuffer> extensions_;
  std::vector<ByteView> views_;
};

class DeletedNtfsWalk {
 public:
  DeletedNtfsWalk(AnalysisJob& job, const MftRunList& mft) : job_(job), mft_(mft) {}

  // Walks every run; false when a stop or Back ended the walk early.
  bool Walk() {
    const std::uint32_t perRecord = mft_.sectorsPerMftRecord;
    if (perRecord == 0) return true;
    totalSectors_ = std::min(mft_.list.totalSectors(), VolumeSectors());
    for (const Run& run : mft_.list.runs) {
      const std::uint64_t records = (run.sectorCount + perRecord - 1) / perRecord;
      if (run.sparse) {
        recordNumber_ += records;
        continue;
      }
      const std::uint64_t walked = std::min(records, WalkableRecords(run));
      if (!WalkRun(run, walked)) return false;
      // The records left out still take their numbers.
      recordNumber_ += records - walked;
    }
    return true;
  }

 private:
  // The volume's sectors; with no end to the range, no bound.
  std::uint64_t VolumeSectors() const {
    const SelectedRange& range = job_.range();
    return range.endSector > range.firstSector ? range.endSector - range.firstSector : UINT64_MAX;
  }

  // An MFT lies inside its volume and holds no more sectors than the volume
  // does: a damaged run list may map terabytes, or the same clusters
  // thousands of times, and walking that would never end. The records of a
  // run that lie before the volume's end and within what is left of that
  // budget are walked.
  std::uint64_t WalkableRecords(const Run& run) const {
    const SelectedRange& range = job_.range();
    std::uint64_t sectors = run.sectorCount;
    if (range.endSector != 0)
      sectors = run.firstSector >= range.endSector ? 0 : std::min(sectors, range.endSector - run.firstSector);
    sectors = std::min(sectors, VolumeSectors() - std::min(VolumeSectors(), sectorsDone_));
    const std::uint32_t perRecord = mft_.sectorsPerMftRecord;
    return (sectors + perRecord - 1) / perRecord;
  }

  bool WalkRun(const Run& run, std::uint64_t records) {
    const std::uint32_t perRecord = mft_.sectorsPerMftRecord;
    const std::size_t recordBytes = std::size_t{perRecord} * job_.sectors.sectorBytes();
    const std::uint64_t batchRecords = std::max<std::size_t>(1, kBatchBytes / recordBytes);
    ReadBuffer batch;
    for (std::uint64_t done = 0; done < records; done += batchRecords) {
      const std::uint64_t count = std::min(batchRecords, records - done);
      batch.assign(count * recordBytes, 0);
      job_.sectors.ReadCurrent(run.firstSector + done * perRecord, static_cast<std::uint32_t>(count * perRecord),
                               batch);
      for (std::uint64_t i = 0; i < count; ++i) {
        ReportRecord(std::span(batch).subspan(i * recordBytes, recordBytes));
        ++recordNumber_;
        sectorsDone_ += perRecord;
        ShowPercent();
        if (!job_.worker.checkpoint()) return false;
      }
    }
    return true;
  }

  void ReportRecord(std::span<std::uint8_t> record) {
    if (!HasFileSignature(ByteView(record))) return;
    if (recordNumber_ == kRootDirectoryRecordNumber || recordNumber_ > UINT32_MAX) return;
    ApplyFixups(record, record.size());
    const ByteView base(record);
    // An extension record holds part of another file's attributes; that
    // file's walk reads it through its attribute list.
    if (BaseRecordNumber(base).value_or(0) != 0) return;
    const auto state = RecordStateByte(base);
    if (!state) return;

    const auto number = static_cast<std::uint32_t>(recordNumber_);
    ListedRecords listed;
    listed.Add(number);
    CollectListedRecords(job_.sectors, job_.parameters.boot, base, listed);
    const ListedRecordSet records(job_.sectors, mft_, listed, base);
    if (IsDirectoryState(*state)) {
      ReportFolder(records.records(), *state, number);
    } else {
      ReportFileItems(records.records(), *state, number);
    }
  }

  void ReportFolder(std::span<const ByteView> records, std::uint8_t state, std::uint32_t number) {
    const auto named = FindPreferredName(records);
    if (!named) return;
    NewFolder folder;
    folder.name = ItemName{.wide = named->name.name};
    folder.deleted = state == static_cast<std::uint8_t>(RecordState::DirectoryInUse) ? kFlagNo : kFlagYes;
    folder.parentNumber = named->name.parentNumber;
    folder.ownNumber = number;
    folder.times = named->times;
    job_.store.AddFolder(folder);
    job_.ReportItem(named->name.name);
    for (const RecordItem& item : FolderStreamItems(records, *named, number)) AddFile(item, state, number);
  }

  // One file per hard link, each under its own parent, each followed by the
  // file's streams; all name the same record, so each saves the same data.
  void ReportFileItems(std::span<const ByteView> records, std::uint8_t state, std::uint32_t number) {
    for (const RecordItem& item : FileRecordItems(records, number)) AddFile(item, state, number);
  }

  void AddFile(const RecordItem& item, std::uint8_t state, std::uint32_t number) {
    NewFile file;
    file.name = ItemName{.wide = item.name};
    file.deleted = state == static_cast<std::uint8_t>(RecordState::DeletedFile) ||
                           state == static_cast<std::uint8_t>(RecordState::DeletedDirectory)
                       ? kFlagYes
                       : kFlagNo;
    file.size = item.size;
    file.parentNumber = item.parentNumber;
    file.ownNumber = number;
    file.times = item.times;
    file.stream = item.stream;
    job_.store.AddFile(file);
    job_.ReportItem(item.name);
  }

  void ShowPercent() {
    const int percent =
        totalSectors_ == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(100, sectorsDone_ * 100 / totalSectors_));
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    job_.sink().SetPercent(percent);
  }

  AnalysisJob& job_;
  const MftRunList& mft_;
  std::uint64_t recordNumber_ = 0;
  std::uint64_t sectorsDone_ = 0;
  std::uint64_t totalSectors_ = 0;
  int shownPercent_ = -1;
};

bool FoundNothing(const Store& store) { return store.folderCount() <= 1 && store.fileCount() == 0; }

}  // namespace

AnalysisOutcome RunDeletedNtfs(AnalysisJob& job, const MftRunList& mft) {
  job.store.ClearStore();
  AddLostFolder(job.store);
  const bool walkedAll = DeletedNtfsWalk(job, mft).Walk();
  if (job.worker.abandoned()) return AnalysisOutcome::Abandoned;
  if (walkedAll && FoundNothing(job.store)) {
    job.store.ClearStore();
    return HandOverToFormatted(job);
  }
  // A stop ends the walk, never the lost-folder pass: it takes a moment, and
  // without it every folder whose parent was not found would show nowhere.
  job.worker.ClearStop();
  AssignLostItems(job, NtfsRootNumber, 0);
  job.sink().SetVisible(ProgressGroup::Status, false);
  return AnalysisOutcome::DeletedRunEnded;
}

}  // namespace korv
