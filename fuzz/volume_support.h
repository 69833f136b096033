// What the volume targets share: a session over a disk held in memory with
// one volume of it selected, as a partition pick selects it, and the
// extraction of every file an analysis found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "app/session.h"
#include "common/progress.h"
#include "fuzz_support.h"
#include "support/memory_disk.h"

namespace korv::fuzz {

// A session whose source is `disk`, with no inventory of its own (the path
// named lies in a scratch folder and is never written). The disk's memory is
// kept from input to input (zeroed for each): a fresh allocation of a few
// MiB costs more than the analysis of most inputs.
struct VolumeSession {
  explicit VolumeSession(std::size_t diskSectors);
  VolumeSession(const VolumeSession&) = delete;
  VolumeSession& operator=(const VolumeSession&) = delete;

  // Selects sectors [first, first + count) as a volume of `fileSystem`.
  void SelectVolume(std::uint64_t first, std::uint64_t count, FileSystemKind fileSystem);

  QuietPrompts prompts;
  test::MemoryDisk& disk;
  Session session;
  NullProgress sink;
  AnalysisProgress progress{sink};
};

// FAT volumes made of an input: the geometry mkfs.fat gives a FAT12 of
// 1 MiB, a FAT16 of 3 MiB and a FAT32 of 2 MiB (one sector a cluster),
// picked by number, lying 63 sectors into the disk as behind an MBR.
inline constexpr std::size_t kFatGeometryCount = 3;
// The disk sectors a session needs for the volume of `geometry`.
std::size_t FatDiskSectors(std::size_t geometry);
// Fills the volume with `bytes` from its boot sector on, patches that
// geometry into the boot sector and the media byte into both FATs (so the
// input is spent on the FATs, folders and data), and selects the volume.
// What the geometry leaves alone (the FAT32 root cluster, FSInfo and backup
// boot sector fields, the boot code) stays as the input has it.
void MakeFatVolume(VolumeSession& volume, std::size_t geometry, std::span<const std::uint8_t> bytes);

// Bounds on the work of one extraction pass, so that an input that makes a
// thousand files, or one file of 4 GiB, still runs in milliseconds.
struct ExtractionLimits {
  std::size_t maxFiles = 64;             // files written; the rest are only located
  std::uint64_t maxFileBytes = 4 << 20;  // a bigger file is only located
};

// Locates the data of every file in the session's store and writes it, as
// a preview extraction does, to one file in `folder` (rewritten per file).
void ExtractEveryFile(Session& session, const std::filesystem::path& folder, ExtractionLimits limits = {});

}  // namespace korv::fuzz
