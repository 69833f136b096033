// Long (VFAT) names: the entries of 13 UTF-16 characters that lie just before
// the short entry they name, possibly in earlier sectors of the folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fs/boot_parameters.h"
#include "fs/fat/fat_table.h"
#include "platform/bytes.h"
#include "storage/sector_source.h"

namespace korv {

// The sectors a folder's entries fill, in order: the fixed root area of
// FAT12/16, or the clusters of the folder's chain.
class FolderSectors {
 public:
  static FolderSectors RootArea(std::uint64_t firstSector, std::uint32_t sectorCount);
  static FolderSectors Clusters(const BootParameters& boot, FolderChain chain);

  std::uint64_t size() const;
  // The sector at `index` (below size()) of the folder; 0 past the end of a chain.
  std::uint64_t SectorAt(std::uint64_t index) const;

 private:
  std::uint64_t rootFirst_ = 0;
  std::uint64_t rootCount_ = 0;
  FolderChain chain_;
  BootParameters boot_;
};

// The long name of the short entry at entryOffset of sectorCopy, the folder's
// sector number `sectorIndex` (counted within the folder). Walks back entry by
// entry, into earlier sectors of the folder when needed (read into a buffer
// of its own; sectorCopy is left alone), never before the folder's first
// sector. The name ends at a NUL character, at the entry flagged last (0x40
// plus its position), after 255 characters, or at an entry that is not part
// of the name (not a long-name entry, or carrying another name's checksum);
// in the last case only a name that filled its entries exactly is taken.
// nullopt when there is no long name.
std::optional<std::u16string> ReadLongName(SectorSource& sectors, const FolderSectors& folder,
                                           std::uint64_t sectorIndex, ByteView sectorCopy, std::uint32_t entryOffset);

}  // namespace korv
