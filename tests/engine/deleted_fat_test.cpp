// Deleted Data Recovery on FAT over real volumes: the FAT32 partition of the
// shared test disk, raw and in container formats through the whole session
// path, and the FAT12, FAT16 and FAT32 volumes of make-fat-volumes.sh, each
// compared with what was written and with what the Sleuth Kit lists. Then
// the hand-over of a volume with nothing on it, a folder that names its
// ancestor, and a stop.
#include "engine/deleted_fat.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/session.h"
#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_directory.h"
#include "support/byte_writers.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Item {
  bool folder = false;
  bool deleted = false;
  std::uint64_t size = 0;
  bool operator==(const Item&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Item& item) {
  return out << (item.folder ? "folder" : "file") << (item.deleted ? " deleted" : "") << " size " << item.size;
}

// The store by path: names joined along parent numbers up to the root.
struct Listing {
  std::map<std::string, Item> items;
  std::map<std::string, ItemTimes> times;
  std::vector<std::string> repeated;  // paths held by more than one item
  int unplaced = 0;                   // items whose parents do not lead to the root
};

std::optional<std::string> FolderPath(const Store& store, std::uint32_t number) {
  std::string path;
  for (int depth = 0; number != FatRootNumber; ++depth) {
    const auto id = store.FindFolder(number, 0);
    if (!id || depth > 64) return std::nullopt;
    const FoundFolder& folder = store.folder(*id);
    path = Utf16ToUtf8(folder.name) + (path.empty() ? "" : "/" + path);
    number = folder.parentNumber;
  }
  return path;
}

Listing ListStore(const Store& store) {
  Listing listing;
  const auto add = [&](std::uint32_t parent, const std::u16string& name, Item item, const ItemTimes& times) {
    const auto parentPath = FolderPath(store, parent);
    if (!parentPath) {
      ++listing.unplaced;
      return;
    }
    const std::string path = (parentPath->empty() ? "" : *parentPath + "/") + Utf16ToUtf8(name);
    if (!listing.items.emplace(path, item).second) listing.repeated.push_back(path);
    listing.times[path] = times;
  };
  for (const FolderId id : store.FoldersInOrder()) {
    const FoundFolder& f = store.folder(id);
    add(f.parentNumber, f.name, Item{true, f.deleted == kFlagYes, 0}, f.times);
  }
  store.ForEachFileInOrder([&](FileId id) {
    const FoundFile& f = store.file(id);
    add(f.parentNumber, f.name, Item{false, f.deleted == kFlagYes, f.size}, f.times);
  });
  return listing;
}

// A deleted short entry has lost its first letter ("OLDMEMO.TXT" reads
// "_LDMEMO.TXT"), a deleted long name has not: deleted paths are compared
// with the first letter of every part blotted out.
std::string BlotFirstLetters(const std::string& path) {
  std::string out;
  bool atStart = true;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '/') {
      out += c;
      atStart = true;
      continue;
    }
    if (atStart) {
      out += '_';
      atStart = false;
      while (i + 1 < path.size() && (static_cast<unsigned char>(path[i + 1]) & 0xC0) == 0x80) ++i;
      continue;
    }
    out += c;
  }
  return out;
}

struct Expectation {
  std::map<std::string, Item> live;
  std::map<std::string, Item> deleted;  // by blotted path
};

// What the manifest says the walk must find. Empty files have no first
// cluster and are not listed. A deleted entry may have been taken over by a
// later one: only those the Sleuth Kit still lists are expected.
Expectation FromManifest(const Json& entries, const std::set<std::string>& surviving) {
  std::set<std::string> survivingKeys;
  for (const std::string& path : surviving) survivingKeys.insert(BlotFirstLetters(path));
  Expectation expected;
  for (const auto& e : entries) {
    const bool folder = e["kind"] == "folder";
    const std::uint64_t size = folder ? 0 : e["size"].get<std::uint64_t>();
    if (!folder && size == 0) continue;
    const std::string path = e["path"];
    if (!e["deleted"].get<bool>()) {
      expected.live[path] = Item{folder, false, size};
    } else if (survivingKeys.contains(BlotFirstLetters(path))) {
      expected.deleted[BlotFirstLetters(path)] = Item{folder, true, size};
    }
  }
  return expected;
}

Expectation FromListing(const Listing& listing) {
  Expectation found;
  for (const auto& [path, item] : listing.items) {
    if (item.deleted) {
      found.deleted[BlotFirstLetters(path)] = item;
    } else {
      found.live[path] = item;
    }
  }
  return found;
}

std::set<std::string> DeletedPaths(const Listing& listing) {
  std::set<std::string> paths;
  for (const auto& [path, item] : listing.items) {
    if (item.deleted) paths.insert(path);
  }
  return paths;
}

// Compares the store with the manifest and with the deleted entries the
// Sleuth Kit lists (`flsDeleted`, names as they stand on disk).
void ExpectListingMatches(const Listing& listing, const Json& entries, const std::set<std::string>& flsDeleted) {
  EXPECT_TRUE(listing.repeated.empty()) << listing.repeated.front();
  EXPECT_EQ(listing.unplaced, 0);
  const Expectation expected = FromManifest(entries, flsDeleted);
  const Expectation found = FromListing(listing);
  EXPECT_EQ(found.live, expected.live);
  EXPECT_EQ(found.deleted, expected.deleted);
  EXPECT_EQ(DeletedPaths(listing), flsDeleted);
}

// fls lines ("r/r * 62:\tDOCS/_LDMEMO.TXT") by path, with their deleted mark;
// the Sleuth Kit's own $-entries left out.
std::map<std::string, bool> ReadFlsListing(const fs::path& file) {
  std::map<std::string, bool> deletedByPath;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string path = line.substr(tab + 1);
    if (path.starts_with("$")) continue;
    deletedByPath[path] = line.substr(0, tab).find(" * ") != std::string::npos;
  }
  return deletedByPath;
}

// The deleted entries `fls -r -d` lists for the volume at firstSector.
std::set<std::string> FlsDeleted(const fs::path& disk, std::uint64_t firstSector, const fs::path& scratch) {
  const fs::path out = scratch / "fls-deleted.txt";
  const auto listing = test::ProgramOutput({"fls", "-r", "-d", "-p", "-o", std::to_string(firstSector), disk.string()});
  EXPECT_TRUE(listing);
  std::ofstream(out) << listing.value_or("");
  std::set<std::string> paths;
  for (const auto& [path, deleted] : ReadFlsListing(out)) {
    if (deleted) paths.insert(path);
  }
  return paths;
}

// A session pointed straight at a FAT volume inside a plain file, and the
// worker run on it.
struct VolumeRun {
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  test::RecordingProgress sink;
  AnalysisProgress progress{sink};

  // Reads the boot sector as the partition tree would name the volume and
  // analyses it under the name its cluster count gives.
  bool Select(const fs::path& file, std::uint64_t firstSector, std::uint64_t sectorCount, std::string_view treeName) {
    session.source.kind = SourceKind::PhysicalDisk;
    session.source.devices.paths[0] = file.string();
    session.range.firstSector = firstSector;
    session.range.endSector = firstSector + sectorCount;
    session.range.fileSystem = test::FileSystemNamed(treeName);
    if (!ReadFatBootParameters(session.sectors, session.range, session.bootParameters)) return false;
    session.analysisParameters.boot = session.bootParameters;
    session.analysisParameters.fileSystem = AnalysedFatKind(session.bootParameters, session.range.endSector);
    return true;
  }

  AnalysisOutcome Run() {
    AnalysisJob job = session.MakeAnalysisJob(progress);
    return RunDeletedFat(job);
  }
};

struct Fat32Partition {
  fs::path disks;
  Json partition;
};

std::optional<Fat32Partition> SharedDiskFat32Partition() {
  const fs::path disks = test::TestDisksDir();
  if (!fs::exists(disks / "manifest.json")) return std::nullopt;
  const Json manifest = Json::parse(std::ifstream(disks / "manifest.json"));
  for (const auto& disk : manifest["disks"]) {
    if (disk["file"] != "basic.raw") continue;
    for (const auto& p : disk["partitions"]) {
      if (p["fileSystem"] == "FAT32") return Fat32Partition{disks, p};
    }
  }
  return std::nullopt;
}

TEST(DeletedFatSharedDiskTest, RawFat32PartitionGivesTheWrittenTreeAndTheDeletedEntriesFlsLists) {
  const auto shared = SharedDiskFat32Partition();
  if (!shared) GTEST_SKIP() << "no test disks at " << test::TestDisksDir();
  const std::uint64_t first = shared->partition["firstSector"];
  VolumeRun run;
  ASSERT_TRUE(run.Select(shared->disks / "basic.raw", first, shared->partition["sectorCount"], "FAT32"));
  EXPECT_EQ(run.Run(), AnalysisOutcome::DeletedRunEnded);

  const Listing listing = ListStore(run.session.store);
  ExpectListingMatches(listing, shared->partition["entries"],
                       FlsDeleted(shared->disks / "basic.raw", first, run.dir.path()));
  // The folder removed with mdeltree and what it held.
  EXPECT_EQ(listing.items.at("_RASH"), (Item{true, true, 0}));
  EXPECT_EQ(listing.items.at("_RASH/junk two.dat"), (Item{false, true, 15000}));
  // Every item reported reached the counters, each file's size the total.
  std::uint64_t bytes = 0;
  for (const auto& [path, item] : listing.items) bytes += item.size;
  EXPECT_EQ(run.session.store.totalFileBytes(), bytes);
  EXPECT_GE(run.sink.pulses, 4);  // the root and every folder walked
}

class DeletedFatContainerTest : public ::testing::TestWithParam<std::string> {};

TEST_P(DeletedFatContainerTest, Fat32PartitionThroughTheSessionGivesTheSameTree) {
  const auto shared = SharedDiskFat32Partition();
  if (!shared) GTEST_SKIP() << "no test disks at " << test::TestDisksDir();
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session(prompts, SessionOptions{dir / "inventory.json", false});
  const auto selection = session.OpenVirtualFile(shared->disks / GetParam());
  ASSERT_TRUE(selection.accepted) << selection.message;
  ASSERT_TRUE(session.SelectPartition(2));
  NullProgress sink;
  AnalysisProgress progress(sink);
  EXPECT_EQ(session.Analyse(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
  EXPECT_EQ(session.analysisParameters.fileSystem, FileSystemKind::Fat32);
  EXPECT_TRUE(prompts.messages.empty());

  const Listing listing = ListStore(session.store);
  ExpectListingMatches(
      listing, shared->partition["entries"],
      FlsDeleted(shared->disks / "basic.raw", shared->partition["firstSector"].get<std::uint64_t>(), dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Containers, DeletedFatContainerTest,
                         ::testing::Values("basic-fixed.vhd", "basic-dynamic.vhd", "basic-v3.qcow2",
                                           "basic-monolithicSparse.vmdk"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

std::string TimestampText(std::uint32_t date, std::uint32_t time) {
  const FatTimestamp t = DecodeFatTimestamp(static_cast<std::uint16_t>(date), static_cast<std::uint16_t>(time));
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

class DeletedFatVolumeTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    folder = test::TestDisksDir() / "fat-volumes";
    if (!fs::exists(folder / "manifest.json")) GTEST_SKIP() << "no FAT test volumes at " << folder;
    const Json manifest = Json::parse(std::ifstream(folder / "manifest.json"));
    for (const auto& v : manifest["volumes"]) {
      if (v["file"] == GetParam() + ".raw") volume = v;
    }
    ASSERT_FALSE(volume.is_null());
    ASSERT_TRUE(run.Select(folder / volume["file"].get<std::string>(), volume["firstSector"], volume["sectorCount"],
                           volume["treeName"].get<std::string>()));
    ASSERT_EQ(FileSystemName(run.session.analysisParameters.fileSystem), volume["analysedName"].get<std::string>());
  }

  fs::path folder;
  Json volume;
  VolumeRun run;
};

TEST_P(DeletedFatVolumeTest, EveryEntryIsFoundAsWrittenAndAsTheSleuthKitLists) {
  EXPECT_EQ(run.Run(), AnalysisOutcome::DeletedRunEnded);
  const Listing listing = ListStore(run.session.store);
  // The volume's stored `fls -r -p` listing: everything, deleted or not.
  const std::map<std::string, bool> fls = ReadFlsListing(folder / volume["fls"].get<std::string>());
  std::set<std::string> flsDeleted;
  for (const auto& [path, deleted] : fls) {
    if (deleted) flsDeleted.insert(path);
  }
  ExpectListingMatches(listing, volume["entries"], flsDeleted);
  std::map<std::string, bool> ours;
  for (const auto& [path, item] : listing.items) ours[path] = item.deleted;
  EXPECT_EQ(ours, fls);

  // Times in the order write date, write time, creation date, creation
  // time, access date, 0; mcopy -m kept the write time.
  for (const auto& e : volume["entries"]) {
    if (e["kind"] != "file" || e["deleted"].get<bool>()) continue;
    const ItemTimes& times = listing.times.at(e["path"].get<std::string>());
    EXPECT_EQ(TimestampText(times[0], times[1]), e["writeTime"]) << e["path"];
    EXPECT_NE(times[2], 0u);
    EXPECT_EQ(times[5], 0u);
  }
}

TEST_P(DeletedFatVolumeTest, AStopBeforeTheWalkLeavesOnlyTheRootsItems) {
  run.session.worker.RequestStop();
  EXPECT_EQ(run.Run(), AnalysisOutcome::DeletedRunEnded);
  const Listing listing = ListStore(run.session.store);

  std::set<std::string> rootNames;
  for (const auto& [path, deleted] : ReadFlsListing(folder / volume["fls"].get<std::string>())) {
    if (path.find('/') == std::string::npos) rootNames.insert(path);
  }
  std::set<std::string> found;
  for (const auto& [path, item] : listing.items) found.insert(path);
  EXPECT_EQ(found, rootNames);
  EXPECT_EQ(run.sink.pulses, 1);
}

INSTANTIATE_TEST_SUITE_P(Volumes, DeletedFatVolumeTest, ::testing::Values("fat12", "fat16", "fat32"));

// A volume file made by mkfs.fat, optionally with folders and files put on
// it by mtools.
class MadeVolume {
 public:
  MadeVolume(const fs::path& file, std::uint64_t sectors, const std::string& bits) : file_(file), sectors_(sectors) {
    ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
    std::ofstream(file_).close();
    fs::resize_file(file_, sectors * 512);
    made_ = test::RunProgram({"mkfs.fat", "-F", bits, "-s", "1", "-S", "512", "-M", "0xF8", file_.string()});
  }

  bool made() const { return made_; }
  std::uint64_t sectors() const { return sectors_; }
  const fs::path& file() const { return file_; }

  bool MakeFolder(const std::string& path) { return test::RunProgram({"mmd", "-i", file_.string(), "::/" + path}); }
  bool RemoveFolder(const std::string& path) { return test::RunProgram({"mrd", "-i", file_.string(), "::/" + path}); }
  bool PutFile(const fs::path& from, const std::string& path) {
    return test::RunProgram({"mcopy", "-i", file_.string(), from.string(), "::/" + path});
  }

  // Writes a folder entry named `name83` (11 bytes, space-padded) for
  // `cluster` at byte `offset` of `sector`.
  void WriteFolderEntry(std::uint64_t sector, std::uint32_t offset, std::string_view name83, std::uint32_t cluster) {
    std::vector<std::uint8_t> entry(kFatEntryBytes, 0);
    StoreAscii(entry, 0, name83);
    entry[0x0B] = kFatAttributeDirectory;
    StoreU16LE(entry, 0x14, static_cast<std::uint16_t>(cluster >> 16));
    StoreU16LE(entry, 0x1A, static_cast<std::uint16_t>(cluster));
    std::fstream out(file_, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(sector * 512 + offset));
    out.write(reinterpret_cast<const char*>(entry.data()), static_cast<std::streamsize>(entry.size()));
  }

 private:
  fs::path file_;
  std::uint64_t sectors_;
  bool made_ = false;
};

std::optional<std::uint32_t> FolderNumber(const Store& store, std::u16string_view name) {
  for (const FolderId id : store.FoldersInOrder()) {
    if (store.folder(id).name == name) return store.folder(id).ownNumber;
  }
  return std::nullopt;
}

// What the hand-over to the formatted scan gives on a volume, whatever that
// scan does there.
struct HandOver {
  AnalysisOutcome outcome;
  std::vector<std::string> messages;
};

HandOver HandOverOn(const MadeVolume& volume, std::string_view fileSystem, std::uint32_t sectorsPerCluster) {
  VolumeRun run;
  EXPECT_TRUE(run.Select(volume.file(), 0, volume.sectors(), fileSystem));
  run.session.analysisParameters.boot.sectorsPerCluster = sectorsPerCluster;
  AnalysisJob job = run.session.MakeAnalysisJob(run.progress);
  const AnalysisOutcome outcome = HandOverToFormatted(job);
  return {outcome, run.prompts.messages};
}

TEST(DeletedFatMadeVolumeTest, AnEmptyVolumeAndOneWithoutAClusterSizeHandOverToTheFormattedScan) {
  test::TempDir dir;
  MadeVolume volume(dir / "empty.img", 2048, "12");
  ASSERT_TRUE(volume.made());

  VolumeRun empty;
  ASSERT_TRUE(empty.Select(volume.file(), 0, volume.sectors(), "FAT12"));
  const AnalysisOutcome outcome = empty.Run();
  const HandOver expected = HandOverOn(volume, "FAT12", empty.session.bootParameters.sectorsPerCluster);
  EXPECT_NE(outcome, AnalysisOutcome::DeletedRunEnded);
  EXPECT_EQ(outcome, expected.outcome);
  EXPECT_EQ(empty.prompts.messages, expected.messages);

  // With a folder on it but no cluster size to read it by, nothing can be
  // walked: no division by zero, no endless loop, but the hand-over.
  ASSERT_TRUE(volume.MakeFolder("KEEP"));
  VolumeRun zero;
  ASSERT_TRUE(zero.Select(volume.file(), 0, volume.sectors(), "FAT12"));
  zero.session.analysisParameters.boot.sectorsPerCluster = 0;
  const AnalysisOutcome zeroOutcome = zero.Run();
  EXPECT_NE(zeroOutcome, AnalysisOutcome::DeletedRunEnded);
  EXPECT_EQ(zeroOutcome, HandOverOn(volume, "FAT12", 0).outcome);

  VolumeRun kept;
  ASSERT_TRUE(kept.Select(volume.file(), 0, volume.sectors(), "FAT12"));
  EXPECT_EQ(kept.Run(), AnalysisOutcome::DeletedRunEnded);
  EXPECT_EQ(ListStore(kept.session.store).items, (std::map<std::string, Item>{{"KEEP", Item{true, false, 0}}}));
}

TEST(DeletedFatMadeVolumeTest, FoldersNamingAnAncestorOrTheRootEndTheWalk) {
  test::TempDir dir;
  MadeVolume volume(dir / "loop.img", 81920, "32");
  ASSERT_TRUE(volume.made());
  test::WriteFileBytes(dir / "F.TXT", test::PatternBytes(700, 7));
  ASSERT_TRUE(volume.MakeFolder("A"));
  ASSERT_TRUE(volume.MakeFolder("A/B"));
  ASSERT_TRUE(volume.PutFile(dir / "F.TXT", "F.TXT"));

  VolumeRun before;
  ASSERT_TRUE(before.Select(volume.file(), 0, volume.sectors(), "FAT32"));
  ASSERT_EQ(before.Run(), AnalysisOutcome::DeletedRunEnded);
  const auto a = FolderNumber(before.session.store, u"A");
  const auto b = FolderNumber(before.session.store, u"B");
  ASSERT_TRUE(a && b);

  // B's cluster holds ".", "..", then nothing: put two folder entries there,
  // one naming A's cluster and one the root's.
  const BootParameters& boot = before.session.bootParameters;
  volume.WriteFolderEntry(ClusterSector(boot, *b), 2 * kFatEntryBytes, "UP         ", *a);
  volume.WriteFolderEntry(ClusterSector(boot, *b), 3 * kFatEntryBytes, "TOROOT     ", boot.rootFirst);

  VolumeRun after;
  ASSERT_TRUE(after.Select(volume.file(), 0, volume.sectors(), "FAT32"));
  EXPECT_EQ(after.Run(), AnalysisOutcome::DeletedRunEnded);
  // UP holds A's number, which A already holds; TOROOT is listed but the
  // root is not read again under it.
  const std::map<std::string, Item> expected = {{"A", Item{true, false, 0}},
                                                {"A/B", Item{true, false, 0}},
                                                {"A/B/TOROOT", Item{true, false, 0}},
                                                {"F.TXT", Item{false, false, 700}}};
  EXPECT_EQ(ListStore(after.session.store).items, expected);
}

TEST(DeletedFatMadeVolumeTest, AFolderOnTheClusterOfADeletedOneIsWalkedAsLiveWithItsWholeSubtree) {
  test::TempDir dir;
  MadeVolume volume(dir / "reused.img", 4096, "12");
  ASSERT_TRUE(volume.made());
  // HOLD takes the first cluster and Q the next; HOLD is removed and R, made
  // in Q, takes HOLD's cluster: R's number is lower than its parent's, so R's
  // own child S has a lower parent number than R and is placed before it in
  // the store's list.
  ASSERT_TRUE(volume.MakeFolder("HOLD"));
  ASSERT_TRUE(volume.MakeFolder("Q"));
  ASSERT_TRUE(volume.RemoveFolder("HOLD"));
  ASSERT_TRUE(volume.MakeFolder("Q/R"));
  ASSERT_TRUE(volume.MakeFolder("Q/R/S"));
  test::WriteFileBytes(dir / "F.TXT", test::PatternBytes(900, 3));
  ASSERT_TRUE(volume.PutFile(dir / "F.TXT", "Q/R/S/F.TXT"));

  VolumeRun run;
  ASSERT_TRUE(run.Select(volume.file(), 0, volume.sectors(), "FAT12"));
  EXPECT_EQ(run.Run(), AnalysisOutcome::DeletedRunEnded);
  const Listing listing = ListStore(run.session.store);
  const auto q = FolderNumber(run.session.store, u"Q");
  const auto r = FolderNumber(run.session.store, u"R");
  ASSERT_TRUE(q && r);
  EXPECT_LT(*r, *q) << "mtools no longer reuses the freed cluster";
  // The deleted HOLD, on R's cluster, gives way to R; nothing is taken for deleted.
  const std::map<std::string, Item> expected = {{"Q", Item{true, false, 0}},
                                                {"Q/R", Item{true, false, 0}},
                                                {"Q/R/S", Item{true, false, 0}},
                                                {"Q/R/S/F.TXT", Item{false, false, 900}}};
  EXPECT_EQ(listing.items, expected);
}

}  // namespace
}  // namespace korv
