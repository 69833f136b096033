// korvane-cli recover: every file of both volumes byte for byte from a few
// containers, the sample disk's deleted files, and the exit statuses of
// work that ran, did not complete, or was refused.
#include <set>

#include "e2e/e2e_disks.h"
#include "engine/analysis_job.h"
#include "save/save_walk.h"
#include "support/reader_checks.h"
#include "ui/logic/item_texts.h"

namespace korv::e2e {
namespace {

constexpr int kFatPartition = 2;

// The files a recovery of `entries` must save, by saved path, with their
// SHA-256.
std::map<std::string, std::string> ExpectedFiles(const Json& entries, bool fat, bool deletedOnly) {
  std::map<std::string, std::string> files;
  for (const auto& [path, item] : ExpectedItems(entries, fat)) {
    if (item.kind != "file" || (deletedOnly && !item.deleted)) continue;
    files[path] = item.sha256;
  }
  return files;
}

// Different readers under the same save: sparse blocks, compressed
// clusters, and a descriptor with a separate extent file.
const Container kRecovered[] = {
    {"basic-dynamic.vhdx", 'X'},
    {"basic-compressed.qcow2", 'C'},
    {"basic-twoGbMaxExtentSparse.vmdk", 'N'},
};

class RecoverContainers : public ::testing::TestWithParam<Container>, protected CliTest {};

TEST_P(RecoverContainers, SavesEveryFileOfBothVolumesByteForByte) {
  for (const int partition : {1, 2}) {
    const fs::path out = Scratch("out" + std::to_string(partition));
    const auto run =
        Cli({"recover", DiskPath(GetParam().file), "--partition", std::to_string(partition), "--output", out.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(kMsgSavingCompleted), std::string::npos) << run.err;
    EXPECT_EQ(SavedFiles(out), ExpectedFiles(PartitionEntries(partition), partition == kFatPartition, false))
        << GetParam().file << " partition " << partition;
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, RecoverContainers, ::testing::ValuesIn(kRecovered),
                         [](const auto& info) { return ParamName(info.param.file); });

TEST(RecoverSampleDisk, DeletedOnlyGivesExactlyTheSamplesDeletedFiles) {
  const Json sample = ReadJson(fs::path(KORV_SOURCE_DIR) / "samples" / "sample.json");
  ASSERT_EQ(sample["partitions"].size(), 2u);
  test::TempDir scratch;
  for (const Json& partition : sample["partitions"]) {
    const int number = partition["number"];
    const fs::path out = scratch / ("out" + std::to_string(number));
    const auto run = test::RunCli(
        {"recover", SamplePath(), "--partition", std::to_string(number), "--deleted", "only", "--output", out.string()},
        scratch.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(kMsgSavingCompleted), std::string::npos) << run.err;
    const auto expected = ExpectedFiles(partition["entries"], partition["fileSystem"] != "NTFS", true);
    EXPECT_FALSE(expected.empty()) << "partition " << number << " of the sample holds no deleted file";
    EXPECT_EQ(test::Sha256Below(out), expected) << "partition " << number;
  }
}

class ExitStatus : public ::testing::Test, protected CliTest {};

// A file whose place in the output folder is taken by a folder cannot be
// written: it is skipped and said so, the others are saved, and the
// verdict is the incomplete one.
TEST_F(ExitStatus, SaveThatCannotWriteAFileIsIncomplete) {
  const fs::path out = Scratch("out");
  const std::string blocked = "Documents/short note.txt";
  fs::create_directories(out / blocked);
  const auto run = Cli({"recover", DiskPath("basic-dynamic.vhd"), "--partition", "1", "--deleted", "only",
                        "--on-exists", "overwrite", "--output", out.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(kMsgSavingNotCompleted), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(blocked), std::string::npos) << run.err;
  auto expected = ExpectedFiles(PartitionEntries(1), false, true);
  expected.erase(blocked);
  EXPECT_EQ(SavedFiles(out), expected);
}

// A freshly made FAT32 volume holds nothing: the deleted run hands over to
// the formatted scan, which finds only the empty "Lost" folder; saving it
// is refused as saving an empty selection is.
TEST_F(ExitStatus, EmptyVolumeListsOnlyLostAndHasNothingToSave) {
  // The fixture disks are made with the same tools.
  const fs::path raw = Scratch("empty.raw");
  test::WriteFileBytes(raw, {});
  fs::resize_file(raw, 40u << 20);
  ASSERT_TRUE(test::RunProgram({"mkfs.fat", "-F", "32", "-S", "512", "-s", "1", raw.string()}));
  const fs::path disk = Scratch("empty.vhd");
  ASSERT_TRUE(test::QemuConvert(raw, disk, "vpc", {"-o", "subformat=fixed,force_size=on"}));

  const auto analysis = Cli({"analyze", disk.string(), "--partition", "1", "--json"});
  ASSERT_EQ(analysis.status, 0) << analysis.err;
  EXPECT_NE(analysis.err.find(DisplayText(kMsgSwitchingToFormatted)), std::string::npos) << analysis.err;
  const Json report = Json::parse(analysis.out);
  ASSERT_EQ(report["items"].size(), 1u) << report.dump(1);
  EXPECT_EQ(report["items"][0]["path"], "Lost");
  EXPECT_EQ(report["fileCount"], 0);

  const auto save = Cli({"recover", disk.string(), "--partition", "1", "--output", Scratch("out").string()});
  EXPECT_EQ(save.status, 2);
  EXPECT_NE(save.err.find(kMsgNothingSelected), std::string::npos) << save.err;
}

TEST_F(ExitStatus, RefusedInputIsTwoWithTheMessageOnStandardError) {
  const std::string disk = DiskPath("basic-dynamic.vhd");
  const std::string out = Scratch("out").string();
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"unpack", disk},
      {"analyze", disk, "--partition", "1", "--mode", "quick"},
      {"analyze", disk, "--partition", "0"},
      {"recover", disk, "--partition", "1"},  // no --output
      {"read", disk, "--first", "0"},         // no --count
      {"recover", disk, "--partition", "1", "--deleted", "maybe", "--output", out},
  };
  for (const auto& args : refused) {
    const auto run = Cli(args);
    std::string shown;
    for (const auto& arg : args) shown += arg + " ";
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_FALSE(run.err.empty()) << shown;
  }

  // A partition the disk does not have, by number, for both analysing
  // commands and on a disk with a single volume.
  const auto missing = Cli({"recover", disk, "--partition", "3", "--output", out});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("3"), std::string::npos) << missing.err;
  const auto single =
      Cli({"analyze", (test::TestDisksDir() / "layouts" / "whole-fat32.vdi").string(), "--partition", "2"});
  EXPECT_EQ(single.status, 2);
  EXPECT_FALSE(single.err.empty());
  EXPECT_TRUE(single.out.empty()) << single.out;
  EXPECT_FALSE(fs::exists(out)) << "a refused recover must not make its output folder";
}

struct ScatteredCase {
  const char* extension;
  const char* qemuFormat;
};

void PrintTo(const ScatteredCase& c, std::ostream* out) { *out << c.extension; }

class ScatteredFatRecover : public ::testing::TestWithParam<ScatteredCase>, protected CliTest {};

// Deleted FAT32 files written around live files' clusters come back byte
// for byte through every container, as the Sleuth Kit gets them back; the
// one whose first cluster a live file took is named as possibly overwritten.
TEST_P(ScatteredFatRecover, DeletedFilesAroundLiveClustersComeBackAsWritten) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  const fs::path folder = test::TestDisksDir() / "fat-volumes";
  const Json manifest = ReadJson(folder / "manifest.json");
  Json volume;
  for (const Json& v : manifest["volumes"]) {
    if (v["file"] == "fat32-scattered.raw") volume = v;
  }
  ASSERT_FALSE(volume.is_null());
  const fs::path disk = Scratch(std::string("volume.") + GetParam().extension);
  ASSERT_TRUE(test::QemuConvert(folder / "fat32-scattered.raw", disk, GetParam().qemuFormat));
  const std::uint64_t first = volume["firstSector"];
  const std::uint64_t end = first + volume["sectorCount"].get<std::uint64_t>();
  const fs::path out = Scratch("out");
  const auto run = Cli({"recover", disk.string(), "--first", std::to_string(first), "--end", std::to_string(end),
                        "--fs", "FAT32", "--output", out.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(kMsgPossiblyOverwritten), std::string::npos) << run.err;
  std::multiset<std::string> saved;
  for (const auto& [path, sum] : SavedFiles(out)) saved.insert(sum);
  int same = 0;
  for (const Json& entry : volume["entries"]) {
    if (entry["kind"] == "file" && saved.contains(entry["sha256"].get<std::string>())) ++same;
  }
  // The other four were really overwritten by later files.
  EXPECT_EQ(same, 7);
}

INSTANTIATE_TEST_SUITE_P(Containers, ScatteredFatRecover,
                         ::testing::Values(ScatteredCase{"vhd", "vpc"}, ScatteredCase{"qcow2", "qcow2"},
                                           ScatteredCase{"vhdx", "vhdx"}, ScatteredCase{"vdi", "vdi"},
                                           ScatteredCase{"vmdk", "vmdk"}, ScatteredCase{"qed", "qed"},
                                           ScatteredCase{"hdd", "parallels"}, ScatteredCase{"qcow", "qcow"}),
                         [](const auto& info) { return std::string(info.param.extension); });

}  // namespace
}  // namespace korv::e2e
