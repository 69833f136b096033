// Where the MFT's records lie, and where a file's data lies: run lists that
// follow a file's $DATA through the extension records its attribute list
// names.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fs/boot_parameters.h"
#include "fs/ntfs/run_list.h"
#include "platform/bytes.h"
#include "platform/read_buffer.h"
#include "storage/sector_source.h"

namespace korv {

inline constexpr std::uint32_t kMftRecordNumber = 0;
inline constexpr std::uint32_t kRootDirectoryRecordNumber = 5;

// The $MFT's own data runs.
struct MftRunList {
  RunList list;
  std::uint32_t sectorsPerMftRecord = 0;

  bool empty() const { return list.runs.empty(); }
  std::uint16_t runCount() const { return static_cast<std::uint16_t>(list.runs.size()); }
};

// Builds the $MFT's run list: record 5 and record 0 at mftFirstSector must
// be "FILE" records (else the list stays empty); record 0's unnamed $DATA
// gives the first extent, and the $DATA entries of its attribute list
// (resident or not) give the others, each extension's runs taken once, in
// order of starting VCN, and only while they continue the runs built so far.
MftRunList BuildMftRunList(SectorSource& sectors, const BootParameters& parameters);

// First sector of record `recordNumber`: 0 for a record past the last run,
// in a sparse run, or when the list is empty. Never a record to read.
std::uint64_t MftRecordSector(const MftRunList& mft, std::uint64_t recordNumber);

// Reads record `recordNumber` sector by sector through the run list (a
// record may straddle two runs), and applies its fixups. Nothing when the
// record cannot be located or does not begin with "FILE".
std::optional<ReadBuffer> ReadFileRecord(SectorSource& sectors, const MftRunList& mft,
                                                        std::uint64_t recordNumber);

// Reads the record at `recordSector` (sectorsPerMftRecord sectors), checks
// "FILE" and applies its fixups.
std::optional<ReadBuffer> ReadFileRecordAt(SectorSource& sectors, std::uint64_t recordSector,
                                                          std::uint32_t sectorsPerMftRecord);

// The runs of a file's unnamed $DATA (or, given its name, of one of its
// named streams): the base record's, then those of the extension records
// its attribute list names (located through `mft`), each taken once and in
// order of starting VCN. Empty for resident data or a record that is not
// "FILE".
RunList BuildFileRunList(SectorSource& sectors, const BootParameters& parameters, const MftRunList& mft,
                         std::uint64_t recordSector, std::u16string_view stream = {});

}  // namespace korv
