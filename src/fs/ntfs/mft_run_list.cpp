#include "fs/ntfs/mft_run_list.h"

#include <algorithm>
#include <functional>

#include "fs/ntfs/attribute_list.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/fixups.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/record_values.h"
#include "fs/ntfs/sector_reads.h"
#include "platform/read_buffer.h"

namespace korv {

namespace {

using RecordReader = std::function<std::optional<ReadBuffer>(std::uint32_t recordNumber)>;

// The absolute sector holding sector `offset` of the data the runs map; 0
// when it lies in a sparse run or past the last run.
std::uint64_t SectorInRuns(const RunList& runs, std::uint64_t offset) {
  std::uint64_t before = 0;
  for (const Run& run : runs.runs) {
    if (offset - before < run.sectorCount) return run.sparse ? 0 : run.firstSector + (offset - before);
    before += run.sectorCount;
  }
  return 0;
}

// The non-resident $DATA extent of `stream` (empty: the unnamed data) in
// `record` that starts at `vcn`.
std::optional<Attribute> FindDataExtent(ByteView record, std::uint64_t vcn, std::u16string_view stream) {
  AttributeWalk walk(record);
  while (const auto attribute = walk.Next()) {
    if (attribute->type() != AttributeType::Data || !attribute->named(stream) || !attribute->nonResident()) continue;
    if (attribute->lowestVcn() == vcn) return attribute;
  }
  return std::nullopt;
}

// The $DATA entries of `stream` in the record's attribute list, resident or
// not, in order of starting VCN (entries of equal VCN keep list order).
std::vector<AttributeListEntry> DataExtentEntries(SectorSource& sectors, const BootParameters& parameters,
                                                  ByteView record, std::u16string_view stream) {
  const auto list = FindAttribute(record, AttributeType::AttributeList);
  if (!list) return {};
  const ReadBuffer value = ReadAttributeListValue(sectors, parameters, *list);
  std::vector<AttributeListEntry> entries = ParseAttributeList(ByteView(value));
  std::erase_if(entries, [&](const AttributeListEntry& entry) {
    return entry.type != AttributeType::Data || entry.nameLength != stream.size() || entry.name != stream;
  });
  std::stable_sort(entries.begin(), entries.end(), [](const AttributeListEntry& a, const AttributeListEntry& b) {
    return a.startingVcn < b.startingVcn;
  });
  return entries;
}

// Appends the runs of the extension records the base record's attribute
// list names. An extent is taken only when it starts exactly where the runs
// so far end: entries naming an extent already held (the base record's own
// entry among them) are passed over, and a gap, an unreadable record or a
// record belonging to another file ends the list as incomplete.
void AppendListedExtents(SectorSource& sectors, const BootParameters& parameters, ByteView baseRecord,
                         std::optional<std::uint32_t> baseNumber, const RecordReader& readRecord,
                         std::u16string_view stream, RunList& runs) {
  if (!runs.complete || parameters.sectorsPerCluster == 0) return;
  for (const AttributeListEntry& entry : DataExtentEntries(sectors, parameters, baseRecord, stream)) {
    const std::uint64_t nextVcn = runs.totalSectors() / parameters.sectorsPerCluster;
    if (entry.startingVcn < nextVcn) continue;
    const auto record = entry.startingVcn == nextVcn ? readRecord(entry.recordNumber) : std::nullopt;
    const ByteView view = record ? ByteView(*record) : ByteView();
    const bool belongs = record && (!baseNumber || BaseRecordNumber(view) == *baseNumber) &&
                         OwnRecordNumber(view).value_or(entry.recordNumber) == entry.recordNumber;
    const auto extent = belongs ? FindDataExtent(view, entry.startingVcn, stream) : std::nullopt;
    const RunList more = extent ? DecodeAttributeRuns(*extent, parameters) : RunList{};
    if (more.runs.empty()) {
      runs.complete = false;
      return;
    }
    if (!runs.Append(more) || !runs.complete) return;
  }
}

// The runs of the base record's first extent of `stream` (starting at VCN 0).
RunList FirstExtentRuns(ByteView record, const BootParameters& parameters, std::u16string_view stream = {}) {
  const auto extent = FindDataExtent(record, 0, stream);
  return extent ? DecodeAttributeRuns(*extent, parameters) : RunList{};
}

std::optional<ReadBuffer> FixedRecord(ReadBuffer bytes) {
  if (!HasFileSignature(ByteView(bytes))) return std::nullopt;
  ApplyFixups(bytes, bytes.size());
  return bytes;
}

// Reads `count` sectors of the data the runs map, from sector `firstOffset`
// on, joining neighbouring sectors into one read. Nothing when a sector lies
// in no run.
std::optional<ReadBuffer> ReadRecordSectors(SectorSource& sectors, const RunList& runs,
                                                           std::uint64_t firstOffset, std::uint32_t count) {
  ReadBuffer bytes;
  bytes.reserve(std::size_t{count} * kNtfsSectorBytes);
  std::uint32_t done = 0;
  while (done < count) {
    const std::uint64_t start = SectorInRuns(runs, firstOffset + done);
    if (start == 0) return std::nullopt;
    std::uint32_t span = 1;
    while (done + span < count && SectorInRuns(runs, firstOffset + done + span) == start + span) ++span;
    const auto piece = ReadSectorBytes(sectors, start, span);
    bytes.insert(bytes.end(), piece.begin(), piece.end());
    done += span;
  }
  return bytes;
}

}  // namespace

std::uint64_t MftRecordSector(const MftRunList& mft, std::uint64_t recordNumber) {
  const auto offset = CheckedMul(recordNumber, mft.sectorsPerMftRecord);
  if (!offset || mft.sectorsPerMftRecord == 0) return 0;
  return SectorInRuns(mft.list, *offset);
}

std::optional<ReadBuffer> ReadFileRecord(SectorSource& sectors, const MftRunList& mft,
                                                        std::uint64_t recordNumber) {
  const auto offset = CheckedMul(recordNumber, mft.sectorsPerMftRecord);
  if (!offset || mft.sectorsPerMftRecord == 0) return std::nullopt;
  auto bytes = ReadRecordSectors(sectors, mft.list, *offset, mft.sectorsPerMftRecord);
  if (!bytes) return std::nullopt;
  return FixedRecord(std::move(*bytes));
}

std::optional<ReadBuffer> ReadFileRecordAt(SectorSource& sectors, std::uint64_t recordSector,
                                                          std::uint32_t sectorsPerMftRecord) {
  if (recordSector == 0 || sectorsPerMftRecord == 0) return std::nullopt;
  return FixedRecord(ReadSectorBytes(sectors, recordSector, sectorsPerMftRecord));
}

MftRunList BuildMftRunList(SectorSource& sectors, const BootParameters& parameters) {
  MftRunList mft;
  mft.sectorsPerMftRecord = parameters.sectorsPerMftRecord;
  const std::uint32_t perRecord = parameters.sectorsPerMftRecord;
  if (perRecord == 0 || parameters.sectorsPerCluster == 0 || parameters.mftFirstSector == 0) return mft;

  const std::uint64_t rootSector = parameters.mftFirstSector + std::uint64_t{kRootDirectoryRecordNumber} * perRecord;
  if (!HasFileSignature(ByteView(ReadSectorBytes(sectors, rootSector, 1)))) return mft;
  const auto record = ReadFileRecordAt(sectors, parameters.mftFirstSector, perRecord);
  if (!record) return mft;

  mft.list = FirstExtentRuns(ByteView(*record), parameters);
  const RecordReader readFromRunsSoFar = [&](std::uint32_t number) { return ReadFileRecord(sectors, mft, number); };
  AppendListedExtents(sectors, parameters, ByteView(*record), kMftRecordNumber, readFromRunsSoFar, {}, mft.list);
  return mft;
}

RunList BuildFileRunList(SectorSource& sectors, const BootParameters& parameters, const MftRunList& mft,
                         std::uint64_t recordSector, std::u16string_view stream) {
  const auto record = ReadFileRecordAt(sectors, recordSector, parameters.sectorsPerMftRecord);
  if (!record) return {};
  const ByteView view(*record);
  const auto data = ReadDataSize(view, stream);
  if (data && data->residency == DataResidency::Resident) return {};
  RunList runs = FirstExtentRuns(view, parameters, stream);
  const RecordReader readThroughMft = [&](std::uint32_t number) { return ReadFileRecord(sectors, mft, number); };
  AppendListedExtents(sectors, parameters, view, OwnRecordNumber(view), readThroughMft, stream, runs);
  return runs;
}

}  // namespace korv
