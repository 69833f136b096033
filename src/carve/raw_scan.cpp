#include "carve/raw_scan.h"

#include <algorithm>

#include "carve/file_end.h"
#include "carve/range_reader.h"

namespace korv {

namespace {

// Progress and the stop request are looked at every this many sectors.
constexpr std::uint64_t kReportEvery = 1000;

// The range's end, cut at the end of a virtual disk: past it there is
// nothing to find.
std::uint64_t EndOfData(const CarveJob& job) {
  const CurrentSource& source = job.sectors.source();
  if (!source.isVirtual() || source.virtualDisk == nullptr) return job.endSector;
  const std::uint64_t diskSectors = source.virtualDisk->facts().diskSizeBytes / kVirtualSectorBytes;
  return std::max(job.firstSector, std::min(job.endSector, diskSectors));
}

class RawScan {
 public:
  explicit RawScan(CarveJob& job)
      : job_(job), reader_(job.sectors, job.firstSector, EndOfData(job), &job.worker), headers_(job.entries) {}

  CarveSummary Run() {
    if (!reader_.usable()) {
      summary_.noMemory = true;
      return Finish();
    }
    job_.sink.SetText(ProgressField::Status, kMsgRawSearching);
    const std::uint64_t total = reader_.size() / reader_.sectorBytes();
    std::uint64_t nextReport = 0;
    std::uint64_t heldUntil = 0;  // the container was asked up to here
    for (std::uint64_t sector = 0; sector < total;) {
      if (sector >= nextReport) {
        Report(sector, total);
        nextReport = sector + kReportEvery;
        if (!job_.worker.checkpoint()) {
          summary_.stopped = true;
          break;
        }
      }
      if (sector >= heldUntil) {
        const AllocationRun stretch = reader_.StretchAt(sector);
        if (!stretch.allocated) {
          sector += stretch.sectors;
          continue;
        }
        heldUntil = sector + std::min(stretch.sectors, total - sector);
      }
      const auto next = Examine(sector);
      if (!next) break;
      sector += *next;
    }
    Report(total, total);
    return Finish();
  }

 private:
  // The sectors to move on by after `sector`; nothing when the scan ends.
  std::optional<std::uint64_t> Examine(std::uint64_t sector) {
    const std::uint64_t start = sector * reader_.sectorBytes();
    const auto match = headers_.Find(reader_.At(start, reader_.sectorBytes()));
    if (!match) return 1;
    const CarveEntry& entry = job_.entries[match->entry];
    const auto extent = FindEnd(reader_, entry, start, job_.exactEnds);
    if (reader_.stopRequested()) {
      summary_.stopped = true;
      return std::nullopt;
    }
    // A header without an end is dropped; the sectors after it are searched.
    if (!extent) return 1;
    if (extent->bytes == 0) return extent->resumeSector;
    if (!Write(start, *extent)) return std::nullopt;
    return extent->resumeSector;
  }

  bool Write(std::uint64_t start, const CarvedExtent& extent) {
    switch (job_.writer.Write(reader_, start, extent.bytes, extent.typeName, job_.sink)) {
      case CarveWrite::Written:
        ++summary_.filesWritten;
        ++summary_.filesPerType[std::string(extent.typeName)];
        job_.sink.SetText(ProgressField::Files, std::to_string(summary_.filesWritten));
        return true;
      case CarveWrite::Declined: ++summary_.declinedFiles; return true;
      case CarveWrite::Failed: summary_.failedFiles.push_back(job_.writer.lastPath()); return true;
      case CarveWrite::StopScan: summary_.stopped = true; return false;
    }
    return true;
  }

  void Report(std::uint64_t sector, std::uint64_t total) {
    job_.sink.SetText(ProgressField::Sector, std::to_string(job_.firstSector + std::min(sector, total)));
    const int percent = total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, sector * 100 / total));
    job_.sink.SetPercent(percent);
  }

  CarveSummary Finish() {
    summary_.bytesWritten = job_.writer.bytesWritten();
    summary_.endMessage = summary_.stopped || summary_.noMemory ? kMsgRawAborted : kMsgRawCompleted;
    job_.sink.SetText(ProgressField::Status, summary_.endMessage);
    return summary_;
  }

  CarveJob& job_;
  RangeReader reader_;
  HeaderIndex headers_;
  CarveSummary summary_;
};

}  // namespace

CarveSummary RunRawScan(CarveJob& job) { return RawScan(job).Run(); }

std::string UnwrittenFilesText(const CarveSummary& summary) {
  std::string text;
  for (const auto& path : summary.failedFiles) text.append(kMsgNotWritten).append(path.string()).append("\n");
  if (summary.declinedFiles > 0) text.append(kMsgNoRoom).append(std::to_string(summary.declinedFiles)).append("\n");
  return text;
}

}  // namespace korv
