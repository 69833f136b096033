// FAT structures built byte by byte: boot sectors good and bad, directory
// entries and names, long names at the edges of a folder, and FAT chains that
// end, loop or point outside the volume.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_long_name.h"
#include "fs/fat/fat_table.h"
#include "support/byte_writers.h"
#include "support/memory_disk.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Bytes = std::vector<std::uint8_t>;

ByteView V(const Bytes& bytes) { return ByteView(bytes.data(), bytes.size()); }

Bytes ShortEntry(std::string_view name11, std::uint8_t attributes = 0x20) {
  Bytes entry(32, 0);
  StoreAscii(entry, 0, name11);
  entry[0x0B] = attributes;
  return entry;
}

class FatDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source.kind = SourceKind::VirtualDisk;
    source.virtualDisk = &disk;
  }

  std::span<std::uint8_t> Sector(std::uint64_t s) { return disk.Sector(s); }

  // A boot sector at `at` with 512-byte sectors.
  void Boot(std::uint64_t at, std::uint8_t perCluster, std::uint16_t reserved, std::uint16_t rootEntries,
            std::uint16_t fat16, std::uint32_t fat32 = 0, std::uint32_t rootCluster = 0) {
    const auto s = Sector(at);
    StoreU16LE(s, 0x0B, 512);
    s[0x0D] = perCluster;
    StoreU16LE(s, 0x0E, reserved);
    s[0x10] = 2;
    StoreU16LE(s, 0x11, rootEntries);
    StoreU16LE(s, 0x16, fat16);
    StoreU32LE(s, 0x24, fat32);
    StoreU32LE(s, 0x2C, rootCluster);
    s[0x1FE] = 0x55;
    s[0x1FF] = 0xAA;
  }

  bool Read(std::string_view name, std::uint64_t first) {
    range.fileSystem = test::FileSystemNamed(name);
    range.firstSector = first;
    return ReadFatBootParameters(sectors, range, boot);
  }

  // Writes FAT entries into the first FAT at sector `fat`.
  void Fat16(std::uint64_t fat, std::uint32_t cluster, std::uint16_t value) {
    StoreU16LE(disk.bytes, fat * 512 + cluster * 2, value);
  }
  void Fat32(std::uint64_t fat, std::uint32_t cluster, std::uint32_t value) {
    StoreU32LE(disk.bytes, fat * 512 + cluster * 4, value);
  }
  void Fat12(std::uint64_t fat, std::uint32_t cluster, std::uint16_t value) {
    const std::uint64_t at = fat * 512 + cluster * 3 / 2;
    std::uint16_t both = static_cast<std::uint16_t>(disk.bytes[at] | (disk.bytes[at + 1] << 8));
    both = (cluster & 1) ? static_cast<std::uint16_t>((both & 0x000F) | (value << 4))
                         : static_cast<std::uint16_t>((both & 0xF000) | (value & 0x0FFF));
    StoreU16LE(disk.bytes, at, both);
  }

  static FatLayout Layout(FatType type, std::uint32_t clusters) {
    FatLayout layout;
    layout.type = type;
    layout.fatFirstSector = 10;
    layout.sectorsPerFat = 64;
    layout.clusterCount = clusters;
    return layout;
  }

  test::MemoryDisk disk{4096};
  test::ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  BootParameters boot;
};

// ---------------------------------------------------------------- boot sector

TEST_F(FatDiskTest, Fat16BootGivesTheLayoutWords) {
  Boot(100, 4, 4, 512, 20);
  Sector(100 + 4 + 20)[0] = 0xF8;
  ASSERT_TRUE(Read("FAT16", 100));
  EXPECT_EQ(boot.sectorsPerCluster, 4u);
  EXPECT_EQ(boot.reservedSectors, 4u);
  EXPECT_EQ(boot.sectorsPerFat, 20u);
  EXPECT_EQ(boot.fat1FirstSector, 104u);
  EXPECT_EQ(boot.fat2FirstSector, 124u);
  EXPECT_EQ(boot.rootFirst, 144u);
  EXPECT_EQ(boot.rootDirSectors, 32u);
  EXPECT_EQ(boot.cluster0Sector, 176u - 8u);
  EXPECT_EQ(ClusterSector(boot, 2), 176u);
  EXPECT_EQ(ClusterSector(boot, 5), 188u);
  // The same volume named FAT12 by its range is read the same way.
  BootParameters asFat16 = boot;
  ASSERT_TRUE(Read("FAT12", 100));
  EXPECT_EQ(boot, asFat16);
}

TEST_F(FatDiskTest, Fat32BootWithLargeFatsPutsTheDataAfterBoth) {
  disk.bytes.resize((2048 + 32 + 2 * 70000 + 8) * 512);
  Boot(2048, 8, 32, 0, 0, 70000, 2);
  Sector(2048 + 32 + 70000)[0] = 0xF8;
  ASSERT_TRUE(Read("FAT32", 2048));
  EXPECT_EQ(boot.sectorsPerFat, 70000u);
  EXPECT_EQ(boot.rootFirst, 2u);
  EXPECT_EQ(boot.rootDirSectors, 0u);
  EXPECT_EQ(DataStartSector(boot), 2048u + 32 + 140000);
  EXPECT_EQ(ClusterSector(boot, 2), 2048u + 32 + 140000);
  EXPECT_EQ(AnalysedFatKind(boot, 0), FileSystemKind::Fat32);
}

TEST_F(FatDiskTest, Fat32FallsBackToTheBackupBootSector) {
  // Main sector without a signature: the backup six sectors on is used.
  Boot(106, 1, 32, 0, 0, 100, 2);
  Sector(100 + 32 + 100)[0] = 0xF8;
  ASSERT_TRUE(Read("FAT32", 100));
  EXPECT_EQ(boot.fat1FirstSector, 132u);

  // Main sector signed but its FAT sizes point at no media byte: the backup's
  // sizes are taken instead.
  Boot(100, 1, 16, 0, 0, 999, 2);
  ASSERT_TRUE(Read("FAT32", 100));
  EXPECT_EQ(boot.reservedSectors, 32u);
  EXPECT_EQ(boot.sectorsPerFat, 100u);

  // Neither copy leads to 0xF8.
  Sector(232)[0] = 0xF0;
  EXPECT_FALSE(Read("FAT32", 100));
  EXPECT_EQ(boot, BootParameters{});
}

TEST_F(FatDiskTest, DamagedBootSectorsAreRefused) {
  Boot(0, 2, 1, 512, 9);
  Sector(10)[0] = 0xF8;
  ASSERT_TRUE(Read("FAT16", 0));

  EXPECT_FALSE(Read("NTFS", 0));
  EXPECT_EQ(boot, BootParameters{});
  EXPECT_FALSE(Read("FAT16", 1));  // no signature there: every word cleared
  EXPECT_EQ(boot, BootParameters{});

  const auto refusedWith = [&](std::uint64_t offset, std::uint8_t value) {
    Boot(0, 2, 1, 512, 9);
    const std::uint8_t kept = Sector(0)[offset];
    Sector(0)[offset] = value;
    const bool read = Read("FAT16", 0);
    Sector(0)[offset] = kept;
    return !read;
  };
  EXPECT_TRUE(refusedWith(0x0D, 0));    // no sectors per cluster
  EXPECT_TRUE(refusedWith(0x0D, 3));    // not a power of two
  EXPECT_TRUE(refusedWith(0x0D, 255));  // beyond 128
  EXPECT_FALSE(refusedWith(0x0D, 128));
  EXPECT_TRUE(refusedWith(0x0C, 0x10));  // 4,096-byte sectors
  EXPECT_TRUE(refusedWith(0x16, 0));     // a FAT of no sectors
  Boot(0, 2, 1, 8, 9);  // a root area under one sector
  EXPECT_FALSE(Read("FAT16", 0));
  Boot(0, 2, 1, 512, 9);
  Sector(10)[0] = 0xF0;                  // not the fixed-disk media byte
  EXPECT_FALSE(Read("FAT16", 0));
}

TEST_F(FatDiskTest, ClusterCountDecidesFat12) {
  // Data from sector 100, one sector per cluster, FATs big enough for FAT16.
  boot.sectorsPerCluster = 1;
  boot.sectorsPerFat = 32;
  boot.rootDirSectors = 32;
  boot.cluster0Sector = 98;
  EXPECT_EQ(AnalysedFatKind(boot, 100 + 4084), FileSystemKind::Fat12);
  EXPECT_EQ(AnalysedFatKind(boot, 100 + 4085), FileSystemKind::Fat16);
  // Without a known end, a FAT too small for 4,085 16-bit entries is FAT12.
  EXPECT_EQ(AnalysedFatKind(boot, 0), FileSystemKind::Fat16);
  boot.sectorsPerFat = 12;
  EXPECT_EQ(AnalysedFatKind(boot, 0), FileSystemKind::Fat12);
  EXPECT_EQ(FatClusterCount(boot, FatType::Fat12, 0), 12u * 512 * 2 / 3 - 2);
}

// ---------------------------------------------------------------- entries and names

TEST(FatEntryTest, ShortNamesAsStored) {
  EXPECT_EQ(ShortName(V(ShortEntry("README  TXT"))).eightBit, "README.TXT");
  EXPECT_EQ(ShortName(V(ShortEntry("MAKEFILE   "))).eightBit, "MAKEFILE");
  EXPECT_EQ(ShortName(V(ShortEntry("AB       XY"))).eightBit, "ABXY");  // extension starting with a space: no dot

  Bytes deleted = ShortEntry("?EPORT  DOC");
  deleted[0] = 0xE5;
  const ShortEntryName name = ShortName(V(deleted));
  EXPECT_EQ(name.eightBit, "_EPORT.DOC");
  EXPECT_EQ(name.wide, u"_EPORT.DOC");
  EXPECT_TRUE(name.deleted);

  Bytes lower = ShortEntry("LOWER   TXT");
  lower[0x0C] = 0x08;
  EXPECT_EQ(ShortName(V(lower)).eightBit, "lower.TXT");
  lower[0x0C] = 0x18;
  EXPECT_EQ(ShortName(V(lower)).eightBit, "lower.txt");

  Bytes high = ShortEntry("CAF     TXT");
  high[3] = 0x90;
  EXPECT_EQ(ShortName(V(high)).wide, std::u16string(u"CAF\u0090.TXT"));
}

TEST(FatEntryTest, FirstClusterUsesTheHighWordOnlyOnFat32) {
  Bytes entry = ShortEntry("FILE    BIN");
  StoreU16LE(entry, 0x14, 0x0001);
  StoreU16LE(entry, 0x1A, 0x2345);
  EXPECT_EQ(FirstCluster(V(entry), FatType::Fat32), 0x12345u);
  EXPECT_EQ(FirstCluster(V(entry), FatType::Fat16), 0x2345u);
  EXPECT_EQ(FirstCluster(V(entry), FatType::Fat12), 0x2345u);
  EXPECT_EQ(FirstCluster(ByteView(entry.data(), 10), FatType::Fat32), 0u);
  EXPECT_FALSE(DecodeDirectoryEntry(ByteView(entry.data(), 31), FatType::Fat32));
}

TEST(FatEntryTest, EntryKindsAndTimes) {
  EXPECT_TRUE(IsDotEntry(V(ShortEntry(".          ", 0x10))));
  EXPECT_TRUE(IsDotEntry(V(ShortEntry("..         ", 0x10))));
  EXPECT_FALSE(IsDotEntry(V(ShortEntry(".HIDDEN    "))));
  EXPECT_TRUE(IsLongNameEntry(V(ShortEntry("AXXXXXXXXXX", 0x0F))));
  EXPECT_TRUE(IsEndOfEntries(V(Bytes(32, 0))));
  EXPECT_FALSE(IsEndOfEntries(ByteView()));

  const FatTimestamp t = DecodeFatTimestamp(static_cast<std::uint16_t>((41 << 9) | (6 << 5) | 15),
                                            static_cast<std::uint16_t>((13 << 11) | (45 << 5) | 15));
  EXPECT_EQ(std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second), std::make_tuple(2021, 6, 15, 13, 45, 30));
}

TEST(FatEntryTest, NameValidity) {
  EXPECT_TRUE(IsValidName(std::string_view("")));
  EXPECT_TRUE(IsValidName(std::string_view("README.TXT")));
  EXPECT_FALSE(IsValidName(std::string_view("WHAT?.TXT")));
  EXPECT_FALSE(IsValidName(std::string_view("CAF\xE9.TXT")));
  EXPECT_FALSE(IsValidName(std::string_view("A\x01")));
  for (const char c : std::string_view("\"\\/?*<>|")) EXPECT_FALSE(IsValidName(std::string("A") + c)) << c;

  EXPECT_TRUE(IsValidName(std::u16string_view(u"café.txt")));
  EXPECT_TRUE(IsValidName(std::u16string_view(u"résumé.doc")));
  EXPECT_TRUE(IsValidName(std::u16string_view(u"名前.txt")));
  EXPECT_FALSE(IsValidName(std::u16string_view(u"a|b.txt")));
  EXPECT_FALSE(IsValidName(std::u16string_view(u"tab\there")));
  EXPECT_FALSE(IsValidName(std::u16string_view(u".")));
  EXPECT_FALSE(IsValidName(std::u16string_view(u"..")));
  EXPECT_TRUE(IsValidName(std::u16string_view(u"...")));

  // A code-page byte in the short name does not hide a good long name.
  EXPECT_TRUE(IsValidEntryName("CAF\x90.TXT", std::u16string(u"Café.txt")));
  EXPECT_FALSE(IsValidEntryName("CAF\x90.TXT", std::nullopt));
  EXPECT_FALSE(IsValidEntryName("A.TXT", std::u16string(u"a*b")));
}

// ---------------------------------------------------------------- long names

class LongNameTest : public FatDiskTest {
 protected:
  // Long-name entries for `name` (in disk order: last part first) followed by
  // its short entry, written into the folder's entry slots from `slot` on.
  void WriteName(const FolderSectors& folder, std::uint32_t slot, std::u16string_view name, Bytes shortEntry,
                 bool terminate = true, bool deleted = false) {
    const std::uint8_t sum = ShortNameChecksum(V(shortEntry));
    const std::size_t parts = (name.size() + 12) / 13;
    for (std::size_t p = parts; p >= 1; --p) {
      Bytes lfn(32, 0);
      lfn[0] = deleted ? 0xE5 : static_cast<std::uint8_t>(p | (p == parts ? 0x40 : 0));
      lfn[0x0B] = 0x0F;
      lfn[0x0D] = sum;
      static constexpr std::uint32_t kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
      for (std::size_t i = 0; i < 13; ++i) {
        const std::size_t at = (p - 1) * 13 + i;
        std::uint16_t c = 0xFFFF;
        if (at < name.size()) c = name[at];
        else if (at == name.size() && terminate) c = 0;
        StoreU16LE(lfn, kOffsets[i], c);
      }
      Put(folder, slot++, lfn);
    }
    if (deleted) shortEntry[0] = 0xE5;
    Put(folder, slot, shortEntry);
  }
  void Put(const FolderSectors& folder, std::uint32_t slot, const Bytes& entry) {
    std::copy(entry.begin(), entry.end(), Sector(folder.SectorAt(slot / 16)).begin() + (slot % 16) * 32);
  }
  std::optional<std::u16string> NameAt(const FolderSectors& folder, std::uint32_t slot) {
    copy.assign(Sector(folder.SectorAt(slot / 16)).begin(), Sector(folder.SectorAt(slot / 16)).end());
    return ReadLongName(sectors, folder, slot / 16, V(copy), (slot % 16) * 32);
  }

  Bytes copy;
};

TEST_F(LongNameTest, NamesOfOneAndTwoEntriesWithAndWithoutTerminator) {
  const auto root = FolderSectors::RootArea(200, 4);
  WriteName(root, 0, u"Exactly13.txt", ShortEntry("EXACTL~1TXT"), false);
  WriteName(root, 2, u"Fourteen14.txt", ShortEntry("FOURTE~1TXT"));
  WriteName(root, 5, u"Café.txt", ShortEntry("CAF\x90    TXT"));
  Put(root, 7, ShortEntry("PLAIN   TXT"));
  EXPECT_EQ(NameAt(root, 1), u"Exactly13.txt");
  EXPECT_EQ(NameAt(root, 4), u"Fourteen14.txt");
  EXPECT_EQ(NameAt(root, 6), u"Café.txt");
  EXPECT_EQ(NameAt(root, 7), std::nullopt);
  EXPECT_EQ(NameAt(root, 0), std::nullopt);  // the folder's first entry: nothing before it
}

TEST_F(LongNameTest, WalksBackThroughTheFolderChainNotTheDisk) {
  // Folder in clusters 7 then 3 (one sector each, data from sector 300).
  boot.sectorsPerCluster = 1;
  boot.cluster0Sector = 298;
  const auto folder = FolderSectors::Clusters(boot, {7, 3});
  ASSERT_EQ(folder.SectorAt(1), 301u);
  // The name's three long entries end cluster 7; its short entry opens
  // cluster 3. The sector before cluster 3 on the disk holds another name.
  WriteName(folder, 13, u"A name that crosses sectors.bin", ShortEntry("ANAMET~1BIN"));
  Bytes other(32, 0);
  other[0] = 0x41;
  other[0x0B] = 0x0F;
  StoreU16LE(other, 1, 'X');
  std::copy(other.begin(), other.end(), Sector(300).begin() + 480);

  EXPECT_EQ(NameAt(folder, 16), u"A name that crosses sectors.bin");
  // The caller's copy of the sector is left as it was.
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), Sector(301).begin()));
}

TEST_F(LongNameTest, AFolderStartingWithLongEntriesIsNotReadBeforeItsStart) {
  const auto root = FolderSectors::RootArea(200, 2);
  // A deleted name of 13 characters opens the root area: no "last" flag
  // and no terminator, so only the area's start ends it. A matching stray
  // long entry just before the area must not be taken.
  const Bytes shortEntry = ShortEntry("ABCDEF~1   ");
  Bytes stray(32, 0);
  stray[0] = 0xE5;
  stray[0x0B] = 0x0F;
  stray[0x0D] = ShortNameChecksum(V(shortEntry));
  StoreU16LE(stray, 1, 'Z');
  std::copy(stray.begin(), stray.end(), Sector(199).begin() + 480);
  WriteName(root, 0, u"abcdefghijklm", shortEntry, false, true);
  disk.reads = 0;
  EXPECT_EQ(NameAt(root, 1), u"abcdefghijklm");
  EXPECT_EQ(disk.reads, 0);
}

TEST_F(LongNameTest, DeletedNamesStopAtAnotherNamesEntries) {
  const auto root = FolderSectors::RootArea(200, 4);
  // Two deleted names of exactly 13 characters, one after the other: their
  // sequence bytes are gone, no terminator separates them, and the first
  // one's short entry was taken by the second's long entry.
  WriteName(root, 0, u"FirstDeleted1", ShortEntry("FIRSTD~1   "), false, true);
  EXPECT_EQ(NameAt(root, 1), u"FirstDeleted1");
  WriteName(root, 1, u"SecondDelete2", ShortEntry("SECOND~1   "), false, true);
  EXPECT_EQ(NameAt(root, 2), u"SecondDelete2");
  // A live short entry after a deleted long name is not named by it.
  Put(root, 2, ShortEntry("LIVE    TXT"));
  EXPECT_EQ(NameAt(root, 2), std::nullopt);
}

TEST_F(LongNameTest, UnterminatedRunsEndAfter255Characters) {
  const auto root = FolderSectors::RootArea(200, 4);
  const Bytes shortEntry = ShortEntry("LONGLONGTXT");
  const std::u16string name(30 * 13, u'n');
  WriteName(root, 0, name, shortEntry, false, true);  // sequence bytes gone: no "last" flag
  const auto found = NameAt(root, 30);
  ASSERT_TRUE(found);
  EXPECT_GT(found->size(), 255u);
  EXPECT_LE(found->size(), 255u + 13);
  EXPECT_EQ(NameAt(root, 30)->find_first_not_of(u'n'), std::u16string::npos);
  EXPECT_EQ(ReadLongName(sectors, root, 1, V(copy), 31), std::nullopt);  // not an entry's start
}

// ---------------------------------------------------------------- FAT chains

TEST_F(FatDiskTest, Fat12EntriesArePackedAcrossSectorBoundaries) {
  disk.Sector(10)[4] = 0x34;
  disk.Sector(10)[5] = 0x12;
  // Cluster 341's entry starts at byte 511: half in each sector.
  Fat12(10, 341, 0xABC);
  Fat12(10, 340, 0x123);
  Fat12(10, 342, 0x456);
  FatTable table(sectors, Layout(FatType::Fat12, 4000));
  EXPECT_EQ(table.Entry(3), 0x123u);
  EXPECT_EQ(table.Entry(341), 0xABCu);
  EXPECT_EQ(table.Entry(340), 0x123u);
  EXPECT_EQ(table.Entry(342), 0x456u);
}

TEST_F(FatDiskTest, ChainsEndAtTheStandardMarkers) {
  struct Case {
    FatType type;
    std::uint32_t marker;
  };
  for (const Case c : {Case{FatType::Fat12, 0xFF8}, Case{FatType::Fat12, 0xFF7}, Case{FatType::Fat16, 0xFFF8},
                       Case{FatType::Fat16, 0xFFF7}, Case{FatType::Fat32, 0x0FFFFFF8},
                       Case{FatType::Fat32, 0xFFFFFFFF}, Case{FatType::Fat32, 0x0FFFFFF7}}) {
    std::fill(disk.bytes.begin(), disk.bytes.end(), 0);
    const auto set = [&](std::uint32_t cluster, std::uint32_t value) {
      if (c.type == FatType::Fat12) Fat12(10, cluster, static_cast<std::uint16_t>(value));
      if (c.type == FatType::Fat16) Fat16(10, cluster, static_cast<std::uint16_t>(value));
      if (c.type == FatType::Fat32) Fat32(10, cluster, value);
    };
    set(5, 6);
    set(6, 9);
    set(9, c.marker);
    EXPECT_EQ(FollowDirectoryChain(sectors, Layout(c.type, 1000), 5, false), (FolderChain{5, 6, 9}))
        << FileSystemName(FatKind(c.type)) << " " << c.marker;
  }
}

TEST_F(FatDiskTest, Fat32EntriesKeepOnlyTheirLow28Bits) {
  Fat32(10, 5, 0xF0000007);
  Fat32(10, 7, 0x0FFFFFFF);
  FatTable table(sectors, Layout(FatType::Fat32, 1000));
  EXPECT_EQ(table.Entry(5), 7u);
  EXPECT_EQ(FollowDirectoryChain(sectors, Layout(FatType::Fat32, 1000), 5, false), (FolderChain{5, 7}));
}

TEST_F(FatDiskTest, ChainsEndOutsideTheVolume) {
  Fat16(10, 5, 6);
  Fat16(10, 6, 900);  // past the 500 clusters of the volume
  const FatLayout layout = Layout(FatType::Fat16, 500);
  EXPECT_EQ(FollowDirectoryChain(sectors, layout, 5, false), (FolderChain{5, 6}));
  Fat16(10, 6, 1);  // reserved
  EXPECT_EQ(FollowDirectoryChain(sectors, layout, 5, false), (FolderChain{5, 6}));
  Fat16(10, 5, 0);  // free: a deleted folder's chain
  EXPECT_EQ(FollowDirectoryChain(sectors, layout, 5, true), (FolderChain{5}));
  EXPECT_TRUE(FollowDirectoryChain(sectors, layout, 0, false).empty());
  EXPECT_TRUE(FollowDirectoryChain(sectors, layout, 1, false).empty());
  EXPECT_TRUE(FollowDirectoryChain(sectors, layout, 502, false).empty());
  FatLayout noFat = layout;
  noFat.fatFirstSector = 0;
  EXPECT_EQ(FollowDirectoryChain(sectors, noFat, 5, false), (FolderChain{5}));
}

TEST_F(FatDiskTest, CyclicChainsEndWithEveryClusterOnce) {
  for (const FatType type : {FatType::Fat12, FatType::Fat16, FatType::Fat32}) {
    std::fill(disk.bytes.begin(), disk.bytes.end(), 0);
    const auto set = [&](std::uint32_t cluster, std::uint32_t value) {
      if (type == FatType::Fat12) Fat12(10, cluster, static_cast<std::uint16_t>(value));
      if (type == FatType::Fat16) Fat16(10, cluster, static_cast<std::uint16_t>(value));
      if (type == FatType::Fat32) Fat32(10, cluster, value);
    };
    // 2 -> 3 -> ... -> 40 -> 20: a tail of 18 clusters and a loop of 21.
    for (std::uint32_t c = 2; c < 40; ++c) set(c, c + 1);
    set(40, 20);
    set(50, 50);  // a cluster pointing at itself
    const FatLayout layout = Layout(type, 1000);
    const FolderChain chain = FollowDirectoryChain(sectors, layout, 2, false);
    ASSERT_EQ(chain.size(), 39u) << FileSystemName(FatKind(type));
    EXPECT_EQ(chain.front(), 2u);
    EXPECT_EQ(chain.back(), 40u);
    EXPECT_EQ(FollowDirectoryChain(sectors, layout, 50, false), (FolderChain{50}));
    // Cut by the deleted-folder limit, and by a limit caught inside the loop.
    EXPECT_EQ(FollowDirectoryChain(sectors, layout, 2, true).size(), 26u);
    FatTable table(sectors, layout);
    EXPECT_EQ(WalkFatChain(table, 20, 100).size(), 21u);
    for (std::uint64_t limit = 1; limit <= 60; ++limit) {
      const auto walked = WalkFatChain(table, 2, limit);
      EXPECT_EQ(walked.size(), std::min<std::uint64_t>(limit, 39)) << limit;
    }
  }
}

TEST_F(FatDiskTest, ChainLengthNeverExceedsTheVolume) {
  // A loop through 3 clusters in a volume of 3 clusters, checked only by
  // the volume's size.
  Fat16(10, 2, 3);
  Fat16(10, 3, 4);
  Fat16(10, 4, 2);
  EXPECT_EQ(FollowDirectoryChain(sectors, Layout(FatType::Fat16, 3), 2, false), (FolderChain{2, 3, 4}));
}

TEST_F(FatDiskTest, FailedFatReadsEndTheChain) {
  FatLayout layout = Layout(FatType::Fat16, 60000);
  layout.fatFirstSector = 4095;  // the FAT's second sector lies past the disk
  Fat16(4095, 5, 300);
  Fat16(4095, 300, 301);
  EXPECT_EQ(FollowDirectoryChain(sectors, layout, 5, false), (FolderChain{5, 300}));
}

}  // namespace
}  // namespace korv
