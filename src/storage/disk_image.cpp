#include "storage/disk_image.h"

#include "platform/bytes.h"
#include "platform/file.h"
#include "storage/inventory.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::int32_t kDefaultSectorBytes = 512;
constexpr std::int32_t kLargestSectorBytes = 65536;
// A folder with more pieces than this is not an image this program wrote.
constexpr int kMaxPieces = 1 << 20;

// The sector size stored in "bps.dmg": a full 4-byte power of two from 512 to
// 65,536. Anything else (missing, short, zero, odd) leaves the default, so
// that no caller sizes its buffer from a damaged value.
std::int32_t ReadStoredSectorSize(const fs::path& folder) {
  auto file = File::OpenReadOnly(folder / kImageSectorSizeName);
  if (!file) return kDefaultSectorBytes;
  std::uint8_t bytes[4] = {};
  if (!file->ReadExactAt(0, bytes)) return kDefaultSectorBytes;
  const auto value = ByteView(bytes, sizeof bytes).u32le(0).value_or(0);
  if (value < kDefaultSectorBytes || value > kLargestSectorBytes || !IsPowerOfTwo(value)) return kDefaultSectorBytes;
  return static_cast<std::int32_t>(value);
}

int CountPieces(const fs::path& folder) {
  int count = 0;
  while (count < kMaxPieces && PathExists(ImagePiecePath(folder, static_cast<std::uint64_t>(count)))) ++count;
  return count;
}

}  // namespace

fs::path ImagePiecePath(const fs::path& folder, std::uint64_t pieceNumber) {
  return folder / ("DiskImage" + std::to_string(pieceNumber) + ".dmg");
}

bool IsImagePath(const fs::path& path) {
  if (IsDirectory(path)) return true;
  return path.filename() == kImageFirstPieceName && IsRegularFile(path);
}

fs::path ImageFolderOf(const fs::path& path) { return IsDirectory(path) ? path : path.parent_path(); }

bool HasDiskSignature(std::span<const std::uint8_t> firstSector) {
  constexpr std::size_t kSignatureAt = 510;
  return ByteView(firstSector).u16le(kSignatureAt).value_or(0) == 0xAA55;
}

bool LooksLikeRawDisk(const fs::path& path) {
  if (!IsRegularFile(path)) return false;
  const std::string extension = path.extension().string();
  for (const std::string_view raw : {".img", ".raw", ".dd"}) {
    if (extension.size() == raw.size() && EndsWithIgnoringCase(extension, raw)) return true;
  }
  auto file = File::OpenReadOnly(path);
  std::uint8_t sector[512] = {};
  return file && file->ReadExactAt(0, sector) && HasDiskSignature(sector);
}

ImageFolderOutcome OpenRawImage(CurrentSource& source, const fs::path& path) {
  ImageFolderOutcome outcome;
  std::error_code error;
  const fs::path file = fs::absolute(path, error);
  if (error || !IsRegularFile(file)) {
    outcome.message = std::string(kMsgImagePathNotFound);
    return outcome;
  }
  outcome.accepted = true;
  outcome.imagePath = file;
  outcome.pieceCount = 1;
  source.bytesPerSector = kDefaultSectorBytes;
  source.imageFolder = file.parent_path();
  source.imageFile = file;
  source.imageSplit = false;
  source.kind = SourceKind::DiskImage;
  source.displayName = file.string();
  return outcome;
}

fs::path ImageFolderBeingRead(const CurrentSource& source) {
  if (!source.isImage() || !source.imageFile.empty()) return {};
  return source.imageFolder;
}

VirtualDiskFacts ImageFolderFacts(const CurrentSource& source) {
  VirtualDiskFacts facts;
  if (!source.imageFile.empty()) {
    std::error_code error;
    facts.diskSizeBytes = facts.inventorySizeBytes = fs::file_size(source.imageFile, error);
    if (error) facts.diskSizeBytes = facts.inventorySizeBytes = 0;
    facts.mediaTypeText = std::string(kVirtualMediaPrefix) + " " + std::string(kRawImageFormatName);
    facts.diskTypeText = std::string(kImageWholeText);
    return facts;
  }
  const int pieces = CountPieces(source.imageFolder);
  for (int n = 0; n < pieces; ++n) {
    std::error_code error;
    const auto bytes = fs::file_size(ImagePiecePath(source.imageFolder, static_cast<std::uint64_t>(n)), error);
    if (error) break;
    facts.diskSizeBytes += bytes;
  }
  facts.inventorySizeBytes = facts.diskSizeBytes;
  facts.mediaTypeText = std::string(kVirtualMediaPrefix) + " " + std::string(kImageFormatName);
  facts.diskTypeText = std::string(source.imageSplit ? kImageSplitText : kImageWholeText);
  return facts;
}

std::optional<VirtualDiskFacts> OpenDiskFacts(const CurrentSource& source) {
  if (source.virtualDisk) return source.virtualDisk->facts();
  if (!source.imageFolder.empty()) return ImageFolderFacts(source);
  return std::nullopt;
}

ImageFolderOutcome OpenImageFolder(CurrentSource& source, const fs::path& folder) {
  ImageFolderOutcome outcome;
  outcome.imagePath = folder / kImageFirstPieceName;
  if (!IsRegularFile(outcome.imagePath)) {
    outcome.message = std::string(kMsgImagePathNotFound);
    return outcome;
  }
  outcome.accepted = true;
  outcome.pieceCount = CountPieces(folder);
  source.bytesPerSector = ReadStoredSectorSize(folder);
  source.imageFolder = folder;
  source.imageFile.clear();
  source.imageSplit = outcome.pieceCount > 1;
  source.kind = SourceKind::DiskImage;
  source.displayName = outcome.imagePath.string();
  return outcome;
}

std::uint64_t SectorsPerPiece(const CurrentSource& source) {
  const auto sectorBytes = static_cast<std::uint64_t>(source.bytesPerSector > 0 ? source.bytesPerSector : 512);
  const std::uint64_t sectors = source.imagePieceSpanBytes / sectorBytes;
  return sectors > 0 ? sectors : 1;
}

ImagePosition MapImageSector(const CurrentSource& source, std::uint64_t sector) {
  if (!source.imageFile.empty()) return {source.imageFile, sector};
  if (!source.imageSplit) return {ImagePiecePath(source.imageFolder, 0), sector};
  const std::uint64_t perPiece = SectorsPerPiece(source);
  return {ImagePiecePath(source.imageFolder, sector / perPiece), sector % perPiece};
}

}  // namespace korv
