// Deleted Data Recovery over an NTFS volume whose MFT is the input, then the
// extraction of every file found. The boot sector is fixed (the first byte
// of the input picks one of two geometries mkntfs writes for a 2 MiB
// volume), so the input is spent on what the walk reads: the rest of it
// becomes MFT records 0 to 31 and then, as ntfs-3g numbers the files it
// makes from 64 on, records 64 onwards; the first four records are copied
// to the mirror. A walk that finds nothing hands over to the formatted
// scan, which then runs over the same volume.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "fuzz_support.h"
#include "support/byte_writers.h"
#include "volume_support.h"

namespace {

constexpr std::uint64_t kVolumeFirstSector = 63;                  // not at the disk's start, as behind an MBR
constexpr std::uint64_t kVolumeSectors = 4096;                    // 2 MiB
constexpr std::uint64_t kMftByte = 16384;                         // where mkntfs puts the MFT on such a volume
constexpr std::size_t kLowRecordBytes = 32 * 1024;                // records 0-31 of 1 KiB
constexpr std::uint64_t kHighRecordsByte = kMftByte + 64 * 1024;  // record 64
constexpr std::size_t kMirrorBytes = 4096;                        // the four records the mirror holds

struct NtfsGeometry {
  std::uint8_t sectorsPerCluster;
  std::uint64_t mftMirrCluster;
  std::uint8_t clustersPerMftRecord;    // 0xF6: 2^10 bytes
  std::uint8_t clustersPerIndexRecord;  // 1 cluster of 4 KiB, or 8 of 512 bytes
};

constexpr std::array<NtfsGeometry, 2> kGeometries = {{
    {1, 2047, 2, 8},
    {8, 255, 0xF6, 1},
}};

void WriteBootSector(std::span<std::uint8_t> sector, const NtfsGeometry& geometry) {
  sector[0] = 0xEB;
  sector[1] = 0x52;
  sector[2] = 0x90;
  korv::StoreAscii(sector, 3, "NTFS    ");
  korv::StoreU16LE(sector, 0x0B, 512);
  sector[0x0D] = geometry.sectorsPerCluster;
  sector[0x15] = 0xF8;
  korv::StoreU16LE(sector, 0x18, 63);
  korv::StoreU16LE(sector, 0x1A, 255);
  korv::StoreU32LE(sector, 0x1C, kVolumeFirstSector);
  sector[0x24] = 0x80;
  sector[0x26] = 0x80;
  korv::StoreU64LE(sector, 0x28, kVolumeSectors - 1);
  korv::StoreU64LE(sector, 0x30, kMftByte / 512 / geometry.sectorsPerCluster);
  korv::StoreU64LE(sector, 0x38, geometry.mftMirrCluster);
  sector[0x40] = geometry.clustersPerMftRecord;
  sector[0x44] = geometry.clustersPerIndexRecord;
  korv::StoreU64LE(sector, 0x48, 0x1234567890ABCDEFULL);
  sector[0x1FE] = 0x55;
  sector[0x1FF] = 0xAA;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const NtfsGeometry& geometry = kGeometries[data[0] % kGeometries.size()];
  const std::span<const std::uint8_t> input(data + 1, size - 1);
  const auto low = input.first(std::min(input.size(), kLowRecordBytes));
  const auto high =
      input.subspan(low.size())
          .first(std::min<std::size_t>(input.size() - low.size(), kVolumeSectors * 512 - kHighRecordsByte));

  korv::fuzz::VolumeSession volume(kVolumeFirstSector + kVolumeSectors);
  const auto bytes = std::span(volume.disk.bytes).subspan(kVolumeFirstSector * 512, kVolumeSectors * 512);
  WriteBootSector(bytes.first(512), geometry);
  WriteBootSector(bytes.last(512), geometry);
  std::memcpy(bytes.data() + kMftByte, low.data(), low.size());
  std::memcpy(bytes.data() + kHighRecordsByte, high.data(), high.size());
  const std::uint64_t mirrorByte = geometry.mftMirrCluster * geometry.sectorsPerCluster * 512;
  std::memcpy(bytes.data() + mirrorByte, low.data(), std::min(low.size(), kMirrorBytes));

  volume.SelectVolume(kVolumeFirstSector, kVolumeSectors, korv::FileSystemKind::Ntfs);
  volume.session.AnalyseSelectedRange(korv::RecoveryMode::DeletedData, volume.progress);
  korv::fuzz::ExtractEveryFile(volume.session, korv::fuzz::EmptyScratchFolder("out"));
  return 0;
}
