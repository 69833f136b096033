// What the volume targets share: a session over a disk held in memory with
// one volume of it selected, as a partition pick selects it, and the
// extraction of every file an analysis found.
#pragma once

#include <cstdint>
#include <filesystem>

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
