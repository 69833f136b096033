// Formatted Data Recovery on NTFS volumes that ntfs-3g filled and mkntfs
// formatted over: the old folders and files come back under their old paths
// (or under "Lost" when the records of their folders were overwritten), on
// every container format; two volumes in one range give two candidates; a
// stop ends only the step it came in, Back ends the run.
#include "engine/formatted_ntfs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/session.h"
#include "engine/formatted_ntfs_scan.h"
#include "engine/formatted_ntfs_step.h"
#include "support/memory_disk.h"
#include "support/store_paths.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Json = nlohmann::json;
// The formatted scan gives its folders volume number 1.
constexpr std::uint16_t kFirstVolume = 1;

std::filesystem::path DisksDir() { return test::TestDisksDir() / "formatted-ntfs-volumes"; }

Json Manifest() {
  std::ifstream in(DisksDir() / "manifest.json");
  return Json::parse(in);
}

const Json& DiskOf(const Json& manifest, const std::string& file) {
  for (const Json& disk : manifest["disks"]) {
    if (disk["file"] == file) return disk;
  }
  throw std::runtime_error("no disk " + file + " in the manifest");
}

// Where an entry written before the format should show: its own path, or,
// when the record of one of its folders was overwritten, under "Lost" from
// the folder below the deepest one lost.
std::string ExpectedPath(const Json& entries, const Json& entry) {
  std::map<std::uint32_t, const Json*> folders;
  for (const Json& other : entries) {
    if (other["kind"] == "folder") folders[other["record"]] = &other;
  }
  const std::string path = entry["path"];
  std::uint32_t parent = entry["parent"];
  for (int depth = 0; parent != NtfsRootNumber && depth < 64; ++depth) {
    const Json& folder = *folders.at(parent);
    if (!folder["survives"].get<bool>()) return "Lost/" + path.substr(folder["path"].get<std::string>().size() + 1);
    parent = folder["parent"];
  }
  return path;
}

struct Share {
  int written = 0;
  int atExpectedPath = 0;
  int underLost = 0;  // of those found where they belong
};

// Checks every surviving entry of `volume` in `tree`; counts how many of all
// written were found where they should be.
Share CheckEntries(const test::FoundTree& tree, const Json& volume, const std::string& label) {
  Share share;
  const Json& entries = volume["entries"];
  for (const Json& entry : entries) {
    ++share.written;
    if (!entry["survives"].get<bool>()) continue;
    const std::string expected = ExpectedPath(entries, entry);
    const auto found = tree.items.find(expected);
    EXPECT_NE(found, tree.items.end()) << label << ": " << expected;
    if (found == tree.items.end()) continue;
    EXPECT_EQ(found->second.folder, entry["kind"] == "folder") << expected;
    EXPECT_FALSE(found->second.deleted) << expected;
    if (entry["kind"] == "file") {
      EXPECT_EQ(found->second.size, entry["size"].get<std::uint64_t>()) << expected;
    }
    ++share.atExpectedPath;
    if (expected.starts_with("Lost/")) ++share.underLost;
  }
  std::cout << label << ": " << share.atExpectedPath << " of " << share.written
            << " entries written before the format found where they belong, " << share.underLost
            << " of them under Lost\n";
  return share;
}

// --- Through the session, on every container ------------------------------------

struct FormattedRun {
  std::string disk;
  std::string container;
};

void PrintTo(const FormattedRun& run, std::ostream* out) { *out << run.container; }

class FormattedContainersTest : public ::testing::TestWithParam<FormattedRun> {};

TEST_P(FormattedContainersTest, FindsTheOldTreeWithOrphansUnderLost) {
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  NullProgress sink;
  AnalysisProgress progress{sink};
  ASSERT_TRUE(session.OpenVirtualFile(DisksDir() / GetParam().container).accepted);
  ASSERT_TRUE(session.SelectPartition(1));
  ASSERT_EQ(session.Analyse(RecoveryMode::FormattedData, progress), AnalysisOutcome::ResultsReady);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(session.store.currentVolume.load(), kFirstVolume);

  const test::FoundTree tree = test::StorePaths(session.store, NtfsRootNumber, kFirstVolume);
  const Json manifest = Manifest();
  const Json& volume = DiskOf(manifest, GetParam().disk)["volumes"][0];
  const Share share = CheckEntries(tree, volume, GetParam().container);
  if (GetParam().disk == "quick.raw") {
    EXPECT_EQ(share.atExpectedPath, share.written);
  } else {
    EXPECT_GT(share.underLost, 0) << "the new MFT overwrote records of folders that held others";
  }
  // "Lost" is a folder, and no file of that name stands in its way.
  ASSERT_TRUE(tree.items.contains("Lost"));
  EXPECT_TRUE(tree.items.at("Lost").folder);
  // Nothing of the old tree comes twice; only the first four records do,
  // found again in the new MFT's mirror.
  EXPECT_EQ(tree.duplicates, 4);
  // The new volume's own records are found too.
  EXPECT_TRUE(tree.items.contains("$MFT"));
}

INSTANTIATE_TEST_SUITE_P(Formats, FormattedContainersTest,
                         ::testing::Values(FormattedRun{"quick.raw", "quick-fixed.vhd"},
                                           FormattedRun{"quick.raw", "quick.qcow2"},
                                           FormattedRun{"quick.raw", "quick-dynamic.vhdx"},
                                           FormattedRun{"rewritten.raw", "rewritten-fixed.vhd"}),
                         [](const auto& info) {
                           std::string name = info.param.container;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// --- On a disk held in memory, with a range set by hand ---------------------------

// Shows everything like RecordingProgress; on the first percentage it asks
// the worker for a stop or a Back, as a user pressing the button would.
class InterruptingProgress final : public ProgressSink {
 public:
  enum class Action { None, Stop, Back };

  std::vector<std::string> statusTexts;
  // Status texts and percentages in the order shown; percentages as "%N".
  std::vector<std::string> events;
  WorkerControl* worker = nullptr;
  Action action = Action::None;

  void SetText(ProgressField field, std::string_view text) override {
    if (field != ProgressField::Status) return;
    statusTexts.emplace_back(text);
    events.emplace_back(text);
  }
  void SetPercent(int percent) override {
    events.push_back("%" + std::to_string(percent));
    if (worker == nullptr || action == Action::None) return;
    if (action == Action::Stop) worker->RequestStop();
    if (action == Action::Back) worker->RequestAbandon();
    action = Action::None;
  }
  void Pulse() override {}

  bool Showed(std::string_view text) const {
    return std::find(statusTexts.begin(), statusTexts.end(), text) != statusTexts.end();
  }
};

class FormattedRangeAnalysis : public ::testing::Test {
 protected:
  void Load(const std::string& file) {
    manifest_ = Manifest();
    disk_json_ = DiskOf(manifest_, file);
    // One read: byte by byte, a disk of 32 MiB takes seconds.
    const auto path = DisksDir() / file;
    disk_ = std::make_unique<test::MemoryDisk>(std::filesystem::file_size(path) / 512);
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(
        in.read(reinterpret_cast<char*>(disk_->bytes.data()), static_cast<std::streamsize>(disk_->bytes.size())));
    session_.source.kind = SourceKind::VirtualDisk;
    session_.source.virtualDisk = disk_.get();
    session_.range.fileSystem = FileSystemKind::Ntfs;
    SetRange(0, disk_->bytes.size() / 512);
    sink_.worker = &session_.worker;
  }

  void SetRange(std::uint64_t first, std::uint64_t end) {
    session_.range.firstSector = first;
    session_.range.endSector = end;
  }

  // The boot parameters stay as they are (zeros unless a test sets them), as
  // in a partition scan: the scan must not depend on them.
  AnalysisOutcome Analyse(bool rangeRun) {
    session_.wizard.formattedMode = !rangeRun;
    session_.wizard.rangeRun = rangeRun;
    session_.runFlags = {};
    session_.worker.Reset();
    AnalysisJob job = session_.MakeAnalysisJob(progress_);
    return RunAnalysis(job);
  }

  test::FoundTree Tree(std::uint16_t volume = kFirstVolume) const {
    return test::StorePaths(session_.store, NtfsRootNumber, volume);
  }

  // Loads quick.raw, selects its volume and analyses it: the volume's range.
  std::pair<std::uint64_t, std::uint64_t> AnalyseQuickVolume() {
    Load("quick.raw");
    const Json& volume = disk_json_["volumes"][0];
    const std::uint64_t first = volume["firstSector"];
    const std::uint64_t end = first + volume["sectorCount"].get<std::uint64_t>();
    SetRange(first, end);
    EXPECT_EQ(Analyse(false), AnalysisOutcome::ResultsReady);
    return {first, end};
  }

  // Where the record of the volume's first folder lies.
  std::uint64_t FirstFolderRecordSector() const {
    const auto number = disk_json_["volumes"][0]["entries"][std::size_t{0}]["record"].get<std::uint32_t>();
    return session_.store.folder(*session_.store.FindFolder(number, kFirstVolume)).recordSector;
  }

  static void ExpectSameItems(const test::FoundTree& tree, const test::FoundTree& expected, std::uint64_t label) {
    ASSERT_EQ(tree.items.size(), expected.items.size()) << label;
    for (const auto& [path, item] : expected.items) {
      ASSERT_TRUE(tree.items.contains(path)) << label << ": " << path;
      EXPECT_EQ(tree.items.at(path).size, item.size) << path;
      EXPECT_EQ(tree.items.at(path).ownNumber, item.ownNumber) << path;
      EXPECT_EQ(tree.items.at(path).deleted, item.deleted) << path;
    }
  }

  test::TempDir dir_;
  test::ScriptedPrompts prompts_;
  Session session_{prompts_, SessionOptions{dir_ / "inventory.json", false}};
  InterruptingProgress sink_;
  AnalysisProgress progress_{sink_};
  Json manifest_;
  Json disk_json_;
  std::unique_ptr<test::MemoryDisk> disk_;
};

TEST_F(FormattedRangeAnalysis, RecordsAtTheEndOfAReadAreTakenWhole) {
  const auto [first, end] = AnalyseQuickVolume();
  const Json& volume = disk_json_["volumes"][0];
  const test::FoundTree whole = Tree();
  EXPECT_EQ(CheckEntries(whole, volume, "quick.raw in memory").atExpectedPath,
            static_cast<int>(volume["entries"].size()));

  // Ranges that put the record of a folder on the last sector of a read (its
  // second half and the tail the plausibility test compares come from the
  // next read), then on the second-to-last (its second half lies beyond the
  // buffer).
  const std::uint64_t sector = FirstFolderRecordSector();
  const std::uint32_t chunk = ScanChunkSectors(512);
  for (const std::uint64_t position : {chunk - 1, chunk - 2}) {
    ASSERT_GE(sector, position + chunk);
    std::uint64_t shifted = sector - position;
    while (shifted > first) shifted -= chunk;
    ASSERT_EQ((sector - shifted) % chunk, position);
    SetRange(shifted, end);
    ASSERT_EQ(Analyse(false), AnalysisOutcome::ResultsReady);
    ExpectSameItems(Tree(), whole, position);
  }
}

// Chunks that can be looked at in place are copied only where they may hold
// a record: whole when dense with them, sector by sector when they hold a
// few. Neither may change what is found, here with a copy of a folder's
// record on a chunk's last sector (its second half in the next chunk), and
// chunks with as many record heads as are read one by one, and one more.
TEST_F(FormattedRangeAnalysis, LookingAtChunksFindsWhatReadingThemDoes) {
  const auto [first, end] = AnalyseQuickVolume();
  const std::uint64_t record = FirstFolderRecordSector();
  const std::vector<std::uint8_t> copy(disk_->Sector(record).begin(), disk_->Sector(record + 1).end());

  const std::uint64_t chunk = ScanChunkSectors(512);
  const std::uint64_t chunks = (end - first) / chunk;
  ASSERT_GE(chunks, 10u);
  const auto chunkStart = [&](std::uint64_t index) { return first + index * chunk; };
  const auto zero =
      std::span(disk_->bytes)
          .subspan(static_cast<std::size_t>(chunkStart(chunks - 9) * 512), static_cast<std::size_t>(7 * chunk * 512));
  std::fill(zero.begin(), zero.end(), std::uint8_t{0});
  const auto plant = [&](std::uint64_t sector, std::size_t bytes) {
    std::copy_n(copy.begin(), bytes, disk_->bytes.begin() + static_cast<std::ptrdiff_t>(sector * 512));
  };
  plant(chunkStart(chunks - 8) - 1, copy.size());
  for (std::uint64_t i = 0; i < 32; ++i) plant(chunkStart(chunks - 6) + i * 8, 512);
  plant(chunkStart(chunks - 6) + 500, copy.size());
  for (std::uint64_t i = 0; i < 33; ++i) plant(chunkStart(chunks - 4) + i * 8, 512);

  const auto run = [&](bool lookable) {
    disk_->lookable = lookable;
    disk_->reads = 0;
    EXPECT_EQ(Analyse(false), AnalysisOutcome::ResultsReady);
    return std::pair(Tree(), disk_->reads);
  };
  const auto [read, readCount] = run(false);
  const auto [looked, lookedReadCount] = run(true);
  EXPECT_GE(read.duplicates, 2) << "the planted records were not found";
  EXPECT_EQ(looked.duplicates, read.duplicates);
  ExpectSameItems(looked, read, 0);
  EXPECT_LT(lookedReadCount, readCount / 2) << "the chunks were read, not looked at";
}

TEST_F(FormattedRangeAnalysis, TwoVolumesInARangeAreTwoCandidates) {
  Load("two-volumes.raw");
  const Json& volumes = disk_json_["volumes"];
  // A boot sector copy with no cluster size before the first volume: it
  // confirms nothing, and the volumes after it are still looked at.
  std::copy_n(disk_->Sector(volumes[0]["firstSector"].get<std::uint64_t>()).begin(), 512, disk_->Sector(100).begin());
  disk_->Sector(100)[0x0D] = 0;

  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Analyse(true), AnalysisOutcome::CloseForVolumeList) << run;
    ASSERT_EQ(session_.volumeCandidates.size(), 2u) << "run " << run << " starts from empty lists";
    for (std::size_t i = 0; i < 2; ++i) {
      const VolumeCandidate& candidate = session_.volumeCandidates[i];
      const std::uint64_t first = volumes[i]["firstSector"];
      EXPECT_EQ(candidate.fileSystem, FileSystemKind::Ntfs);
      EXPECT_EQ(candidate.firstSector, first);
      // mkntfs keeps the volume's last sector for the boot sector's copy.
      EXPECT_EQ(candidate.endSector, first + volumes[i]["sectorCount"].get<std::uint64_t>() - 1);
      EXPECT_EQ(candidate.sectorsPerCluster, 8u);
      EXPECT_EQ(candidate.sectorsPerMftRecord, 2u);
      EXPECT_EQ(candidate.sectorsPerIndexRecord, 8u);
    }
    EXPECT_EQ(session_.store.folderCount(), 0) << "a partition scan lists volumes, it dumps none";
  }

  // The formatted mode dumps volume 1; the folders of volume 2 keep theirs.
  ASSERT_EQ(Analyse(false), AnalysisOutcome::ResultsReady);
  const test::FoundTree first = Tree(1);
  const test::FoundTree second = Tree(2);
  CheckEntries(first, volumes[0], "two-volumes.raw, volume 1");
  EXPECT_TRUE(second.items.contains("VolB-Index/entry-000.dat"));
  EXPECT_TRUE(second.items.contains("VolB-Small/Inner"));
  EXPECT_FALSE(first.items.contains("VolB-Small"));
}

TEST_F(FormattedRangeAnalysis, AStopEndsTheScanAndTheLaterStepsStillRun) {
  Load("quick.raw");
  const Json& volume = disk_json_["volumes"][0];
  const std::uint64_t first = volume["firstSector"];
  SetRange(first, first + volume["sectorCount"].get<std::uint64_t>());
  sink_.action = InterruptingProgress::Action::Stop;
  ASSERT_EQ(Analyse(false), AnalysisOutcome::ResultsReady);

  // The stop came after the first read, which holds the MFT: its records
  // are all there, numbered and dumped, though the index records and boot
  // sectors further on were never seen.
  for (const std::string_view step :
       {kStatusFormattedFolderNumbers, kStatusFormattedFileNumbers, kStatusFormattedVolumes, kStatusFormattedDump}) {
    EXPECT_TRUE(sink_.Showed(step)) << step;
  }
  EXPECT_FALSE(session_.worker.stopRequested());
  // The scan's bar stopped at its first read.
  const auto stepTwo = std::find(sink_.events.begin(), sink_.events.end(), kStatusFormattedFolderNumbers);
  ASSERT_NE(stepTwo, sink_.events.end());
  const auto lastPercent = std::find_if(std::make_reverse_iterator(stepTwo), sink_.events.rend(),
                                        [](const std::string& event) { return event.starts_with("%"); });
  ASSERT_NE(lastPercent, sink_.events.rend());
  EXPECT_LT(std::stoi(lastPercent->substr(1)), 10);
  const test::FoundTree tree = Tree();
  EXPECT_TRUE(tree.items.contains("Projects/Alpha/Docs/doc-000.dat"));
  EXPECT_TRUE(tree.items.contains("Archive/Old/Older/Oldest/d-001.dat"));
}

TEST_F(FormattedRangeAnalysis, BackEndsTheRunWithNothingKept) {
  Load("quick.raw");
  sink_.action = InterruptingProgress::Action::Back;
  EXPECT_EQ(Analyse(false), AnalysisOutcome::Abandoned);
  EXPECT_EQ(session_.store.folderCount(), 0);
  EXPECT_EQ(session_.store.fileCount(), 0);
  EXPECT_FALSE(sink_.Showed(kStatusFormattedFolderNumbers));
}

}  // namespace
}  // namespace korv
