// FAT folder entries: the input as a folder's 32-byte entries, decoded as
// FAT12, FAT16 and FAT32 (short names, long-name pieces, times, clusters).
#include <cstddef>
#include <cstdint>

#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_type.h"
#include "platform/bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const korv::ByteView folder(data, size);
  for (std::size_t at = 0; at + 32 <= size; at += 32) {
    const korv::ByteView entry = folder.sub(at, 32);
    for (const auto type : {korv::FatType::Fat12, korv::FatType::Fat16, korv::FatType::Fat32}) {
      korv::DecodeDirectoryEntry(entry, type);
      korv::FirstCluster(entry, type);
    }
    const auto name = korv::ShortName(entry);
    (void)name;
    korv::ShortNameChecksum(entry);
    korv::IsDeletedEntry(entry);
    korv::IsLongNameEntry(entry);
  }
  return 0;
}
