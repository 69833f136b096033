#include "imaging/run_imaging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "imaging/hash_pipe.h"
#include "platform/bytes.h"
#include "storage/allocation_stretches.h"
#include "storage/disk_image.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;  // one read per chunk
// Zeros of an image are left as holes in blocks of this size.
constexpr std::size_t kSparseBlockBytes = 64 * 1024;
constexpr mode_t kNewFileMode = 0666;         // narrowed by the umask
// A folder holds no more pieces than this; the leftover sweep stops there.
constexpr std::uint64_t kMaxLeftoverPieces = 1 << 20;

std::string ReasonOf(int error) { return std::system_category().message(error); }

class FilePiece final : public ImagePiece {
 public:
  explicit FilePiece(int fd) : fd_(fd) {}
  ~FilePiece() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    const std::uint64_t start = offset;
    while (!bytes.empty()) {
      const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      bytes = bytes.subspan(static_cast<std::size_t>(written));
      offset += static_cast<std::uint64_t>(written);
    }
    // Starts the disk writes now, so the flush at the end finds little left
    // to do. Only a hint: the flush checks the outcome.
    ::sync_file_range(fd_, static_cast<off_t>(start), static_cast<off_t>(offset - start), SYNC_FILE_RANGE_WRITE);
    return true;
  }

  bool Finish(std::uint64_t length) override {
    bool whole = ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
    whole = ::fdatasync(fd_) == 0 && whole;
    whole = ::close(fd_) == 0 && whole;
    fd_ = -1;
    return whole;
  }

 private:
  int fd_ = -1;
};

int OpenNewPiece(const fs::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
}

// A piece of an earlier image made read-only is made writable again first,
// as the user would expect of a file this program wrote.
void MakeWritable(const fs::path& path) {
  std::error_code error;
  if (fs::is_regular_file(fs::symlink_status(path, error))) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, error);
  }
}

// Sectors per chunk: the chunk size at this sector size, at least one.
std::uint32_t ChunkSectors(std::uint32_t sectorBytes) {
  return static_cast<std::uint32_t>(std::max<std::size_t>(1, kChunkBytes / sectorBytes));
}

class ImagingRun {
 public:
  explicit ImagingRun(const ImagingJob& job)
      : job_(job),
        sectorBytes_(job.sectors.sectorBytes()),
        chunkSectors_(ChunkSectors(sectorBytes_)),
        sectorsPerPiece_(SectorsPerImagePiece(job.pieceSpanBytes, sectorBytes_)),
        stretches_(job.sectors.source()),
        hash_(std::size_t{chunkSectors_} * sectorBytes_) {}

  ImagingSummary Run();

 private:
  bool imageMode() const { return !job_.target.toDisk; }
  void PrepareSectorSizeFile();
  bool ReadChunk(std::uint64_t sector, std::uint32_t count, std::span<std::uint8_t> bytes);
  std::uint64_t RecountUnreadable(std::uint64_t sector, std::uint32_t count, std::span<std::uint8_t> bytes);
  bool OpenPieceIfNeeded();
  bool ClosePiece();
  bool WriteChunk(std::uint32_t count, std::span<const std::uint8_t> bytes);
  bool WriteNonZeroRuns(std::span<const std::uint8_t> bytes);
  bool AskAfterWriteFailure(const fs::path& what);
  void ShowProgress(std::uint64_t sector, std::uint64_t firstSector, std::uint64_t endSector);
  void DeleteLeftoverPieces();
  void ComposeEndMessage();

  const ImagingJob& job_;
  const std::uint32_t sectorBytes_;
  const std::uint32_t chunkSectors_;
  const std::uint64_t sectorsPerPiece_;
  AllocationStretches stretches_;
  HashPipe hash_;
  ImagingSummary summary_;

  std::unique_ptr<ImagePiece> piece_;
  std::uint64_t sectorsInPiece_ = 0;
  std::uint64_t pieceNumber_ = 0;
  bool aborted_ = false;
};

void ImagingRun::PrepareSectorSizeFile() {
  const fs::path path = job_.target.imageFolder / kImageSectorSizeName;
  std::error_code error;
  MakeWritable(path);
  fs::remove(path, error);
  if (sectorBytes_ <= kVirtualSectorBytes) return;
  const int fd = OpenNewPiece(path);
  if (fd < 0) return;
  std::uint8_t bytes[4];
  StoreU32le(bytes, sectorBytes_);
  FilePiece file(fd);
  file.WriteAt(0, bytes);
  file.Finish(sizeof bytes);
}

// Reads the chunk; when the read failed, finds which sectors are unreadable
// one by one, so the count is exact and every readable sector is kept.
bool ImagingRun::ReadChunk(std::uint64_t sector, std::uint32_t count, std::span<std::uint8_t> bytes) {
  const std::uint64_t unheld = stretches_.UnheldAt(sector);
  if (unheld >= count) {
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    return true;  // a hole: zeros, known without reading
  }
  if (job_.sectors.ReadCurrent(sector, count, bytes) != 0) return false;
  summary_.sectorsUnreadable += RecountUnreadable(sector, count, bytes);
  return false;
}

std::uint64_t ImagingRun::RecountUnreadable(std::uint64_t sector, std::uint32_t count, std::span<std::uint8_t> bytes) {
  // The user answered the bad-sector question for the chunk already; the
  // sectors are tried once more each, without asking again.
  SelectedRange& range = job_.sectors.range();
  const BadSectorPolicy answered = range.badSectorPolicy;
  range.badSectorPolicy = BadSectorPolicy::SkipAll;
  std::uint64_t unreadable = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto one = bytes.subspan(std::size_t{i} * sectorBytes_, sectorBytes_);
    if (job_.sectors.ReadCurrent(sector + i, 1, one) == 0) ++unreadable;
  }
  range.badSectorPolicy = answered;
  return unreadable;
}

bool ImagingRun::OpenPieceIfNeeded() {
  if (piece_ && job_.target.split && sectorsInPiece_ >= sectorsPerPiece_) {
    if (!ClosePiece()) return false;
  }
  if (piece_) return true;
  const fs::path path = ImagePiecePath(job_.target.imageFolder, pieceNumber_);
  MakeWritable(path);
  std::string reason;
  piece_ = job_.output.Create(path, reason);
  if (!piece_) {
    summary_.failure = std::string(kMsgPieceNotCreated) + path.string() + ": " + reason;
    return false;
  }
  summary_.pieces.push_back(path);
  ++pieceNumber_;
  sectorsInPiece_ = 0;
  return true;
}

bool ImagingRun::ClosePiece() {
  if (!piece_) return true;
  const bool whole = piece_->Finish(sectorsInPiece_ * sectorBytes_);
  piece_.reset();
  if (whole) return true;
  summary_.failure = std::string(kMsgPieceNotFlushed) + summary_.pieces.back().string();
  return false;
}

// Asks the copy-error question unless "S&kip All" stands. False: abort.
bool ImagingRun::AskAfterWriteFailure(const fs::path& what) {
  if (job_.errors.skipAll) return true;
  ApplyCopyErrorAnswer(job_.errors, job_.questions.AskCopyError(kQuestionCopyError, what));
  if (!job_.errors.abort) return true;
  job_.errors.Clear();
  return false;
}

// Writes the chunk's runs of blocks that are not all zeros; the zero blocks
// between them stay holes of the piece.
bool ImagingRun::WriteNonZeroRuns(std::span<const std::uint8_t> bytes) {
  const std::uint64_t chunkOffset = sectorsInPiece_ * sectorBytes_;
  std::size_t runStart = 0;
  std::size_t runEnd = 0;
  const auto flush = [&] {
    if (runEnd == runStart) return true;
    const bool written = piece_->WriteAt(chunkOffset + runStart, bytes.subspan(runStart, runEnd - runStart));
    if (written) summary_.bytesWritten += runEnd - runStart;
    return written;
  };
  for (std::size_t at = 0; at < bytes.size(); at += kSparseBlockBytes) {
    const auto block = bytes.subspan(at, std::min(kSparseBlockBytes, bytes.size() - at));
    if (!IsAllZero(block)) {
      if (runEnd != at) {
        if (!flush()) return false;
        runStart = at;
      }
      runEnd = at + block.size();
    }
  }
  return flush();
}

bool ImagingRun::WriteChunk(std::uint32_t count, std::span<const std::uint8_t> bytes) {
  bool written = false;
  fs::path what;
  if (imageMode()) {
    what = summary_.pieces.back();
    written = WriteNonZeroRuns(bytes);
  } else {
    what = job_.target.targetDevicePath;
    written = job_.sectors.WriteSectors(job_.target.targetDevicePath, sectorsInPiece_, count, bytes) != 0;
  }
  if (written) {
    if (!imageMode()) summary_.bytesWritten += bytes.size();
    return true;
  }
  summary_.sectorsUnwritten += count;
  return AskAfterWriteFailure(what);
}

void ImagingRun::ShowProgress(std::uint64_t sector, std::uint64_t firstSector, std::uint64_t endSector) {
  job_.progress.SetText(ProgressField::Status,
                        imageMode() ? summary_.pieces.back().string() : job_.target.targetText);
  job_.progress.SetText(ProgressField::Sector, std::to_string(sector));
  const std::uint64_t span = endSector - firstSector;
  if (span > 0) job_.progress.SetPercent(static_cast<int>(std::min<std::uint64_t>(100, (sector - firstSector) * 100 / span)));
}

// The pieces after this image's last one belong to an earlier, longer image;
// left in place they would make the reader see a longer, mixed image.
void ImagingRun::DeleteLeftoverPieces() {
  for (std::uint64_t n = pieceNumber_; n < pieceNumber_ + kMaxLeftoverPieces; ++n) {
    const fs::path path = ImagePiecePath(job_.target.imageFolder, n);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return;
    MakeWritable(path);
    fs::remove(path, error);
  }
}

void ImagingRun::ComposeEndMessage() {
  summary_.endMessage = std::string(summary_.finished ? kMsgImageCreated : kMsgImageAborted);
  if (!summary_.failure.empty()) summary_.endMessage += "\n" + summary_.failure;
  if (summary_.sectorsUnreadable > 0) {
    summary_.endMessage += "\n" + std::to_string(summary_.sectorsUnreadable) + std::string(kMsgSectorsUnreadableTail);
  }
  if (summary_.sectorsUnwritten > 0) {
    summary_.endMessage += "\n" + std::to_string(summary_.sectorsUnwritten) + std::string(kMsgSectorsUnwrittenTail);
  }
}

ImagingSummary ImagingRun::Run() {
  const SelectedRange& range = job_.sectors.range();
  const std::uint64_t firstSector = range.firstSector;
  const std::uint64_t endSector = range.endSector;
  if (imageMode()) PrepareSectorSizeFile();

  std::uint64_t sector = firstSector;
  bool ended = false;
  while (sector < endSector && !ended) {
    std::uint64_t n = std::min<std::uint64_t>(chunkSectors_, endSector - sector);
    if (imageMode() && job_.target.split) {
      const std::uint64_t inPiece = sectorsInPiece_ >= sectorsPerPiece_ ? 0 : sectorsInPiece_;
      n = std::min(n, sectorsPerPiece_ - inPiece);
    }
    const auto count = static_cast<std::uint32_t>(n);
    const auto bytes = hash_.Acquire().first(std::size_t{count} * sectorBytes_);
    const bool zeros = ReadChunk(sector, count, bytes);
    if (imageMode() && !OpenPieceIfNeeded()) break;
    // An image keeps zeros as holes; a disk target may hold old data there.
    if (!(imageMode() && zeros) && !WriteChunk(count, bytes)) {
      aborted_ = true;
      ended = true;
    }
    hash_.Hand(bytes.size());
    sector += n;
    sectorsInPiece_ += n;
    summary_.sectorsCopied = sector - firstSector;
    ShowProgress(sector, firstSector, endSector);
    if (!job_.worker.checkpoint()) ended = true;
  }
  const bool closed = ClosePiece();
  // An empty range copies nothing, which is no image.
  summary_.finished = endSector > firstSector && sector >= endSector && !aborted_ && closed && summary_.failure.empty();
  const std::string digest = hash_.Finish();
  // The digest is of what was read; it is the image's only when all of it
  // reached the target.
  if (summary_.finished && summary_.sectorsUnwritten == 0) summary_.sha256 = digest;
  if (imageMode()) DeleteLeftoverPieces();
  ComposeEndMessage();
  return summary_;
}

}  // namespace

std::unique_ptr<ImagePiece> FileImageOutput::Create(const fs::path& path, std::string& reason) {
  const int fd = OpenNewPiece(path);
  if (fd < 0) {
    reason = ReasonOf(errno);
    return nullptr;
  }
  return std::make_unique<FilePiece>(fd);
}

std::uint64_t SectorsPerImagePiece(std::uint64_t pieceSpanBytes, std::uint32_t sectorBytes) {
  if (sectorBytes == 0) return 1;
  return std::max<std::uint64_t>(1, pieceSpanBytes / sectorBytes);
}

ImagingSummary RunImaging(const ImagingJob& job) {
  job.worker.ClearStop();
  ImagingRun run(job);
  return run.Run();
}

}  // namespace korv
