// The carving scan over a sector range: headers of the ticked types, each
// followed to its end and written whole, the rest of the range searched
// on after it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "carve/carve_types.h"
#include "carve/carved_writer.h"
#include "common/progress.h"
#include "common/worker_control.h"
#include "storage/sector_source.h"

namespace korv {

inline constexpr std::string_view kMsgRawSearching = "Searching Raw Data Recovery Extensions. Please Wait...";
inline constexpr std::string_view kMsgRawAborted = "Raw Data Recovery Aborted.";
inline constexpr std::string_view kMsgRawCompleted = "Raw Data Recovery Completed Successfully.";
inline constexpr std::string_view kMsgNotWritten = "Not written whole, removed: ";
inline constexpr std::string_view kMsgNoRoom = "Files not written for want of space: ";

struct CarveJob {
  SectorSource& sectors;
  WorkerControl& worker;
  ProgressSink& sink;
  CarvedFileWriter& writer;
  std::span<const CarveEntry> entries;
  std::uint64_t firstSector = 0;
  std::uint64_t endSector = 0;  // the first sector after the range
  bool exactEnds = true;        // false: the whole-sector rule for every type that has one
};

struct CarveSummary {
  std::map<std::string, std::uint64_t, std::less<>> filesPerType;  // files written whole
  std::uint64_t filesWritten = 0;
  std::uint64_t bytesWritten = 0;
  std::vector<std::filesystem::path> failedFiles;  // short writes, removed
  std::uint64_t declinedFiles = 0;                 // not written: No to the space question
  bool stopped = false;                            // the user's stop, or the writer's
  bool noMemory = false;
  std::string_view endMessage;                     // kMsgRawCompleted or kMsgRawAborted
};

// Runs the scan on the calling thread. Every way out ends the same way: the
// end message goes to the sink's status and into the summary, so the
// front end always closes its progress.
CarveSummary RunRawScan(CarveJob& job);

// What a scan found but did not write: a line for each file removed after a
// short write, then one with the count left out for want of space. Empty
// when every file found was written.
std::string UnwrittenFilesText(const CarveSummary& summary);

}  // namespace korv
