// Deleted or Formatted Data Recovery over a FAT12, FAT16 or FAT32 volume
// made of the input, followed by the extraction of every file found. The
// first byte picks the type (its value modulo 3) and the mode (Deleted for
// 0-2, Formatted for 3-5, and so on); the rest is the volume from its
// boot sector on, with the geometry mkfs.fat gives such a volume (one
// sector a cluster) patched into the boot sector and the media byte into
// both FATs, so the input is spent on the FATs, folders and data. What the
// geometry leaves alone (the FAT32 root cluster, FSInfo and backup boot
// sector fields, the boot code) stays as the input has it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "volume_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t geometry = data[0] % korv::fuzz::kFatGeometryCount;
  // One mode an input: each run reads the whole volume, and a deleted-data
  // run that finds nothing goes on to the formatted scan anyway.
  const auto mode = (data[0] / korv::fuzz::kFatGeometryCount) % 2 == 0 ? korv::RecoveryMode::DeletedData
                                                                         : korv::RecoveryMode::FormattedData;
  korv::fuzz::VolumeSession volume(korv::fuzz::FatDiskSectors(geometry));
  korv::fuzz::MakeFatVolume(volume, geometry, std::span(data + 1, size - 1));
  volume.session.AnalyseSelectedRange(mode, volume.progress);
  korv::fuzz::ExtractEveryFile(volume.session, korv::fuzz::EmptyScratchFolder("out"));
  return 0;
}
