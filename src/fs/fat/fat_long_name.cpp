#include "fs/fat/fat_long_name.h"

#include <array>
#include <utility>

#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_sector.h"

namespace korv {

namespace {

constexpr std::size_t kCharactersPerEntry = 13;
constexpr std::size_t kMaxCollected = 255;
constexpr std::uint8_t kLastEntryFlag = 0x40;
constexpr std::uint32_t kChecksumOffset = 0x0D;
// Where the 13 characters of a long-name entry lie: 1-5, 6-11, 12-13.
constexpr std::array<std::uint32_t, kCharactersPerEntry> kCharacterOffsets = {
    0x01, 0x03, 0x05, 0x07, 0x09, 0x0E, 0x10, 0x12, 0x14, 0x16, 0x18, 0x1C, 0x1E};

enum class Step { Continue, NameComplete };

// Appends the entry's characters; NameComplete at a NUL.
Step AppendCharacters(ByteView entry, std::u16string& name) {
  for (const std::uint32_t offset : kCharacterOffsets) {
    const auto c = entry.u16le(offset).value_or(0);
    if (c == 0) return Step::NameComplete;
    name += static_cast<char16_t>(c);
  }
  return Step::Continue;
}

std::optional<std::u16string> Found(std::u16string name) {
  if (name.empty()) return std::nullopt;
  return name;
}

// Steps back through a folder's entries from one entry on.
class BackwardEntries {
 public:
  BackwardEntries(SectorSource& sectors, const FolderSectors& folder, std::uint64_t sectorIndex, ByteView sector,
                  std::uint32_t offset)
      : buffer_(sectors), folder_(folder), sectorIndex_(sectorIndex), sector_(sector), offset_(offset) {}

  // The entry before the current one; an empty view before the folder's
  // first entry or when an earlier sector cannot be read.
  ByteView Previous() {
    if (offset_ == 0) {
      if (sectorIndex_ == 0) return {};
      --sectorIndex_;
      if (!buffer_.Read(folder_.SectorAt(sectorIndex_))) return {};
      sector_ = buffer_.view();
      offset_ = kFatSectorBytes;
    }
    offset_ -= kFatEntryBytes;
    return sector_.sub(offset_, kFatEntryBytes);
  }

 private:
  FatSectorBuffer buffer_;
  const FolderSectors& folder_;
  std::uint64_t sectorIndex_;
  ByteView sector_;
  std::uint32_t offset_;
};

}  // namespace

FolderSectors FolderSectors::RootArea(std::uint64_t firstSector, std::uint32_t sectorCount) {
  FolderSectors folder;
  folder.rootFirst_ = firstSector;
  folder.rootCount_ = sectorCount;
  return folder;
}

FolderSectors FolderSectors::Clusters(const BootParameters& boot, FolderChain chain) {
  FolderSectors folder;
  folder.chain_ = std::move(chain);
  folder.boot_ = boot;
  return folder;
}

std::uint64_t FolderSectors::size() const {
  if (chain_.empty()) return rootCount_;
  return chain_.size() * std::uint64_t{boot_.sectorsPerCluster};
}

std::uint64_t FolderSectors::SectorAt(std::uint64_t index) const {
  if (chain_.empty()) return rootFirst_ + index;
  const std::uint64_t perCluster = boot_.sectorsPerCluster;
  if (index >= size()) return 0;  // size() is 0 when perCluster is
  return ClusterSector(boot_, chain_[index / perCluster]) + index % perCluster;
}

std::optional<std::u16string> ReadLongName(SectorSource& sectors, const FolderSectors& folder,
                                           std::uint64_t sectorIndex, ByteView sectorCopy,
                                           std::uint32_t entryOffset) {
  const ByteView shortEntry = sectorCopy.sub(entryOffset, kFatEntryBytes);
  if (shortEntry.empty() || entryOffset % kFatEntryBytes != 0 || entryOffset >= kFatSectorBytes) return std::nullopt;
  if (sectorIndex >= folder.size()) return std::nullopt;

  // A live entry's long name carries its checksum. A deleted entry lost the
  // first byte the checksum was made from, so there the entries need only
  // agree with each other.
  std::optional<std::uint8_t> checksum;
  if (!IsDeletedEntry(shortEntry)) checksum = ShortNameChecksum(shortEntry);

  BackwardEntries entries(sectors, folder, sectorIndex, sectorCopy, entryOffset);
  std::u16string name;
  for (std::uint8_t position = 1; name.size() <= kMaxCollected; ++position) {
    const ByteView entry = entries.Previous();
    const auto entryChecksum = entry.u8(kChecksumOffset);
    if (!IsLongNameEntry(entry) || !entryChecksum || (checksum && *checksum != *entryChecksum)) {
      // No terminator was met: only a name that filled its entries is whole.
      if (name.empty() || name.size() % kCharactersPerEntry != 0) return std::nullopt;
      return name;
    }
    checksum = entryChecksum;
    if (AppendCharacters(entry, name) == Step::NameComplete) return Found(std::move(name));
    if (entry.u8(0) == static_cast<std::uint8_t>(kLastEntryFlag + position)) return Found(std::move(name));
  }
  return Found(std::move(name));
}

}  // namespace korv
