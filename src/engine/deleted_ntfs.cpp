#include "engine/deleted_ntfs.h"

#include <algorithm>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/analysis_step.h"
#include "engine/lost_folders.h"
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
// records its attribute list names, each read at most once.
class ListedRecordSet {
 public:
  ListedRecordSet(SectorSource& sectors, const MftRunList& mft, std::uint32_t baseNumber, ByteView base)
      : sectors_(sectors), mft_(mft), baseNumber_(baseNumber), base_(base) {}

  // The record's bytes, or nothing when it cannot be located or is no "FILE"
  // record.
  std::optional<ByteView> Record(std::uint32_t number) {
    if (number == baseNumber_) return base_;
    auto held = extensions_.find(number);
    if (held == extensions_.end()) held = extensions_.emplace(number, ReadFileRecord(sectors_, mft_, number)).first;
    if (!held->second) return std::nullopt;
    return ByteView(*held->second);
  }

 private:
  SectorSource& sectors_;
  const MftRunList& mft_;
  std::uint32_t baseNumber_;
  ByteView base_;
  std::map<std::uint32_t, std::optional<ReadBuffer>> extensions_;
};

struct NamedRecord {
  FileNameValue name;
  ItemTimes times{};
};

// The times of a record; extension records carry no
// $STANDARD_INFORMATION, so the base record's times stand in for theirs.
ItemTimes TimesOf(ByteView record, ByteView base) {
  auto times = ReadStandardTimes(record);
  if (!times) times = ReadStandardTimes(base);
  return StandardItemTimes(times.value_or(StandardTimes{}));
}

std::optional<NamedRecord> FindName(ListedRecordSet& records, const ListedRecords& listed, ByteView base) {
  for (std::uint16_t i = 0; i < listed.count; ++i) {
    const auto record = records.Record(listed.numbers[i]);
    if (!record) continue;
    auto name = ReadPreferredFileName(*record);
    if (name) return NamedRecord{std::move(*name), TimesOf(*record, base)};
  }
  return std::nullopt;
}

bool SameLink(const FileNameValue& a, const FileNameValue& b) {
  return a.parentNumber == b.parentNumber && a.name == b.name;
}

// Every hard link of a file spread over its records, each (parent, name)
// once, with the times of the record that held the first one. A file with
// only a DOS name keeps that one name.
std::vector<NamedRecord> FindLinks(ListedRecordSet& records, const ListedRecords& listed, ByteView base) {
  std::vector<NamedRecord> links;
  for (std::uint16_t i = 0; i < listed.count; ++i) {
    const auto record = records.Record(listed.numbers[i]);
    if (!record) continue;
    for (FileNameValue& name : ReadLinkNames(*record)) {
      const bool held = std::any_of(links.begin(), links.end(),
                                    [&](const NamedRecord& link) { return SameLink(link.name, name); });
      if (held) continue;
      const ItemTimes times = links.empty() ? TimesOf(*record, base) : links.front().times;
      links.push_back(NamedRecord{std::move(name), times});
    }
  }
  if (links.empty()) {
    if (auto only = FindName(records, listed, base)) links.push_back(std::move(*only));
  }
  return links;
}

// The size of the file's unnamed $DATA, or nothing when no record holds one.
std::optional<std::uint64_t> FindDataSize(ListedRecordSet& records, const ListedRecords& listed) {
  for (std::uint16_t i = 0; i < listed.count; ++i) {
    const auto record = records.Record(listed.numbers[i]);
    if (!record) continue;
    if (const auto data = ReadDataSize(*record)) return data->size;
  }
  return std::nullopt;
}

// What a file whose record lost every name is called under "Lost".
constexpr std::u16string_view kNamelessRecordPrefix = u"Record ";
// NTFS keeps the records below this for itself; mkntfs leaves several of
// them in use with an empty $DATA and no name.
constexpr std::uint32_t kFirstUserRecord = 24;

std::u16string NamelessRecordName(std::uint32_t number) {
  std::u16string name(kNamelessRecordPrefix);
  for (const char digit : std::to_string(number)) name.push_back(static_cast<char16_t>(digit));
  return name;
}

class DeletedNtfsWalk {
 public:
  DeletedNtfsWalk(AnalysisJob& job, const MftRunList& mft) : job_(job), mft_(mft) {}

  // Walks every run; false when a stop or Back ended the walk early.
  bool Walk() {
    const std::uint32_t perRecord = mft_.sectorsPerMftRecord;
    if (perRecord == 0) return true;
    totalSectors_ = mft_.list.totalSectors();
    for (const Run& run : mft_.list.runs) {
      const std::uint64_t records = (run.sectorCount + perRecord - 1) / perRecord;
      if (run.sparse) {
        recordNumber_ += records;
        continue;
      }
      if (!WalkRun(run, records)) return false;
    }
    return true;
  }

 private:
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
    ListedRecordSet records(job_.sectors, mft_, number, base);
    if (IsDirectoryState(*state)) {
      ReportFolder(records, listed, base, *state, number);
    } else {
      ReportFileLinks(records, listed, base, *state, number);
    }
  }

  void ReportFolder(ListedRecordSet& records, const ListedRecords& listed, ByteView base, std::uint8_t state,
                    std::uint32_t number) {
    const auto named = FindName(records, listed, base);
    if (!named) return;
    NewFolder folder;
    folder.name = ItemName{.wide = named->name.name};
    folder.deleted = state == static_cast<std::uint8_t>(RecordState::DirectoryInUse) ? kFlagNo : kFlagYes;
    folder.parentNumber = named->name.parentNumber;
    folder.ownNumber = number;
    folder.times = named->times;
    job_.store.AddFolder(folder);
    job_.ReportItem(named->name.name);
  }

  // One file per hard link, each under its own parent; all name the same
  // record, so each saves the same data.
  void ReportFileLinks(ListedRecordSet& records, const ListedRecords& listed, ByteView base, std::uint8_t state,
                       std::uint32_t number) {
    const std::vector<NamedRecord> links = FindLinks(records, listed, base);
    const auto size = FindDataSize(records, listed);
    if (links.empty()) {
      if (size && number >= kFirstUserRecord) ReportNameless(base, state, number, *size);
      return;
    }
    for (const NamedRecord& link : links) {
      AddFile(link.name.name, link.name.parentNumber, link.times, state, number, size.value_or(0));
    }
  }

  // A record whose names the file system dropped still holds its data: it
  // goes under "Lost", named by its number.
  void ReportNameless(ByteView base, std::uint8_t state, std::uint32_t number, std::uint64_t size) {
    AddFile(NamelessRecordName(number), LostNumber, TimesOf(base, base), state, number, size);
  }

  void AddFile(const std::u16string& name, std::uint32_t parentNumber, const ItemTimes& times, std::uint8_t state,
               std::uint32_t number, std::uint64_t size) {
    NewFile file;
    file.name = ItemName{.wide = name};
    file.deleted = state == static_cast<std::uint8_t>(RecordState::DeletedFile) ? kFlagYes : kFlagNo;
    file.size = size;
    file.parentNumber = parentNumber;
    file.ownNumber = number;
    file.times = times;
    job_.store.AddFile(file);
    job_.ReportItem(name);
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
