// Real FAT12, FAT16 and FAT32 volumes made by mkfs.fat and filled by mtools
// (tests/fixtures/make-fat-volumes.sh): every entry decodes as it was written
// and as the Sleuth Kit lists it, and every live file's chain gives its bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_long_name.h"
#include "fs/fat/fat_sector.h"
#include "fs/fat/fat_table.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

fs::path VolumesDir() { return test::TestDisksDir() / "fat-volumes"; }

struct Listed {
  bool folder = false;
  bool deleted = false;
  FatDirectoryEntry entry;
  std::uint64_t sectorIndex = 0;  // where the short entry lies in its folder
  std::uint32_t offset = 0;
  bool hasLongName = false;
};

// A plain walk of the tree through the decoding functions, as the recovery
// walk would do it; deleted folders are followed with the 26-cluster limit.
class VolumeLister {
 public:
  VolumeLister(SectorSource& sectors, const BootParameters& boot, FatType type, std::uint64_t volumeEnd)
      : sectors_(sectors), boot_(boot), type_(type), layout_(MakeFatLayout(boot, type, volumeEnd)) {}

  std::map<std::string, Listed> ListAll() {
    if (type_ == FatType::Fat32) {
      List(FolderSectors::Clusters(boot_, FollowDirectoryChain(sectors_, layout_, boot_.rootFirst, false)), "", false, 0);
    } else {
      List(FolderSectors::RootArea(boot_.rootFirst, boot_.rootDirSectors), "", false, 0);
    }
    return listed_;
  }

  const FatLayout& layout() const { return layout_; }

 private:
  void List(const FolderSectors& folder, const std::string& prefix, bool inDeleted, int depth) {
    FatSectorBuffer buffer(sectors_);
    for (std::uint64_t index = 0; index < folder.size(); ++index) {
      ASSERT_TRUE(buffer.Read(folder.SectorAt(index)));
      for (std::uint32_t offset = 0; offset < kFatSectorBytes; offset += kFatEntryBytes) {
        const ByteView raw = buffer.view().sub(offset, kFatEntryBytes);
        if (IsEndOfEntries(raw)) return;
        if (IsLongNameEntry(raw) || IsDotEntry(raw)) continue;
        const auto entry = DecodeDirectoryEntry(raw, type_);
        ASSERT_TRUE(entry);
        if (entry->attributes & kFatAttributeVolumeLabel) continue;
        const auto longName = ReadLongName(sectors_, folder, index, buffer.view(), offset);
        if (!IsValidEntryName(entry->name.eightBit, longName)) continue;
        const std::string path = prefix + (longName ? Utf16ToUtf8(*longName) : entry->name.eightBit);
        Listed item{entry->isDirectory(), inDeleted || entry->name.deleted, *entry, index, offset, longName.has_value()};
        listed_[path] = item;
        if (item.folder && depth < 8) {
          const auto chain = FollowDirectoryChain(sectors_, layout_, entry->firstCluster, item.deleted);
          List(FolderSectors::Clusters(boot_, chain), path + "/", item.deleted, depth + 1);
        }
      }
    }
  }

  SectorSource& sectors_;
  BootParameters boot_;
  FatType type_;
  FatLayout layout_;
  std::map<std::string, Listed> listed_;
};

std::string TimestampText(std::uint16_t date, std::uint16_t time) {
  const FatTimestamp t = DecodeFatTimestamp(date, time);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

// fls -r -p lines: "r/r * 697:\tDOCS/_ILE05.TXT"; the virtual $-entries left out.
std::map<std::string, bool> FlsListing(const fs::path& file) {
  std::map<std::string, bool> deletedByPath;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string path = line.substr(tab + 1);
    if (path.starts_with("$")) continue;
    deletedByPath[path] = line.substr(0, tab).find(" * ") != std::string::npos;
  }
  return deletedByPath;
}

class FatVolumeTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    const fs::path manifestPath = VolumesDir() / "manifest.json";
    if (!fs::exists(manifestPath)) GTEST_SKIP() << "no FAT test volumes at " << VolumesDir();
    const Json manifest = Json::parse(std::ifstream(manifestPath));
    for (const auto& v : manifest["volumes"]) {
      if (v["file"] == GetParam() + ".raw") volume = v;
    }
    ASSERT_FALSE(volume.is_null());
    source.kind = SourceKind::PhysicalDisk;
    source.devices.paths[0] = (VolumesDir() / volume["file"].get<std::string>()).string();
    range.firstSector = volume["firstSector"];
    range.endSector = range.firstSector + volume["sectorCount"].get<std::uint64_t>();
    range.fileSystem = test::FileSystemNamed(volume["treeName"].get<std::string>());
  }

  // Reads the boot sector as the tree names the volume, then analyses it by
  // the name the clusters decide.
  VolumeLister Lister() {
    EXPECT_TRUE(ReadFatBootParameters(sectors, range, boot));
    const auto type = FatTypeOf(AnalysedFatKind(boot, range.endSector));
    EXPECT_TRUE(type);
    return VolumeLister(sectors, boot, type.value_or(FatType::Fat16), range.endSector);
  }

  std::vector<std::uint8_t> FileBytes(FatTable& table, const FatDirectoryEntry& entry) {
    const std::uint64_t clusterBytes = std::uint64_t{boot.sectorsPerCluster} * kFatSectorBytes;
    const auto chain = WalkFatChain(table, entry.firstCluster, (entry.size + clusterBytes - 1) / clusterBytes);
    std::vector<std::uint8_t> bytes;
    FatSectorBuffer buffer(sectors);
    for (const std::uint32_t cluster : chain) {
      for (std::uint32_t s = 0; s < boot.sectorsPerCluster; ++s) {
        EXPECT_TRUE(buffer.Read(ClusterSector(boot, cluster) + s));
        bytes.insert(bytes.end(), buffer.view().data(), buffer.view().data() + kFatSectorBytes);
      }
    }
    bytes.resize(std::min<std::size_t>(bytes.size(), entry.size));
    return bytes;
  }

  static bool Contiguous(const std::vector<std::uint32_t>& chain) {
    for (std::size_t i = 1; i < chain.size(); ++i) {
      if (chain[i] != chain[i - 1] + 1) return false;
    }
    return true;
  }

  Json volume;
  test::ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  BootParameters boot;
};

TEST_P(FatVolumeTest, BootParametersMatchTheVolumeAndItsClusterCountNamesIt) {
  VolumeLister lister = Lister();
  EXPECT_EQ(FileSystemName(AnalysedFatKind(boot, range.endSector)), volume["analysedName"].get<std::string>());
  EXPECT_EQ(boot.sectorsPerCluster, volume["sectorsPerCluster"].get<std::uint32_t>());
  EXPECT_EQ(boot.fat1FirstSector, range.firstSector + boot.reservedSectors);
  EXPECT_EQ(boot.fat2FirstSector, boot.fat1FirstSector + boot.sectorsPerFat);
  // Cluster 2 follows both FATs and the root area; the data area reaches the
  // volume's end within one cluster.
  EXPECT_EQ(DataStartSector(boot), boot.fat2FirstSector + boot.sectorsPerFat + boot.rootDirSectors);
  const std::uint64_t clusters = lister.layout().clusterCount;
  EXPECT_LE(DataStartSector(boot) + clusters * boot.sectorsPerCluster, range.endSector);
  EXPECT_GT(DataStartSector(boot) + (clusters + 1) * boot.sectorsPerCluster, range.endSector);
}

TEST_P(FatVolumeTest, EveryEntryIsListedAsWrittenAndAsTheSleuthKitSays) {
  const auto listed = Lister().ListAll();

  // Live entries: exactly those written, with their sizes and times.
  std::set<std::string> live;
  for (const auto& [path, item] : listed) {
    if (!item.deleted) live.insert(path);
  }
  std::set<std::string> written;
  for (const auto& e : volume["entries"]) {
    const std::string path = e["path"];
    if (e["deleted"].get<bool>()) continue;
    written.insert(path);
    const auto found = listed.find(path);
    ASSERT_NE(found, listed.end()) << path;
    EXPECT_EQ(found->second.folder, e["kind"] == "folder") << path;
    if (e["kind"] == "file") {
      EXPECT_EQ(found->second.entry.size, e["size"].get<std::uint32_t>()) << path;
      EXPECT_EQ(TimestampText(found->second.entry.writeDate, found->second.entry.writeTime), e["writeTime"]) << path;
    }
  }
  EXPECT_EQ(live, written);

  // Everything, deleted entries included, as fls lists it.
  std::map<std::string, bool> ours;
  for (const auto& [path, item] : listed) ours[path] = item.deleted;
  EXPECT_EQ(ours, FlsListing(VolumesDir() / volume["fls"].get<std::string>()));
}

TEST_P(FatVolumeTest, LongNamesAreFoundAcrossSectorBoundariesAndBesideCodePageShortNames) {
  const auto listed = Lister().ListAll();
  for (const char* name : {"Exactly13.txt", "Fourteen14.txt", "Café.txt", "résumé final.doc",
                           "A name that crosses sectors.bin", "DOCS/A long name crossing the sector.txt"}) {
    ASSERT_TRUE(listed.contains(name)) << name;
    EXPECT_TRUE(listed.at(name).hasLongName) << name;
  }
  // The layout put these short entries within their long names' reach of a
  // sector's start: their names began in the sector before.
  EXPECT_EQ(listed.at("A name that crosses sectors.bin").offset, 0u);
  EXPECT_GT(listed.at("A name that crosses sectors.bin").sectorIndex, 0u);
  EXPECT_LT(listed.at("DOCS/A long name crossing the sector.txt").offset, 3 * kFatEntryBytes);
  // The 8.3 names, with their lower-case flags.
  EXPECT_FALSE(listed.at("lower.txt").hasLongName);
  EXPECT_FALSE(listed.at("README.TXT").hasLongName);
  // A deleted long name of exactly 26 characters has no terminator.
  EXPECT_TRUE(listed.at("Deleted long name file.txt").deleted);
  EXPECT_TRUE(listed.at("Deleted long name file.txt").hasLongName);
}

TEST_P(FatVolumeTest, LiveFileChainsGiveTheBytesWritten) {
  VolumeLister lister = Lister();
  const auto listed = lister.ListAll();
  FatTable table(sectors, lister.layout());
  const fs::path files = VolumesDir() / volume["files"].get<std::string>();
  int checked = 0;
  for (const auto& e : volume["entries"]) {
    if (e["kind"] != "file" || e["deleted"].get<bool>()) continue;
    const std::string path = e["path"];
    ASSERT_TRUE(listed.contains(path)) << path;
    EXPECT_EQ(FileBytes(table, listed.at(path).entry), test::ReadFileBytes(files / fs::u8path(path))) << path;
    ++checked;
  }
  EXPECT_GT(checked, 20);

  // The folder whose long name crosses into a new cluster and, where
  // clusters are one sector, the file that reused a freed hole, lie in
  // pieces: their chains were followed, not assumed.
  const auto docs = FollowDirectoryChain(sectors, lister.layout(), listed.at("DOCS").entry.firstCluster, false);
  if (boot.sectorsPerCluster == 1) {
    EXPECT_GE(docs.size(), 2u);
    EXPECT_FALSE(Contiguous(docs));
  }
  if (GetParam() != "fat32") {
    const auto& frag = listed.at("frag.bin").entry;
    EXPECT_FALSE(Contiguous(WalkFatChain(table, frag.firstCluster, frag.size)));
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatVolumeTest, ::testing::Values("fat12", "fat16", "fat32"));

// The FAT32 partition of the shared test disk, behind a partition table.
TEST(FatBasicDiskTest, LiveEntriesOfTheFat32PartitionAreListedAsWritten) {
  const fs::path disks = test::TestDisksDir();
  if (!fs::exists(disks / "manifest.json")) GTEST_SKIP() << "no test disks at " << disks;
  const Json manifest = Json::parse(std::ifstream(disks / "manifest.json"));
  Json partition;
  for (const auto& disk : manifest["disks"]) {
    if (disk["file"] != "basic.raw") continue;
    for (const auto& p : disk["partitions"]) {
      if (p["fileSystem"] == "FAT32") partition = p;
    }
  }
  ASSERT_FALSE(partition.is_null());

  test::ScriptedPrompts prompts;
  CurrentSource source;
  source.kind = SourceKind::PhysicalDisk;
  source.devices.paths[0] = (disks / "basic.raw").string();
  SelectedRange range;
  range.firstSector = partition["firstSector"];
  range.endSector = range.firstSector + partition["sectorCount"].get<std::uint64_t>();
  range.fileSystem = FileSystemKind::Fat32;
  SectorSource sectors(source, range, prompts);
  BootParameters boot;
  ASSERT_TRUE(ReadFatBootParameters(sectors, range, boot));
  ASSERT_EQ(AnalysedFatKind(boot, range.endSector), FileSystemKind::Fat32);
  const auto listed = VolumeLister(sectors, boot, FatType::Fat32, range.endSector).ListAll();

  std::map<std::string, std::uint32_t> live;
  for (const auto& [path, item] : listed) {
    if (!item.deleted) live[path] = item.folder ? 0 : item.entry.size;
  }
  std::map<std::string, std::uint32_t> written;
  for (const auto& e : partition["entries"]) {
    if (!e["deleted"].get<bool>()) written[e["path"]] = e.value("size", 0u);
  }
  EXPECT_EQ(live, written);
}

}  // namespace
}  // namespace korv
