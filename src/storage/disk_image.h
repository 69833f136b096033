// The program's own raw disk images: a folder holding "DiskImage0.dmg",
// further pieces "DiskImage1.dmg", ... when the image is split, and an
// optional "bps.dmg" with the sector size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "storage/current_source.h"
#include "storage/virtual_disk.h"

namespace korv {

inline constexpr std::string_view kMsgImagePathNotFound = "Image path not found. Please specify image path.";
inline constexpr std::string_view kImageFirstPieceName = "DiskImage0.dmg";
inline constexpr std::string_view kImageSectorSizeName = "bps.dmg";
// How the inventory and the command line name an image folder.
inline constexpr std::string_view kImageFormatName = "Disk Image";
inline constexpr std::string_view kRawImageFormatName = "Raw Disk Image";
inline constexpr std::string_view kImageWholeText = "Whole";
inline constexpr std::string_view kImageSplitText = "Split";

struct ImageFolderOutcome {
  bool accepted = false;
  std::string message;                // the refusal, empty when accepted
  std::filesystem::path imagePath;    // folder + "DiskImage0.dmg", as the source tree shows it
  int pieceCount = 0;
};

// Makes the folder the current source when it holds "DiskImage0.dmg";
// otherwise refuses with kMsgImagePathNotFound and changes nothing.
ImageFolderOutcome OpenImageFolder(CurrentSource& source, const std::filesystem::path& folder);

// Whether a path the user picked names an image: its folder, or the
// folder's first piece.
bool IsImagePath(const std::filesystem::path& path);
// Whether a disk's first sector ends in the signature partition tables and
// boot sectors carry (55 AA).
bool HasDiskSignature(std::span<const std::uint8_t> firstSector);

// Whether a file no container format took reads as a raw disk: a partition
// table or boot sector at sector 0, or the name of a raw image (".img",
// ".raw", ".dd").
bool LooksLikeRawDisk(const std::filesystem::path& path);
// Makes the raw disk image at `path` the current source.
ImageFolderOutcome OpenRawImage(CurrentSource& source, const std::filesystem::path& path);
// The folder of an image path (the path itself when it is a folder).
std::filesystem::path ImageFolderOf(const std::filesystem::path& path);

// The image folder the source reads, when it is one (not a raw file):
// the one folder an image must not be written into.
std::filesystem::path ImageFolderBeingRead(const CurrentSource& source);

// What the inventory records about the open image: its size is the bytes
// of its pieces in order, up to the first missing one.
VirtualDiskFacts ImageFolderFacts(const CurrentSource& source);
// The facts of the open disk file, a virtual disk or an image; nothing
// before one is open.
std::optional<VirtualDiskFacts> OpenDiskFacts(const CurrentSource& source);

struct ImagePosition {
  std::filesystem::path piecePath;
  std::uint64_t sectorInPiece = 0;
};

std::filesystem::path ImagePiecePath(const std::filesystem::path& folder, std::uint64_t pieceNumber);

// Sectors one piece holds at the source's sector size.
std::uint64_t SectorsPerPiece(const CurrentSource& source);

// The piece and position of a sector: for a split image by piece mapping,
// for a whole image always the first piece at the sector itself.
ImagePosition MapImageSector(const CurrentSource& source, std::uint64_t sector);

}  // namespace korv
