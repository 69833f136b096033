// FAT boot sectors met by the partition scan: the geometry each layout
// gives, counted from where the sector was found, and the sectors passed over.
#include "fs/fat/fat_boot_hit.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "support/byte_writers.h"

namespace korv {
namespace {

using Sector = std::array<std::uint8_t, 512>;

Sector Fat32Boot() {
  Sector sector{};
  sector[0x0D] = 8;                    // sectors per cluster
  StoreU16LE(sector, 0x0E, 32);        // reserved
  StoreU32LE(sector, 0x20, 1'000'000); // total sectors
  StoreU32LE(sector, 0x24, 1'000);     // sectors per FAT
  StoreU32LE(sector, 0x2C, 2);         // root cluster
  StoreAscii(sector, 0x52, "FAT32   ");
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

Sector Fat16Boot() {
  Sector sector{};
  sector[0x0D] = 4;
  StoreU16LE(sector, 0x0E, 4);
  StoreU16LE(sector, 0x11, 512);     // root entries: 32 sectors
  StoreU16LE(sector, 0x13, 40'000);  // total sectors, 16-bit
  StoreU16LE(sector, 0x16, 40);      // sectors per FAT
  StoreAscii(sector, 0x36, "FAT16   ");
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

TEST(FatBootHit, Fat32GeometryCountsFromTheSectorFound) {
  const Sector sector = Fat32Boot();
  const auto hit = ReadFatBootHit(ByteView(sector), 5000);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->fileSystem, FileSystemKind::Fat32);
  EXPECT_EQ(hit->endSector, 1'005'000u);
  EXPECT_EQ(hit->fat1FirstSector, 5032u);
  EXPECT_EQ(hit->fat2FirstSector, 6032u);
  EXPECT_EQ(hit->cluster0Sector, 5000u + 32 + 2000 - 16);
  EXPECT_EQ(hit->rootFirst, 2u);
  EXPECT_EQ(hit->rootDirSectors, 0u);
}

TEST(FatBootHit, Fat16GeometryHasItsRootAreaAfterTheFats) {
  Sector sector = Fat16Boot();
  auto hit = ReadFatBootHit(ByteView(sector), 100);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->fileSystem, FileSystemKind::Fat16);
  EXPECT_EQ(hit->endSector, 40'100u);
  EXPECT_EQ(hit->rootDirSectors, 32u);
  EXPECT_EQ(hit->rootFirst, 100u + 4 + 80);
  EXPECT_EQ(hit->cluster0Sector, 100u + 32 + 4 + 80 - 8);
  // The 32-bit total counts when it is set.
  StoreU32LE(sector, 0x20, 70'000);
  hit = ReadFatBootHit(ByteView(sector), 100);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->endSector, 70'100u);
}

struct Damage {
  const char* name;
  std::function<void(Sector&)> apply;
};

class DamagedBootSector : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedBootSector, IsPassedOver) {
  for (Sector sector : {Fat32Boot(), Fat16Boot()}) {
    GetParam().apply(sector);
    EXPECT_FALSE(ReadFatBootHit(ByteView(sector), 0));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sectors, DamagedBootSector,
    ::testing::Values(Damage{"NoSignature", [](Sector& s) { s[511] = 0; }},
                      Damage{"NoLabel",
                             [](Sector& s) {
                               StoreAscii(s, 0x36, "XXXXXXXX");
                               StoreAscii(s, 0x52, "XXXXX");
                             }},
                      Damage{"NoClusterSize", [](Sector& s) { s[0x0D] = 0; }},
                      Damage{"ClusterSizeNotPowerOfTwo", [](Sector& s) { s[0x0D] = 3; }},
                      Damage{"ClusterTooLarge", [](Sector& s) { s[0x0D] = 255; }},
                      // Found at sector 0 with nothing before its data: cluster 0
                      // would lie before the disk.
                      Damage{"ClusterZeroBeforeTheDisk",
                             [](Sector& s) {
                               s[0x0D] = 128;
                               StoreU16LE(s, 0x0E, 1);
                               StoreU16LE(s, 0x11, 0);
                               StoreU16LE(s, 0x16, 1);
                               StoreU32LE(s, 0x24, 1);
                             }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FatBootHit, PositionsPast32BitsArePassedOver) {
  const Sector sector = Fat32Boot();
  EXPECT_FALSE(ReadFatBootHit(ByteView(sector), 0xFFFF'FF00ULL));
  EXPECT_TRUE(ReadFatBootHit(ByteView(sector), 0xFFFF'0000ULL - 1'000'000));
}

TEST(FatBootHit, ShortSectorIsNoHit) {
  const Sector sector = Fat32Boot();
  EXPECT_FALSE(ReadFatBootHit(ByteView(sector.data(), 300), 0));
}

}  // namespace
}  // namespace korv
