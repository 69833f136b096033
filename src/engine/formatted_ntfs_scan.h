// The signature scan of the formatted NTFS recovery: every sector of the
// range is tested for an MFT file record ("FILE"), an index record ("INDX")
// and an NTFS boot sector. File records go to the scan lists; index records
// and boot sectors to the lists below, which only the later steps read.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/analysis_job.h"
#include "engine/formatted_ntfs_step.h"
#include "platform/bytes.h"

namespace korv {

struct IndexRecordHit {
  std::uint64_t sector = 0;
  std::uint32_t dirNumber = 0;  // the directory the record belongs to
  std::uint32_t vcn = 0;
};

struct NtfsBootHit {
  std::uint64_t sector = 0;
  std::uint32_t sectorsPerCluster = 0;  // byte 0x0D as it stands, checked by the volume step
  std::uint32_t sectorsPerIndexRecord = 0;
  std::uint32_t sectorsPerMftRecord = 0;
  std::uint32_t totalSectors = 0;  // low 32 bits
  std::uint32_t mftCluster = 0;
  std::uint32_t mftMirrCluster = 0;
};

struct SignatureFinds {
  std::vector<IndexRecordHit> indexHits;
  std::vector<NtfsBootHit> bootHits;
};

// Sectors read per request: 1,000 of 512 bytes, fewer of larger sectors.
std::uint32_t ScanChunkSectors(std::uint32_t sectorBytes);

// A sector ending in 0x55 0xAA with the OEM id "NTFS", decoded as the scan
// keeps it; nothing for any other sector.
std::optional<NtfsBootHit> ReadNtfsBootHit(ByteView sector, std::uint64_t sectorNumber);

// Scans the range from its first to its end sector. A stop ends the scan
// with what was found; Abandon says Back ended it.
StepGo ScanNtfsSignatures(AnalysisJob& job, SignatureFinds& finds);

}  // namespace korv
