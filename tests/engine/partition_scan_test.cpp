// Partition Data Recovery over real disks whose partitions were lost
// (make-partition-volumes.sh), raw and in containers: the volumes found
// against the geometry mkfs wrote, each volume's tree against what was
// written, picking one volume after another, and the guards of the scan
// (picking nothing, lists that never leak, one "Lost", holes skipped).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "app/session.h"
#include "engine/found_tree.h"
#include "engine/partition_fat.h"
#include "engine/partition_volumes.h"
#include "support/byte_writers.h"
#include "support/container_disks.h"
#include "support/memory_disk.h"
#include "support/store_paths.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

Json ReadJson(const fs::path& path) {
  std::ifstream in(path);
  return Json::parse(in);
}

fs::path VolumesDir() { return test::TestDisksDir() / "partition-volumes"; }

const Json& DiskManifest(const std::string& file) {
  static const Json manifest = ReadJson(VolumesDir() / "manifest.json");
  for (const Json& disk : manifest["disks"]) {
    if (disk["file"] == file) return disk;
  }
  throw std::runtime_error("no disk " + file);
}

// A disk file, raw (held in memory) or in one of its containers.
struct DiskCase {
  const char* raw;
  const char* container;  // empty: the raw disk
};

void PrintTo(const DiskCase& disk, std::ostream* out) { *out << (*disk.container ? disk.container : disk.raw); }

class PartitionRun {
 public:
  bool Open(const fs::path& raw, const std::string& container) {
    if (!container.empty()) return session.OpenVirtualFile(raw.parent_path() / container).accepted;
    const auto bytes = test::ReadFileBytes(raw);
    disk_ = std::make_unique<test::MemoryDisk>(bytes.size() / 512);
    std::copy(bytes.begin(), bytes.end(), disk_->bytes.begin());
    UseDisk(disk_.get());
    return true;
  }

  void UseDisk(VirtualDisk* disk) {
    session.source.kind = SourceKind::VirtualDisk;
    session.source.virtualDisk = disk;
  }

  AnalysisOutcome Scan(std::uint64_t first, std::uint64_t end, FileSystemKind fileSystem) {
    session.range.firstSector = first;
    session.range.endSector = end;
    session.range.fileSystem = fileSystem;
    return session.ScanRangeForVolumes(progress);
  }

  AnalysisOutcome Pick(std::int64_t number) { return session.CopyFoundVolume(number, progress); }

  // Back from the results to the volume list: the results are dropped.
  void BackToVolumeList() { session.store.ClearStore(); }

  std::uint32_t RootNumber() const {
    return session.analysisParameters.fileSystem == FileSystemKind::Ntfs ? NtfsRootNumber : FatRootNumber;
  }

  // The picked volume's tree, the file system's own items and "Lost" left out.
  std::map<std::string, std::uint64_t> Tree() const {
    std::map<std::string, std::uint64_t> tree;
    const auto found = test::StorePaths(session.store, RootNumber(), ShownVolume(session.store));
    for (const auto& [path, item] : found.items) {
      if (path == "Lost" || path.starts_with("Lost/") || path.starts_with('$')) continue;
      tree[path] = item.folder ? 0 : item.size;
    }
    return tree;
  }

  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  test::RecordingProgress sink;
  AnalysisProgress progress{sink};

 private:
  std::unique_ptr<test::MemoryDisk> disk_;
};

std::map<std::string, std::uint64_t> WrittenTree(const Json& volume) {
  std::map<std::string, std::uint64_t> tree;
  for (const Json& entry : volume["entries"]) tree[entry["path"]] = entry.value("size", std::uint64_t{0});
  return tree;
}

// The candidate each volume's boot sector, as mkfs wrote it, stands for; a
// volume whose boot sector is gone is known only by its clusters.
VolumeCandidate ExpectedCandidate(const Json& volume) {
  VolumeCandidate expected;
  expected.fileSystem = test::FileSystemNamed(volume["fileSystem"].get<std::string>());
  const std::uint64_t first = volume["firstSector"];
  const std::uint32_t perCluster = volume["sectorsPerCluster"];
  expected.sectorsPerCluster = perCluster;
  if (expected.fileSystem == FileSystemKind::Ntfs) {
    expected.firstSector = first;
    expected.endSector = first + volume["totalSectors"].get<std::uint64_t>();
    expected.sectorsPerMftRecord = volume["sectorsPerMftRecord"];
    expected.sectorsPerIndexRecord = volume["sectorsPerIndexRecord"];
    return expected;
  }
  const std::uint32_t reserved = volume["reservedSectors"];
  const std::uint32_t perFat = volume["sectorsPerFat"];
  const std::uint32_t rootSectors = volume["rootEntries"].get<std::uint32_t>() / 16;
  expected.cluster0Sector = static_cast<std::uint32_t>(first + reserved + 2 * perFat + rootSectors - 2 * perCluster);
  if (!volume["bootSurvives"].get<bool>()) return expected;
  expected.firstSector = first;
  expected.endSector = first + volume["totalSectors"].get<std::uint64_t>();
  expected.reservedSectors = reserved;
  expected.sectorsPerFat = perFat;
  expected.rootDirSectors = rootSectors;
  expected.fat1FirstSector = static_cast<std::uint32_t>(first + reserved);
  expected.fat2FirstSector = static_cast<std::uint32_t>(first + reserved + perFat);
  expected.rootFirst = expected.fileSystem == FileSystemKind::Fat32
                           ? 2u
                           : static_cast<std::uint32_t>(first + reserved + 2 * perFat);
  return expected;
}

class LostPartitions : public ::testing::TestWithParam<DiskCase> {
 protected:
  void SetUp() override {
    disk_ = &DiskManifest(GetParam().raw);
    const std::string container = GetParam().container;
    if (!container.empty()) {
      const Json& listed = (*disk_)["containers"];
      ASSERT_NE(std::find(listed.begin(), listed.end(), container), listed.end());
    }
    ASSERT_TRUE(run_.Open(VolumesDir() / GetParam().raw, container));
    ASSERT_EQ(run_.Scan((*disk_)["first"], (*disk_)["end"],
                        test::FileSystemNamed((*disk_)["fileSystem"].get<std::string>())),
              AnalysisOutcome::CloseForVolumeList);
  }

  const Json* disk_ = nullptr;
  PartitionRun run_;
};

TEST_P(LostPartitions, FoundVolumesHaveTheGeometryMkfsWrote) {
  const Json& volumes = (*disk_)["volumes"];
  ASSERT_EQ(run_.session.volumeCandidates.size(), volumes.size());
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    EXPECT_EQ(run_.session.volumeCandidates[i], ExpectedCandidate(volumes[i])) << "volume " << i + 1;
  }
  for (const int percent : run_.sink.percents) {
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
  }
}

TEST_P(LostPartitions, EachVolumePickedListsWhatWasWrittenThere) {
  const Json& volumes = (*disk_)["volumes"];
  // Last to first, so that each pick follows a Back from another volume.
  for (std::size_t number = volumes.size(); number >= 1; --number) {
    run_.BackToVolumeList();
    ASSERT_EQ(run_.Pick(static_cast<std::int64_t>(number)), AnalysisOutcome::ResultsReady) << number;
    EXPECT_EQ(run_.session.store.currentVolume.load(), static_cast<std::int32_t>(number));
    EXPECT_EQ(run_.Tree(), WrittenTree(volumes[number - 1])) << "volume " << number;
  }
}

TEST_P(LostPartitions, FatVolumesHaveOneLostFolderAndEveryFolderOnce) {
  if ((*disk_)["fileSystem"] == "NTFS") GTEST_SKIP() << "FAT only";
  ASSERT_EQ(run_.Pick(1), AnalysisOutcome::ResultsReady);
  const Store& store = run_.session.store;
  int lost = 0;
  int folders = 0;
  for (const FolderId id : store.FoldersInOrder()) {
    lost += store.folder(id).ownNumber == LostNumber;
    ++folders;
  }
  EXPECT_EQ(lost, 1);
  EXPECT_EQ(store.folderCount(), folders);
  const auto written = WrittenTree((*disk_)["volumes"][0]);
  const auto writtenFolders = std::count_if(written.begin(), written.end(), [&](const auto& item) {
    for (const Json& entry : (*disk_)["volumes"][0]["entries"]) {
      if (entry["path"] == item.first) return entry["kind"] == "folder";
    }
    return false;
  });
  EXPECT_EQ(folders, writtenFolders + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Disks, LostPartitions,
    ::testing::Values(DiskCase{"lost-fat32.raw", ""}, DiskCase{"lost-fat32.raw", "lost-fat32.vhd"},
                      DiskCase{"lost-fat32.raw", "lost-fat32.qcow2"}, DiskCase{"fat16-noboot.raw", ""},
                      DiskCase{"fat16-noboot.raw", "fat16-noboot.vhd"}, DiskCase{"two-fat.raw", ""},
                      DiskCase{"two-fat.raw", "two-fat.vhd"}, DiskCase{"lost-ntfs.raw", ""},
                      DiskCase{"lost-ntfs.raw", "lost-ntfs.vhd"}, DiskCase{"lost-ntfs.raw", "lost-ntfs.qcow2"}),
    [](const auto& info) { return test::ParamName(*info.param.container ? info.param.container : info.param.raw); });

TEST(LostFat16, PickingFindsTheFatsTheBootSectorNoLongerNames) {
  PartitionRun run;
  ASSERT_TRUE(run.Open(VolumesDir() / "fat16-noboot.raw", ""));
  ASSERT_EQ(run.Scan(0, 40960, FileSystemKind::Fat16), AnalysisOutcome::CloseForVolumeList);
  ASSERT_EQ(run.Pick(1), AnalysisOutcome::ResultsReady);
  const Json& volume = DiskManifest("fat16-noboot.raw")["volumes"][0];
  const std::uint32_t fat1 = volume["firstSector"].get<std::uint32_t>() + volume["reservedSectors"].get<std::uint32_t>();
  const std::uint32_t perFat = volume["sectorsPerFat"];
  const BootParameters& boot = run.session.bootParameters;
  EXPECT_EQ(boot.fat1FirstSector, fat1);
  EXPECT_EQ(boot.fat2FirstSector, fat1 + perFat);
  EXPECT_EQ(boot.sectorsPerFat, perFat);
  EXPECT_EQ(boot.rootFirst, fat1 + 2 * perFat);
  EXPECT_EQ(boot.rootDirSectors, 32u);
  // The list now shows the range's end and the data start as its extent.
  EXPECT_EQ(run.session.volumeCandidates[0].endSector, 40960u);
  EXPECT_EQ(run.session.volumeCandidates[0].firstSector, run.session.volumeCandidates[0].cluster0Sector);
}

// Two NTFS volumes one after the other with no table at all: the second
// picked shows only its own folders and files, and picking the first after
// Back shows it whole, and the second again.
TEST(TwoNtfsVolumes, EachPickShowsOnlyThatVolumeWhole) {
  const fs::path dir = test::TestDisksDir() / "formatted-ntfs-volumes";
  const Json manifest = ReadJson(dir / "manifest.json");
  const Json* disk = nullptr;
  for (const Json& d : manifest["disks"]) {
    if (d["file"] == "two-volumes.raw") disk = &d;
  }
  ASSERT_NE(disk, nullptr);
  const Json& volumes = (*disk)["volumes"];
  const std::uint64_t end = volumes[1]["firstSector"].get<std::uint64_t>() + volumes[1]["sectorCount"].get<std::uint64_t>();
  PartitionRun run;
  ASSERT_TRUE(run.Open(dir / "two-volumes.raw", ""));
  ASSERT_EQ(run.Scan(0, end, FileSystemKind::Ntfs), AnalysisOutcome::CloseForVolumeList);
  ASSERT_EQ(run.session.volumeCandidates.size(), 2u);
  for (int i : {0, 1}) EXPECT_EQ(run.session.volumeCandidates[i].firstSector, volumes[i]["firstSector"]);
  for (const int number : {2, 1, 2}) {
    run.BackToVolumeList();
    ASSERT_EQ(run.Pick(number), AnalysisOutcome::ResultsReady);
    EXPECT_EQ(run.session.bootParameters.cluster0Sector, volumes[number - 1]["firstSector"]);
    EXPECT_EQ(run.Tree(), WrittenTree(volumes[number - 1])) << "volume " << number;
  }
}

class PickingNothing : public ::testing::TestWithParam<std::int64_t> {};

TEST_P(PickingNothing, NeverCopiesAVolume) {
  PartitionRun run;
  ASSERT_TRUE(run.Open(VolumesDir() / "two-fat.raw", ""));
  ASSERT_EQ(run.Scan(0, 67584, FileSystemKind::Fat16), AnalysisOutcome::CloseForVolumeList);
  ASSERT_EQ(run.session.volumeCandidates.size(), 2u);
  EXPECT_EQ(run.Pick(GetParam()), AnalysisOutcome::NoWorker);
  EXPECT_EQ(run.session.store.folderCount(), 0);
  EXPECT_EQ(run.session.store.currentVolume.load(), 0);
}

// The list's root (0), numbers before and past the list.
INSTANTIATE_TEST_SUITE_P(Numbers, PickingNothing, ::testing::Values(0, -1, 3, 65537, INT64_MAX));

TEST(PartitionScan, AnEmptyRangeListsNothingAndPicksNothing) {
  test::MemoryDisk zeros(4096);
  for (const FileSystemKind kind : {FileSystemKind::Fat16, FileSystemKind::Fat32, FileSystemKind::Ntfs}) {
    PartitionRun run;
    run.UseDisk(&zeros);
    EXPECT_EQ(run.Scan(0, 4096, kind), AnalysisOutcome::CloseForVolumeList);
    EXPECT_TRUE(run.session.volumeCandidates.empty());
    EXPECT_EQ(run.Pick(1), AnalysisOutcome::NoWorker);
  }
}

TEST(PartitionScan, NothingOfAnEarlierRunLeaksIntoTheNext) {
  PartitionRun run;
  ASSERT_TRUE(run.Open(VolumesDir() / "two-fat.raw", ""));
  run.session.scanLists.AddScanDir(ScanDirRecord{});
  run.session.volumeCandidates.push_back(VolumeCandidate{});
  ASSERT_EQ(run.Scan(0, 67584, FileSystemKind::Fat16), AnalysisOutcome::CloseForVolumeList);
  const auto folders = run.session.scanLists.scanDirCount();
  const auto volumes = run.session.volumeCandidates;
  ASSERT_EQ(volumes.size(), 2u);
  ASSERT_EQ(run.Pick(2), AnalysisOutcome::ResultsReady);
  run.BackToVolumeList();
  ASSERT_EQ(run.Scan(0, 67584, FileSystemKind::Fat16), AnalysisOutcome::CloseForVolumeList);
  EXPECT_EQ(run.session.scanLists.scanDirCount(), folders);
  EXPECT_EQ(run.session.volumeCandidates, volumes);
  run.session.LeaveVolumeList();
  EXPECT_TRUE(run.session.volumeCandidates.empty());
  EXPECT_EQ(run.session.scanLists.scanDirCount(), 0);
  EXPECT_TRUE(run.session.scanLists.dirs.empty());
}

// The agreement step's bar counts boot sectors times folders: with either
// none it stays at 0, never dividing by zero; otherwise it ends at 100.
struct AgreementCase {
  int bootSectors;
  int folders;
};

class AgreementBar : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(AgreementBar, StaysBetweenZeroAndAHundred) {
  PartitionRun run;
  AnalysisJob job = run.session.MakeAnalysisJob(run.progress);
  for (int i = 0; i < GetParam().folders; ++i) {
    ScanDirRecord folder;
    folder.ownNumber = 2 + static_cast<std::uint32_t>(i);
    folder.recordSector = 1000 + 4ULL * folder.ownNumber;
    job.scanLists.AddScanDir(folder);
  }
  FatBootHit hit;
  hit.sectorsPerCluster = 4;
  hit.cluster0Sector = 1000;
  hit.endSector = 100'000;
  const std::vector<FatBootHit> hits(static_cast<std::size_t>(GetParam().bootSectors), hit);
  EXPECT_EQ(AgreeBootSectors(job, hits), StepGo::On);
  EXPECT_EQ(PairLeftFolders(job), StepGo::On);
  for (const int percent : run.sink.percents) {
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
  }
  const bool work = GetParam().bootSectors > 0 && GetParam().folders > 0;
  if (work) EXPECT_EQ(run.sink.percents.back(), 100);
  // The first boot sector claims every folder; its copies add nothing.
  EXPECT_EQ(job.volumes.size(), work ? 1u : (GetParam().folders > 1 ? 1u : 0u));
}

INSTANTIATE_TEST_SUITE_P(Counts, AgreementBar,
                         ::testing::Values(AgreementCase{0, 0}, AgreementCase{0, 5}, AgreementCase{3, 0},
                                           AgreementCase{3, 5}, AgreementCase{1, 1}));

// A container that says a stretch is not held, while its reads there would
// give folder signatures: the scan must take the container's word.
class HoleyDisk final : public VirtualDisk {
 public:
  HoleyDisk(std::size_t sectors, bool holeReported) : memory_(sectors), holeReported_(holeReported) {}
  std::span<std::uint8_t> Sector(std::uint64_t sector) { return memory_.Sector(sector); }

  char formatLetter() const override { return 'H'; }
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) override { return memory_.ReadSector(sector, out); }
  VirtualDiskFacts facts() const override { return memory_.facts(); }
  AllocationRun allocationAt(std::uint64_t sector) const override {
    const std::uint64_t sectors = memory_.bytes.size() / 512;
    if (sector >= sectors) return {true, 0};
    if (holeReported_ && sector >= kHoleFirst && sector < kHoleEnd) return {false, kHoleEnd - sector};
    return {true, (sector < kHoleFirst ? kHoleFirst : sectors) - sector};
  }

  static constexpr std::uint64_t kHoleFirst = 1000;
  static constexpr std::uint64_t kHoleEnd = 3000;

 private:
  test::MemoryDisk memory_;
  bool holeReported_;
};

void WriteFolderStart(std::span<std::uint8_t> sector, std::uint32_t own, std::uint32_t parent) {
  StoreAscii(sector, 0, ".          ");
  sector[11] = 0x10;
  StoreU16LE(sector, 26, static_cast<std::uint16_t>(own));
  StoreAscii(sector, 32, "..         ");
  sector[43] = 0x10;
  StoreU16LE(sector, 58, static_cast<std::uint16_t>(parent));
}

class ScanOverHoles : public ::testing::TestWithParam<bool> {};

TEST_P(ScanOverHoles, FindsNoSignatureWhereTheContainerHoldsNothing) {
  const bool holeReported = GetParam();
  HoleyDisk disk(4096, holeReported);
  // Clusters of 4 sectors from sector 500: two folders in the hole.
  WriteFolderStart(disk.Sector(500 + 4 * 200), 200, 0);
  WriteFolderStart(disk.Sector(500 + 4 * 300), 300, 200);
  PartitionRun run;
  run.UseDisk(&disk);
  ASSERT_EQ(run.Scan(0, 4096, FileSystemKind::Fat16), AnalysisOutcome::CloseForVolumeList);
  EXPECT_EQ(run.session.scanLists.scanDirCount(), holeReported ? 0 : 2);
  EXPECT_EQ(run.session.volumeCandidates.size(), holeReported ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Holes, ScanOverHoles, ::testing::Bool());

}  // namespace
}  // namespace korv
