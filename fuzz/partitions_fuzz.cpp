// The partition tables (MBR, extended chains, GPT) of a disk made of the
// input, and the boot-sector guesses over each of its sectors.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "storage/sector_source.h"
#include "support/memory_disk.h"
#include "volumes/partition_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t sectorCount = size / korv::kVirtualSectorBytes + 1;
  korv::test::MemoryDisk disk(sectorCount);
  std::memcpy(disk.bytes.data(), data, size);

  korv::fuzz::QuietPrompts prompts;
  korv::CurrentSource source;
  source.kind = korv::SourceKind::VirtualDisk;
  source.virtualDisk = &disk;
  korv::SelectedRange range;
  korv::SectorSource sectors{source, range, prompts};
  korv::PartitionList list;
  korv::ListPartitions(sectors, list, 0, [](int slot, const std::string&) { return std::uint64_t(slot) + 1; });
  korv::fuzz::Require(list.count >= 0 && list.count <= korv::kMaxPartitionsPerDisk, "partition count out of range");

  for (std::size_t s = 0; s < sectorCount; ++s) {
    const korv::ByteView sector(disk.Sector(s));
    korv::IdentifyBootSector(sector);
    korv::GuessVolume(sector);
  }
  return 0;
}
