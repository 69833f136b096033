// Deleted Data Recovery on NTFS volumes written by ntfs-3g: the found tree
// matches what was written (and deleted) on every container format, agrees
// with the Sleuth Kit, and damaged parents end under "Lost".
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "app/session.h"
#include "engine/deleted_ntfs.h"
#include "engine/lost_folders.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/fixups.h"
#include "fs/ntfs/record_values.h"
#include "support/byte_writers.h"
#include "support/memory_disk.h"
#include "support/reader_checks.h"
#include "support/store_paths.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Json = nlohmann::json;
constexpr std::uint64_t kNtfsFirstSector = 2048;
// Seconds between 1601 and 1970.
constexpr std::uint64_t kEpochDifference = 11644473600ULL;

Json ReadJson(const std::filesystem::path& path) {
  std::ifstream in(path);
  return Json::parse(in);
}

const Json& NtfsPartitionOf(const Json& manifest) {
  for (const Json& partition : manifest["disks"][0]["partitions"]) {
    if (partition["fileSystem"] == "NTFS") return partition;
  }
  throw std::runtime_error("no NTFS partition in the manifest");
}

std::uint64_t UnixSeconds(std::uint32_t low, std::uint32_t high) {
  return ((std::uint64_t{high} << 32 | low) / 10000000) - kEpochDifference;
}

// Runs the deleted-data analysis of partition 1 of `disk` through the whole
// Next path, as the front ends do.
struct AnalysedDisk {
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  NullProgress sink;
  AnalysisProgress progress{sink};
  AnalysisOutcome outcome = AnalysisOutcome::NoWorker;

  explicit AnalysedDisk(const std::filesystem::path& disk) {
    if (!session.OpenVirtualFile(disk).accepted || !session.SelectPartition(1)) return;
    outcome = session.Analyse(RecoveryMode::DeletedData, progress);
  }
};

class DeletedNtfsContainersTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DeletedNtfsContainersTest, FindsEveryItemWrittenAndDeleted) {
  AnalysedDisk analysed(test::TestDisksDir() / GetParam());
  ASSERT_EQ(analysed.outcome, AnalysisOutcome::DeletedRunEnded);
  EXPECT_TRUE(analysed.prompts.messages.empty());
  const test::FoundTree tree = test::StorePaths(analysed.session.store, NtfsRootNumber);
  EXPECT_EQ(tree.duplicates, 0);
  const Json manifest = ReadJson(test::TestDisksDir() / "manifest.json");
  for (const Json& entry : NtfsPartitionOf(manifest)["entries"]) {
    const std::string path = entry["path"];
    const auto found = tree.items.find(path);
    ASSERT_NE(found, tree.items.end()) << path;
    EXPECT_EQ(found->second.folder, entry["kind"] == "folder") << path;
    EXPECT_EQ(found->second.deleted, entry["deleted"].get<bool>()) << path;
    if (entry["kind"] == "file") EXPECT_EQ(found->second.size, entry["size"].get<std::uint64_t>()) << path;
  }
  // The system files sit in the root, and "Lost" is the first folder.
  EXPECT_TRUE(tree.items.contains("$MFT"));
  EXPECT_TRUE(tree.items.contains("Lost"));
  EXPECT_EQ(*analysed.session.store.FoldersInOrder().begin(), *analysed.session.store.FindFolder(LostNumber, 0));
}

INSTANTIATE_TEST_SUITE_P(Formats, DeletedNtfsContainersTest,
                         ::testing::Values("basic-fixed.vhd", "basic-dynamic.vhd", "basic-dynamic.vhdx",
                                           "basic-dynamic.vdi", "basic-v3.qcow2", "basic-compressed.qcow2",
                                           "basic.qed", "basic.hdd", "basic-monolithicSparse.vmdk",
                                           "basic-streamOptimized.vmdk"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

struct BodyLine {
  std::uint64_t size = 0, atime = 0, mtime = 0, crtime = 0;
};

// fls's body-file listing: path → the $STANDARD_INFORMATION times.
std::map<std::string, BodyLine> FlsBody(const std::filesystem::path& disk) {
  const auto text = test::ProgramOutput({"fls", "-r", "-m", "/", "-o", std::to_string(kNtfsFirstSector), disk.string()});
  std::map<std::string, BodyLine> body;
  if (!text) return body;
  std::istringstream lines(*text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '|');) fields.push_back(field);
    if (fields.size() < 11 || fields[1].find(" ($FILE_NAME)") != std::string::npos) continue;
    std::string path = fields[1].substr(1);
    if (const auto deleted = path.find(" (deleted)"); deleted != std::string::npos) path.erase(deleted);
    body[path] = {std::stoull(fields[6]), std::stoull(fields[7]), std::stoull(fields[8]), std::stoull(fields[10])};
  }
  return body;
}

TEST(DeletedNtfsTest, AgreesWithTheSleuthKitOnNamesTimesAndDeletedEntries) {
  // The fixed VHD holds the raw disk's bytes, which fls reads.
  AnalysedDisk analysed(test::TestDisksDir() / "basic-fixed.vhd");
  const auto disk = test::TestDisksDir() / "basic.raw";
  ASSERT_EQ(analysed.outcome, AnalysisOutcome::DeletedRunEnded);
  const test::FoundTree tree = test::StorePaths(analysed.session.store, NtfsRootNumber);

  const auto body = FlsBody(disk);
  ASSERT_FALSE(body.empty());
  const Json manifest = ReadJson(test::TestDisksDir() / "manifest.json");
  for (const Json& entry : NtfsPartitionOf(manifest)["entries"]) {
    const std::string path = entry["path"];
    const auto& times = tree.items.at(path).times;
    ASSERT_TRUE(body.contains(path)) << path;
    EXPECT_EQ(UnixSeconds(times[0], times[1]), body.at(path).mtime) << path;
    EXPECT_EQ(UnixSeconds(times[2], times[3]), body.at(path).crtime) << path;
    EXPECT_EQ(UnixSeconds(times[4], times[5]), body.at(path).atime) << path;
  }

  const auto deletedListing = test::ProgramOutput(
      {"fls", "-r", "-d", "-p", "-o", std::to_string(kNtfsFirstSector), disk.string()});
  ASSERT_TRUE(deletedListing);
  std::istringstream lines(*deletedListing);
  int named = 0;
  for (std::string line; std::getline(lines, line);) {
    const std::string path = line.substr(line.find('\t') + 1);
    // Unused records without a name: nothing to recover by name.
    if (path.starts_with("$OrphanFiles/")) continue;
    ++named;
    ASSERT_TRUE(tree.items.contains(path)) << path;
    EXPECT_TRUE(tree.items.at(path).deleted) << path;
  }
  EXPECT_GT(named, 5);
}

// The volume of the NTFS fixtures whose files have alternate data streams.
constexpr int kStreamsVolume = 3;

// A volume of the NTFS fixtures held in memory, so tests can damage it.
class NtfsVolumeAnalysis : public ::testing::Test {
 protected:
  void Load(int index) {
    const auto dir = test::TestDisksDir() / "ntfs-volumes";
    manifest_ = ReadJson(dir / "manifest.json");
    volume_ = manifest_["volumes"][index];
    const auto bytes = test::ReadFileBytes(dir / volume_["file"].get<std::string>());
    disk_ = std::make_unique<test::MemoryDisk>(bytes.size() / 512);
    std::copy(bytes.begin(), bytes.end(), disk_->bytes.begin());
    session_.source.kind = SourceKind::VirtualDisk;
    session_.source.virtualDisk = disk_.get();
    session_.range.firstSector = volume_["firstSector"];
    session_.range.endSector = session_.range.firstSector + volume_["sectorCount"].get<std::uint64_t>();
    session_.range.fileSystem = FileSystemKind::Ntfs;
  }

  AnalysisOutcome Analyse() {
    if (!ReadSelectedBootParameters(session_.sectors, session_.bootParameters)) return AnalysisOutcome::NoWorker;
    AnalysisJob job = session_.MakeAnalysisJob(progress_);
    return RunAnalysis(job);
  }

  const Json& Entry(const std::string& path) const {
    for (const Json& entry : volume_["entries"]) {
      if (entry["path"] == path) return entry;
    }
    throw std::runtime_error("no entry " + path);
  }

  std::uint64_t MftOffset() const {
    return session_.range.firstSector * 512 +
           volume_["mftCluster"].get<std::uint64_t>() * volume_["sectorsPerCluster"].get<std::uint64_t>() * 512;
  }

  // Rewrites the parent reference of the first $FILE_NAME of `record`.
  void SetParent(std::uint32_t record, std::uint32_t parent) {
    const std::uint64_t recordBytes = volume_["recordBytes"];
    const std::uint64_t offset = MftOffset() + record * recordBytes;
    auto bytes = std::span(disk_->bytes).subspan(offset, recordBytes);
    AttributeWalk walk{ByteView(bytes.data(), bytes.size())};
    while (const auto attribute = walk.Next()) {
      if (attribute->type() != AttributeType::FileName) continue;
      const std::size_t valueAt = attribute->offsetInRecord() + attribute->bytes().u16le(0x14).value_or(0);
      StoreU32LE(bytes, valueAt, parent);
      return;
    }
    FAIL() << "no $FILE_NAME in record " << record;
  }

  // Rewrites every $FILE_NAME of `record` as an $OBJECT_ID, as the file
  // system does when it drops a record's names.
  void DropNames(std::uint32_t record) {
    const std::uint64_t recordBytes = volume_["recordBytes"];
    auto bytes = std::span(disk_->bytes).subspan(MftOffset() + record * recordBytes, recordBytes);
    AttributeWalk walk{ByteView(bytes.data(), bytes.size())};
    while (const auto attribute = walk.Next()) {
      if (attribute->type() == AttributeType::FileName) StoreU32LE(bytes, attribute->offsetInRecord(), 0x40);
    }
  }

  test::TempDir dir_;
  test::ScriptedPrompts prompts_;
  Session session_{prompts_, SessionOptions{dir_ / "inventory.json", false}};
  test::RecordingProgress sink_;
  AnalysisProgress progress_{sink_};
  Json manifest_;
  Json volume_;
  std::unique_ptr<test::MemoryDisk> disk_;
};

TEST_F(NtfsVolumeAnalysis, RecordsGiveTheirNumbersParentsTimesAndState) {
  for (int index : {0, 1, kStreamsVolume}) {
    Load(index);
    ASSERT_EQ(Analyse(), AnalysisOutcome::DeletedRunEnded) << index;
    const test::FoundTree tree = test::StorePaths(session_.store, NtfsRootNumber);
    EXPECT_EQ(tree.duplicates, 0) << "a file spread over extension records is reported once";
    for (const Json& entry : volume_["entries"]) {
      const std::string path = entry["path"];
      ASSERT_TRUE(tree.items.contains(path)) << path;
      const test::FoundItem& item = tree.items.at(path);
      EXPECT_EQ(item.ownNumber, entry["record"].get<std::uint32_t>()) << path;
      EXPECT_EQ(item.deleted, entry["deleted"].get<bool>()) << path;
      EXPECT_EQ(std::uint64_t{item.times[1]} << 32 | item.times[0], entry["modified"].get<std::uint64_t>()) << path;
      EXPECT_EQ(std::uint64_t{item.times[3]} << 32 | item.times[2], entry["created"].get<std::uint64_t>()) << path;
      if (entry["kind"] == "file") EXPECT_EQ(item.size, entry["size"].get<std::uint64_t>()) << path;
    }
  }
}

TEST_F(NtfsVolumeAnalysis, ItemsWhoseParentIsMissingOrLoopsGoUnderLost) {
  Load(0);
  const std::uint32_t docs = Entry("Docs")["record"];
  const std::uint32_t gone = Entry("Gone")["record"];
  const std::uint32_t inner = Entry("Gone/Inner")["record"];
  SetParent(docs, 9999);
  SetParent(Entry("small.txt")["record"], 9998);
  SetParent(gone, inner);  // Gone and Gone/Inner now hold each other
  ASSERT_EQ(Analyse(), AnalysisOutcome::DeletedRunEnded);
  const test::FoundTree tree = test::StorePaths(session_.store, NtfsRootNumber);
  EXPECT_TRUE(tree.items.contains("Lost/Docs/letter.txt"));
  EXPECT_TRUE(tree.items.contains("Lost/small.txt"));
  EXPECT_TRUE(tree.items.contains("Lost/Gone/Inner/buried.bin") || tree.items.contains("Lost/Inner/Gone"));
  EXPECT_FALSE(tree.items.contains("Docs"));
  EXPECT_EQ(sink_.last(ProgressField::Status).rfind(kStatusAssigningLostFolders, 0), 0u);
}

TEST_F(NtfsVolumeAnalysis, AnMftWithoutRecordsHandsOverToTheFormattedScan) {
  Load(0);
  // Record 0 gone: the MFT's runs cannot be built, so the walk finds nothing
  // and the signature scan finds the records instead.
  std::fill_n(disk_->bytes.begin() + static_cast<std::ptrdiff_t>(MftOffset()), 512, 0);
  EXPECT_EQ(Analyse(), AnalysisOutcome::ResultsReady);
  EXPECT_EQ(prompts_.messages, std::vector<std::string>{std::string(kMsgSwitchingToFormatted)});
  EXPECT_TRUE(session_.wizard.formattedMode);
  const auto indexesLabel = std::make_pair(ProgressField::SizeLabel, std::string(kLabelIndexesFound));
  EXPECT_NE(std::find(sink_.texts.begin(), sink_.texts.end(), indexesLabel), sink_.texts.end());
  const test::FoundTree tree = test::StorePaths(session_.store, NtfsRootNumber, 1);
  EXPECT_TRUE(tree.items.contains("Docs/letter.txt"));
}

// Passes reads to a disk and counts those that reach past its end.
class EndWatchingDisk final : public VirtualDisk {
 public:
  explicit EndWatchingDisk(VirtualDisk& disk) : disk_(disk) {}
  std::uint64_t readsPastEnd = 0;

  char formatLetter() const override { return disk_.formatLetter(); }
  VirtualDiskFacts facts() const override { return disk_.facts(); }
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) override {
    if ((sector + out.size() / 512) * 512 > facts().diskSizeBytes) ++readsPastEnd;
    return disk_.ReadSector(sector, out);
  }

 private:
  VirtualDisk& disk_;
};

// A run list that maps far more than the volume holds (here 16 million
// clusters from the MFT's start) is walked only as far as the volume's end:
// the walk ends, and finds what the volume holds.
TEST_F(NtfsVolumeAnalysis, AnMftRunPastTheVolumeIsWalkedToTheVolumeEndOnly) {
  Load(0);
  ASSERT_EQ(disk_->bytes.size() / 512, session_.range.endSector);
  auto record = std::span(disk_->bytes).subspan(MftOffset(), 512);
  AttributeWalk walk{ByteView(record.data(), record.size())};
  std::optional<std::size_t> pairsAt;
  while (const auto attribute = walk.Next()) {
    if (attribute->type() == AttributeType::Data && attribute->nonResident()) {
      pairsAt = attribute->offsetInRecord() + attribute->mappingPairsOffset().value_or(0x40);
    }
  }
  ASSERT_TRUE(pairsAt);
  const std::uint32_t mftCluster = volume_["mftCluster"];
  // One pair: 3-byte length 0xFFFFFF, 3-byte offset, then the end (the
  // cluster's fourth byte, 0).
  ASSERT_LT(mftCluster, 1u << 23);
  std::array<std::uint8_t, 8> pairs = {0x33, 0xFF, 0xFF, 0xFF};
  StoreU32LE(pairs, 4, mftCluster);
  std::copy(pairs.begin(), pairs.end(), record.begin() + static_cast<std::ptrdiff_t>(*pairsAt));
  EndWatchingDisk watched(*disk_);
  session_.source.virtualDisk = &watched;
  ASSERT_EQ(Analyse(), AnalysisOutcome::DeletedRunEnded);
  const test::FoundTree tree = test::StorePaths(session_.store, NtfsRootNumber);
  EXPECT_TRUE(tree.items.contains("Docs/letter.txt"));
  EXPECT_EQ(watched.readsPastEnd, 0u);
}

// What the MFT walk finds of a file's records, the signature scan finds
// too: both scans make their items from the records the same way.
class NtfsRecordItemsTest : public NtfsVolumeAnalysis, public ::testing::WithParamInterface<RecoveryMode> {
 protected:
  void Load(int index) {
    NtfsVolumeAnalysis::Load(index);
    session_.wizard.formattedMode = formatted();
  }

  bool formatted() const { return GetParam() == RecoveryMode::FormattedData; }

  AnalysisOutcome Expected() const {
    return formatted() ? AnalysisOutcome::ResultsReady : AnalysisOutcome::DeletedRunEnded;
  }

  // The signature scan puts its folders in volume 1.
  test::FoundTree Tree() const {
    return test::StorePaths(session_.store, NtfsRootNumber, formatted() ? 1 : 0);
  }

  // The link names held in the file's own record. The signature scan reads
  // each record on its own: names an attribute list moved to extension
  // records are not tied to the file there.
  Json NamesInRecord(const std::string& path) {
    const std::uint64_t recordBytes = volume_["recordBytes"];
    const auto at = static_cast<std::ptrdiff_t>(MftOffset() + Entry(path)["record"].get<std::uint64_t>() * recordBytes);
    std::vector<std::uint8_t> record(disk_->bytes.begin() + at, disk_->bytes.begin() + at + static_cast<std::ptrdiff_t>(recordBytes));
    ApplyFixups(record, record.size());
    Json names = Json::array();
    for (const FileNameValue& name : ReadLinkNames(ByteView(record))) names.push_back(Utf16ToUtf8(name.name));
    EXPECT_GT(names.size(), 1u);
    return names;
  }
};

// Every name of a hard-linked file is an item of its own, under its own
// folder, naming the same record; a deleted record keeps only the names
// left in it (the Sleuth Kit lists the same).
TEST_P(NtfsRecordItemsTest, EveryHardLinkIsAnItem) {
  Load(0);
  ASSERT_EQ(Analyse(), Expected());
  const test::FoundTree tree = Tree();
  // The signature scan numbers records from their neighbours: it need not
  // find the MFT's own numbers, but every name of a record shares one.
  const std::uint32_t linked = formatted() ? tree.items.at("Links/linked.txt").ownNumber
                                           : Entry("Links/linked.txt")["record"].get<std::uint32_t>();
  for (const std::string name : formatted() ? NamesInRecord("Links/linked.txt") : manifest_["linkNames"]) {
    ASSERT_TRUE(tree.items.contains("Links/" + name)) << name;
    EXPECT_EQ(tree.items.at("Links/" + name).ownNumber, linked) << name;
  }
  EXPECT_EQ(tree.items.at("Docs/shared.bin").ownNumber, tree.items.at("Many/shared-elsewhere.bin").ownNumber);
  for (const std::string gone : {"Gone/shared-in-gone.bin", "Gone/pair-a.bin"}) {
    EXPECT_FALSE(tree.items.contains(gone)) << gone;
  }
}

// A record with data and no name left, live or deleted (one with its runs
// in extension records), is listed under "Lost" by its number with its
// data's size.
TEST_P(NtfsRecordItemsTest, RecordsWithoutNamesGoUnderLostByNumber) {
  Load(0);
  for (const char* path : {"small.txt", "deleted-big.bin", "frag-a.bin"}) DropNames(Entry(path)["record"]);
  ASSERT_EQ(Analyse(), Expected());
  const test::FoundTree tree = Tree();
  for (const char* path : {"small.txt", "deleted-big.bin", "frag-a.bin"}) {
    const Json& entry = Entry(path);
    const std::string lost = "Lost/Record " + std::to_string(entry["record"].get<std::uint32_t>());
    EXPECT_FALSE(tree.items.contains(path)) << path;
    ASSERT_TRUE(tree.items.contains(lost)) << lost;
    EXPECT_EQ(tree.items.at(lost).size, entry["size"].get<std::uint64_t>()) << lost;
    EXPECT_EQ(tree.items.at(lost).deleted, entry["deleted"].get<bool>()) << lost;
  }
}

// Each named stream, of a live or deleted file or of a folder, is an item
// "file:stream" right after its file in the same folder, with the stream's
// size, the file's number, times and state, and the stream's name for the
// save to find its data.
TEST_P(NtfsRecordItemsTest, EveryStreamIsAnItemBesideItsFile) {
  Load(kStreamsVolume);
  ASSERT_EQ(Analyse(), Expected());
  const test::FoundTree tree = Tree();
  // The signature scan finds the mirror's copies of the first metafiles too.
  if (!formatted()) EXPECT_EQ(tree.duplicates, 0);
  int streams = 0;
  int streamsBesideFiles = 0;
  for (const Json& entry : volume_["entries"]) {
    const std::string path = entry["path"];
    ASSERT_TRUE(tree.items.contains(path)) << path;
    const test::FoundItem& item = tree.items.at(path);
    EXPECT_EQ(item.deleted, entry["deleted"].get<bool>()) << path;
    if (entry["kind"] == "file") EXPECT_EQ(item.size, entry["size"].get<std::uint64_t>()) << path;
    const auto colon = path.rfind(':');
    if (colon == std::string::npos) continue;
    ++streams;
    const std::string ownerPath = path.substr(0, colon);
    EXPECT_EQ(item.ownNumber, tree.items.at(ownerPath).ownNumber) << path;
    EXPECT_EQ(item.times, tree.items.at(ownerPath).times) << path;

    // In its folder's files, the stream follows its file and the file's
    // other streams (a folder's streams follow no file).
    const std::string leaf = path.substr(path.rfind('/') + 1);
    const std::string owner = leaf.substr(0, leaf.find(':'));
    std::vector<std::string> names;
    for (const FileId id : session_.store.ChildFiles(entry["parent"].get<std::uint32_t>())) {
      const FoundFile& file = session_.store.file(id);
      names.push_back(Utf16ToUtf8(file.name));
      if (names.back() == leaf) EXPECT_EQ(Utf16ToUtf8(file.stream), leaf.substr(owner.size() + 1)) << path;
    }
    auto at = std::find(names.begin(), names.end(), leaf);
    ASSERT_NE(at, names.end()) << path;
    if (Entry(ownerPath)["kind"] == "folder") continue;
    while (at != names.begin() && at->starts_with(owner + ":")) --at;
    EXPECT_EQ(*at, owner) << path;
    ++streamsBesideFiles;
  }
  EXPECT_EQ(streams, 11);
  EXPECT_EQ(streamsBesideFiles, 10);
}

INSTANTIATE_TEST_SUITE_P(Scans, NtfsRecordItemsTest, ::testing::Values(RecoveryMode::DeletedData, RecoveryMode::FormattedData),
                         [](const auto& info) { return info.param == RecoveryMode::FormattedData ? "Signatures" : "Mft"; });

}  // namespace
}  // namespace korv
