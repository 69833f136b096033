// Formatted Data Recovery on FAT over real volumes: FAT12, FAT16 and FAT32
// volumes filled with mtools and formatted over with mkfs.fat
// (make-formatted-fat-volumes.sh), each compared with what was written before
// the format. Then a stop during the folder search, a volume without a
// cluster size, and a copied folder cluster.
#include "engine/formatted_fat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "app/session.h"
#include "fs/fat/fat_boot.h"
#include "support/byte_writers.h"
#include "support/reader_checks.h"
#include "support/store_paths.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Records texts and asks for a stop at the first sector report: one report
// reaches the sink per 1,000 clusters searched.
class StoppingSink final : public ProgressSink {
 public:
  WorkerControl* worker = nullptr;
  std::vector<std::pair<ProgressField, std::string>> texts;

  void SetText(ProgressField field, std::string_view text) override {
    texts.emplace_back(field, std::string(text));
    if (field == ProgressField::Sector && worker != nullptr && !stopped_) {
      stopped_ = true;
      worker->RequestStop();
    }
  }
  void SetPercent(int) override {}
  void Pulse() override {}

  int count(ProgressField field) const {
    int n = 0;
    for (const auto& [f, text] : texts) n += f == field;
    return n;
  }
  std::vector<std::string> statusTexts() const {
    std::vector<std::string> status;
    for (const auto& [f, text] : texts) {
      if (f == ProgressField::Status) status.push_back(text);
    }
    return status;
  }

 private:
  bool stopped_ = false;
};

// A session pointed straight at a volume file in the formatted mode, run
// through the driver.
template <typename Sink>
struct FormattedRun {
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  Sink sink;
  AnalysisProgress progress{sink};

  bool Select(const fs::path& file, std::uint64_t sectorCount, std::string_view fileSystem) {
    session.source.kind = SourceKind::PhysicalDisk;
    session.source.devices.paths[0] = file.string();
    session.range.firstSector = 0;
    session.range.endSector = sectorCount;
    session.range.fileSystem = test::FileSystemNamed(fileSystem);
    session.wizard.formattedMode = true;
    return ReadFatBootParameters(session.sectors, session.range, session.bootParameters);
  }

  // The same through a container file, its reader and its allocation map.
  bool SelectContainer(const fs::path& file, std::uint64_t sectorCount, std::string_view fileSystem) {
    if (!session.OpenVirtualFile(file).accepted) return false;
    session.range.firstSector = 0;
    session.range.endSector = sectorCount;
    session.range.fileSystem = test::FileSystemNamed(fileSystem);
    session.wizard.formattedMode = true;
    return ReadFatBootParameters(session.sectors, session.range, session.bootParameters);
  }

  AnalysisOutcome Run() {
    AnalysisJob job = session.MakeAnalysisJob(progress);
    return RunAnalysis(job);
  }
};

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string Base(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A deleted short name has lost its first letter ("JUNK2.DAT" reads
// "_UNK2.DAT"); deleted names are compared with it blotted out.
std::string Blotted(const std::string& name) { return name.empty() ? name : "_" + name.substr(1); }

std::string Joined(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

// Each found path with what it is: "D" or "F", deleted mark, size, number.
std::map<std::string, std::string> Summary(const Store& store) {
  std::map<std::string, std::string> summary;
  for (const auto& [path, item] : test::StorePaths(store, FatRootNumber).items) {
    summary[path] = std::string(item.folder ? "D" : "F") + (item.deleted ? "*" : "") + " " +
                    std::to_string(item.size) + " #" + std::to_string(item.ownNumber);
  }
  return summary;
}

bool IsNumberedName(const std::string& name) {
  return name.size() > 3 && name.starts_with(kFoundFolderPrefix) &&
         std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct OldFolder {
  std::uint32_t cluster = 0;
  std::uint32_t clusters = 0;
  bool deleted = false;
};

// The old tree of one volume and what the scan found of it.
class OldTree {
 public:
  OldTree(const Json& volume, const test::FoundTree& found) : volume_(volume), found_(found) {
    overwritten_ = volume["overwrittenFolder"];
    for (const auto& e : volume["entries"]) {
      if (e["kind"] == "folder") folders_[e["path"]] = {e["cluster"], e["clusters"], e["deleted"]};
    }
    for (const auto& [path, item] : found.items) {
      if (item.folder) foundPath_[item.ownNumber] = path;
    }
  }

  // Where a folder's items stand in the found tree: the root, "Lost" for the
  // children of the overwritten folder, else the found folder at its cluster.
  std::optional<std::string> FoundFolderPath(const std::string& oldPath) const {
    if (oldPath.empty()) return "";
    if (oldPath == overwritten_) return "Lost";
    const auto at = foundPath_.find(folders_.at(oldPath).cluster);
    if (at == foundPath_.end()) return std::nullopt;
    return at->second;
  }

  void ExpectFoldersFound() const {
    for (const auto& [path, old] : folders_) {
      SCOPED_TRACE(path);
      const bool inOldFolderGone = Parent(path).empty() || Parent(path) == overwritten_;
      if (path == overwritten_) {
        EXPECT_FALSE(foundPath_.contains(old.cluster)) << "its cluster holds a file written after the format";
        continue;
      }
      const auto found = FoundFolderPath(path);
      ASSERT_TRUE(found) << "no folder found at cluster " << old.cluster;
      EXPECT_EQ(Parent(*found), *FoundFolderPath(Parent(path)));
      const test::FoundItem& item = found_.items.at(*found);
      if (inOldFolderGone) {
        // No entry names it any more.
        EXPECT_TRUE(IsNumberedName(Base(*found))) << *found;
        EXPECT_FALSE(item.deleted);
      } else {
        EXPECT_EQ(item.deleted, old.deleted);
        EXPECT_EQ(old.deleted ? Blotted(Base(*found)) : Base(*found), old.deleted ? Blotted(Base(path)) : Base(path));
      }
    }
  }

  // Files of folders read in full must all be found, those of folders
  // longer than their first cluster at least in part; nothing else may
  // turn up but the files written after the format. Returns how many old
  // files were found.
  int ExpectFilesFound() const {
    std::map<std::string, test::FoundItem> unclaimed;
    for (const auto& [path, item] : found_.items) {
      if (!item.folder) unclaimed.emplace(item.deleted ? Joined(Parent(path), Blotted(Base(path))) : path, item);
    }
    int found = 0;
    std::map<std::string, int> foundPerFolder;
    for (const auto& e : volume_["entries"]) {
      if (e["kind"] != "file" || e["size"] == 0) continue;
      const std::string path = e["path"];
      const bool deleted = e["deleted"];
      const std::string folder = Parent(path);
      const auto folderPath = folder.empty() || folder == overwritten_ ? std::nullopt : FoundFolderPath(folder);
      if (!folderPath) continue;
      const std::string expected = Joined(*folderPath, deleted ? Blotted(Base(path)) : Base(path));
      const auto at = unclaimed.find(expected);
      if (at == unclaimed.end()) {
        EXPECT_GT(folders_.at(folder).clusters, 1u) << path << " not found as " << expected;
        continue;
      }
      EXPECT_EQ(at->second.size, e["size"].get<std::uint64_t>()) << path;
      EXPECT_EQ(at->second.deleted, deleted) << path;
      unclaimed.erase(at);
      ++found;
      ++foundPerFolder[folder];
    }
    for (const auto& [path, old] : folders_) {
      if (old.clusters > 1) {
        EXPECT_GT(foundPerFolder[path], 0) << path << ": its first cluster is read";
      }
    }
    for (const auto& newFile : volume_["newFiles"]) {
      const auto at = unclaimed.find(newFile["path"].get<std::string>());
      if (at == unclaimed.end()) {
        ADD_FAILURE() << "missing " << newFile["path"];
        continue;
      }
      EXPECT_EQ(at->second.size, newFile["size"].get<std::uint64_t>());
      unclaimed.erase(at);
    }
    for (const auto& [path, item] : unclaimed) ADD_FAILURE() << "unexpected file " << path;
    return found;
  }

  int OldFileCount() const {
    int count = 0;
    for (const auto& e : volume_["entries"]) count += e["kind"] == "file" && e["size"] != 0;
    return count;
  }

 private:
  const Json& volume_;
  const test::FoundTree& found_;
  std::string overwritten_;
  std::map<std::string, OldFolder> folders_;
  std::map<std::uint32_t, std::string> foundPath_;
};

class FormattedFatVolumeTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    folder = test::TestDisksDir() / "formatted-fat-volumes";
    if (!fs::exists(folder / "manifest.json")) GTEST_SKIP() << "no formatted FAT volumes at " << folder;
    manifest = Json::parse(std::ifstream(folder / "manifest.json"));
    for (const auto& v : manifest["volumes"]) {
      if (v["file"] == GetParam() + ".raw") volume = v;
    }
    ASSERT_FALSE(volume.is_null());
  }

  template <typename Sink>
  void Select(FormattedRun<Sink>& run) {
    ASSERT_TRUE(run.Select(folder / volume["file"].get<std::string>(), volume["sectorCount"],
                           volume["analysedName"].get<std::string>()));
  }

  fs::path folder;
  Json manifest;
  Json volume;
};

TEST_P(FormattedFatVolumeTest, FindsTheOldFoldersAndTheirFilesAsWritten) {
  FormattedRun<test::RecordingProgress> run;
  Select(run);
  ASSERT_EQ(run.Run(), AnalysisOutcome::ResultsReady);
  EXPECT_EQ(FileSystemName(run.session.analysisParameters.fileSystem), volume["analysedName"].get<std::string>());
  EXPECT_TRUE(run.prompts.messages.empty());

  const test::FoundTree found = test::StorePaths(run.session.store, FatRootNumber);
  EXPECT_EQ(found.duplicates, 0);
  const OldTree old(volume, found);
  old.ExpectFoldersFound();
  const int files = old.ExpectFilesFound();
  std::cout << "[ found    ] " << GetParam() << ": " << files << " of " << old.OldFileCount()
            << " files written before the format\n";

  // "Lost" is counted first, so the numbered folders start at Dir1; every
  // item reported reached the counters.
  EXPECT_TRUE(found.items.contains("Lost"));
  EXPECT_EQ(run.session.store.folderCount(), static_cast<int>(std::count_if(
      found.items.begin(), found.items.end(), [](const auto& entry) { return entry.second.folder; })));
  std::uint64_t bytes = 0;
  for (const auto& [path, item] : found.items) bytes += item.size;
  EXPECT_EQ(run.session.store.totalFileBytes(), bytes);
  const std::vector<std::string> steps = {std::string(kStatusFatFolderSignatures), std::string(kStatusFatLostFolders),
                                          std::string(kStatusFatRootData), std::string(kStatusFatSubfolderData)};
  std::vector<std::string> shown;
  for (const auto& [field, text] : run.sink.texts) {
    if (field == ProgressField::Status && std::find(steps.begin(), steps.end(), text) != steps.end()) {
      shown.push_back(text);
    }
  }
  EXPECT_EQ(shown, steps);
  EXPECT_EQ(run.sink.last(ProgressField::SizeLabel), kLabelTotalSize);
}

TEST_P(FormattedFatVolumeTest, AStopDuringTheFolderSearchStillNamesAndListsWhatWasFound) {
  FormattedRun<test::RecordingProgress> full;
  Select(full);
  ASSERT_EQ(full.Run(), AnalysisOutcome::ResultsReady);

  // Every old folder lies in the first 1,000 clusters: a stop at the first
  // sector report ends the search with all of them found.
  FormattedRun<StoppingSink> stopped;
  Select(stopped);
  stopped.sink.worker = &stopped.session.worker;
  EXPECT_EQ(stopped.Run(), AnalysisOutcome::ResultsReady);
  EXPECT_EQ(stopped.sink.count(ProgressField::Sector), 1);
  EXPECT_FALSE(stopped.session.worker.stopRequested());
  EXPECT_EQ(Summary(stopped.session.store), Summary(full.session.store));

  // A stop before the first cluster: steps 2 to 4 still run, on nothing but
  // the new root.
  FormattedRun<StoppingSink> early;
  Select(early);
  early.session.worker.RequestStop();
  EXPECT_EQ(early.Run(), AnalysisOutcome::ResultsReady);
  const std::vector<std::string> status = early.sink.statusTexts();
  EXPECT_NE(std::find(status.begin(), status.end(), kStatusFatSubfolderData), status.end());
  std::set<std::string> paths;
  for (const auto& [path, item] : test::StorePaths(early.session.store, FatRootNumber).items) paths.insert(path);
  EXPECT_EQ(paths, (std::set<std::string>{"Lost", "NEWFILE.TXT"}));
}

TEST_P(FormattedFatVolumeTest, ContainersGiveTheSameTreeAsTheRawVolume) {
  FormattedRun<test::RecordingProgress> raw;
  Select(raw);
  ASSERT_EQ(raw.Run(), AnalysisOutcome::ResultsReady);
  const fs::path volumeFile = folder / volume["file"].get<std::string>();
  test::TempDir dir;
  // The new file system leaves most of the volume unwritten: the containers
  // hold only what was written, and the search passes over the rest.
  for (const auto& [format, options] : std::vector<std::pair<std::string, std::string>>{
           {"qcow2", "cluster_size=65536"}, {"vpc", "subformat=dynamic"}}) {
    SCOPED_TRACE(format);
    const fs::path container = dir / ("volume." + format);
    ASSERT_TRUE(test::RunProgram(
        {"qemu-img", "convert", "-O", format, "-o", options, volumeFile.string(), container.string()}));
    FormattedRun<test::RecordingProgress> run;
    ASSERT_TRUE(run.SelectContainer(container, volume["sectorCount"], volume["analysedName"].get<std::string>()));
    ASSERT_EQ(run.Run(), AnalysisOutcome::ResultsReady);
    EXPECT_EQ(Summary(run.session.store), Summary(raw.session.store));
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, FormattedFatVolumeTest, ::testing::Values("fat12", "fat16", "fat32"));

class FormattedFatEdgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path folder = test::TestDisksDir() / "formatted-fat-volumes";
    if (!fs::exists(folder / "manifest.json")) GTEST_SKIP() << "no formatted FAT volumes at " << folder;
    const Json manifest = Json::parse(std::ifstream(folder / "manifest.json"));
    for (const auto& v : manifest["volumes"]) {
      if (v["file"] == "fat16.raw") volume = v;
    }
    ASSERT_FALSE(volume.is_null());
    file = dir.path() / "fat16.raw";
    fs::copy_file(folder / "fat16.raw", file);
  }

  std::uint32_t OldCluster(const std::string& path) const {
    for (const auto& e : volume["entries"]) {
      if (e["path"] == path) return e["cluster"];
    }
    return 0;
  }

  test::TempDir dir;
  Json volume;
  fs::path file;
};

TEST_F(FormattedFatEdgeTest, NoSectorsPerClusterGivesTheMessageAndNoResults) {
  FormattedRun<test::RecordingProgress> run;
  ASSERT_TRUE(run.Select(file, volume["sectorCount"], "FAT16"));
  run.session.bootParameters.sectorsPerCluster = 0;
  EXPECT_EQ(run.Run(), AnalysisOutcome::CloseNoResults);
  EXPECT_EQ(run.prompts.messages, std::vector<std::string>{std::string(kMsgRecoveryNotPossible)});
  EXPECT_EQ(run.session.store.folderCount(), 0);
  EXPECT_EQ(run.session.store.fileCount(), 0);
}

TEST_F(FormattedFatEdgeTest, ACopiedFolderClusterIsAFolderOnlyWhenItsDotEntryNamesIt) {
  // The last cluster of the volume, free after the format, gets a copy of
  // DOCS's first sector.
  FormattedRun<test::RecordingProgress> probe;
  ASSERT_TRUE(probe.Select(file, volume["sectorCount"], "FAT16"));
  const BootParameters boot = probe.session.bootParameters;
  const std::uint32_t docs = OldCluster("DOCS");
  ASSERT_NE(docs, 0u);
  const std::uint32_t copy = FatClusterCount(boot, FatType::Fat16, volume["sectorCount"]) + 1;
  std::vector<std::uint8_t> bytes = test::ReadFileBytes(file);
  const std::uint64_t from = ClusterSector(boot, docs) * 512;
  const std::uint64_t to = ClusterSector(boot, copy) * 512;
  ASSERT_LE(to + 512, bytes.size());
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), 512, bytes.begin() + static_cast<std::ptrdiff_t>(to));
  test::WriteFileBytes(file, bytes);

  const auto folderAt = [&](std::uint32_t cluster) {
    FormattedRun<test::RecordingProgress> run;
    EXPECT_TRUE(run.Select(file, volume["sectorCount"], "FAT16"));
    EXPECT_EQ(run.Run(), AnalysisOutcome::ResultsReady);
    return run.session.store.FindFolder(cluster, 0).has_value();
  };
  EXPECT_TRUE(folderAt(docs));
  EXPECT_FALSE(folderAt(copy));

  // The same copy with its "." entry naming its own cluster is a folder.
  StoreU16LE(bytes, to + 0x1A, static_cast<std::uint16_t>(copy));
  test::WriteFileBytes(file, bytes);
  EXPECT_TRUE(folderAt(copy));
}

}  // namespace
}  // namespace korv
