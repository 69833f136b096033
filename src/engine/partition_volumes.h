// The volumes a partition scan listed, as the user picks one: which one is
// picked, what picking it sets for the copy run, and the copy of a picked
// NTFS volume.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/analysis_driver.h"

namespace korv {

// True for a number the list can be picked by: 1 to `count`. The list's
// root, 0, a number past the list and an empty list pick nothing.
bool IsListedVolume(std::int64_t number, std::size_t count);

// The volume the run's flags name, when it is one of the list.
std::optional<std::uint16_t> PickedVolume(const AnalysisJob& job);

// Picking a volume: its geometry goes into the boot words the copy run
// starts from. An NTFS volume gives its cluster size, its first sector (from
// which its clusters count) and its record sizes. A FAT volume also names
// the file system the range is analysed as; one found without a boot
// sector has its FATs searched for first (SearchFatCopies), and takes the
// range's end and its cluster-0 sector where its own are not known (written
// into the candidate).
void UsePickedVolume(SectorSource& sectors, VolumeCandidate& candidate, BootParameters& boot, SelectedRange& range);

// The candidate with the extent picking it gives when its own is not known:
// the range's end, and its cluster-0 sector as its first sector.
VolumeCandidate ShownVolumeExtent(VolumeCandidate candidate, const SelectedRange& range);

// Looks below the volume's cluster-0 sector for the sectors that begin a FAT
// (F8 FF FF): the first found is the first FAT, the second the second FAT,
// which also give the FAT's size and, on FAT16, the root area after the
// second FAT. Only the first FAT's position is kept when the second is not
// found.
void SearchFatCopies(SectorSource& sectors, VolumeCandidate& candidate);

// The volume-copy run of an NTFS range: the picked volume's finds go into
// the store (the scan lists stay for another pick). NoWorker when no volume
// of the list is picked.
AnalysisOutcome CopyNtfsVolume(AnalysisJob& job);

}  // namespace korv
