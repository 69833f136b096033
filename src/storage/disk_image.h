// The program's own raw disk images: a folder holding "DiskImage0.dmg",
// further pieces "DiskImage1.dmg", ... when the image is split, and an
// optional "bps.dmg" with the sector size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "storage/current_source.h"

namespace korv {

inline constexpr std::string_view kMsgImagePathNotFound = "Image path not found. Please specify image path.";
inline constexpr std::string_view kImageFirstPieceName = "DiskImage0.dmg";
inline constexpr std::string_view kImageSectorSizeName = "bps.dmg";

struct ImageFolderOutcome {
  bool accepted = false;
  std::string message;                // the refusal, empty when accepted
  std::filesystem::path imagePath;    // folder + "DiskImage0.dmg", as the source tree shows it
  int pieceCount = 0;
};

// Makes the folder the current source when it holds "DiskImage0.dmg";
// otherwise refuses with kMsgImagePathNotFound and changes nothing.
ImageFolderOutcome OpenImageFolder(CurrentSource& source, const std::filesystem::path& folder);

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
