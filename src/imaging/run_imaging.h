// The copy of "Create Disk Image": the selected range, chunk by chunk,
// into the pieces of an image folder or onto another disk, with the SHA-256
// of the whole image computed on the way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress.h"
#include "common/worker_control.h"
#include "imaging/imaging_target.h"
#include "save/save_state.h"
#include "storage/sector_source.h"

namespace korv {

inline constexpr std::string_view kMsgImageCreated = "Disk Image created successfully.";
inline constexpr std::string_view kMsgImageAborted = "Disk Image creation aborted.";
// Added under the end message when sectors were lost.
inline constexpr std::string_view kMsgSectorsUnreadableTail = " sectors could not be read; the image holds zeros in their place.";
inline constexpr std::string_view kMsgSectorsUnwrittenTail = " sectors could not be written to the target.";
inline constexpr std::string_view kMsgPieceNotCreated = "The image file could not be created: ";
inline constexpr std::string_view kMsgPieceNotFlushed = "The image file could not be written to the disk: ";

// One piece file being written.
class ImagePiece {
 public:
  virtual ~ImagePiece() = default;
  virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
  // Gives the piece its full length (what was never written stays a hole),
  // flushes it to the disk and closes it; false when any of that failed.
  virtual bool Finish(std::uint64_t length) = 0;
};

// How pieces are created: the real file system, or a test's.
class ImageOutput {
 public:
  virtual ~ImageOutput() = default;
  // Creates the piece empty (replacing a piece of an earlier image); nullptr
  // with `reason` set when it cannot be created.
  virtual std::unique_ptr<ImagePiece> Create(const std::filesystem::path& path, std::string& reason) = 0;
};

// Pieces as files, written with positioned writes.
class FileImageOutput final : public ImageOutput {
 public:
  std::unique_ptr<ImagePiece> Create(const std::filesystem::path& path, std::string& reason) override;
};

struct ImagingJob {
  SectorSource& sectors;
  WorkerControl& worker;
  ProgressSink& progress;
  SaveQuestions& questions;  // the copy-error dialog
  ErrorPolicy& errors;       // its standing answers, shared with saving
  const ImagingTarget& target;
  ImageOutput& output;
  // Bytes a piece of a split image holds at most; tests make it small.
  std::uint64_t pieceSpanBytes = 0x80000000ULL;
};

struct ImagingSummary {
  bool finished = false;  // every sector of the range was copied
  std::uint64_t sectorsCopied = 0;
  std::uint64_t sectorsUnreadable = 0;  // zero-filled in the image
  std::uint64_t sectorsUnwritten = 0;   // lost to "&Skip" of the copy-error dialog
  std::uint64_t bytesWritten = 0;       // what reached the target; zeros of an image are not written
  std::string sha256;                   // of the image as one stream, when finished whole
  std::vector<std::filesystem::path> pieces;
  std::string failure;     // why the run ended early, naming the file and the reason
  std::string endMessage;  // what the user is shown at the end
};

// Sectors a piece holds, for the sector size of the source.
std::uint64_t SectorsPerImagePiece(std::uint64_t pieceSpanBytes, std::uint32_t sectorBytes);

// Copies SelectedRange [firstSector, endSector) to the target. Reads go
// through ReadSectors with its bad-sector policy; unreadable sectors are
// found one by one and counted. Chunks of an image that read as zeros, or
// that the container reports unallocated, are not written, so the pieces
// stay sparse. Pieces of an earlier, longer image left in the folder are
// deleted at the end.
ImagingSummary RunImaging(const ImagingJob& job);

}  // namespace korv
