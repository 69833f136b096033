// korvane-cli in the partition mode over disks whose partitions were lost:
// the found volumes listed (text and JSON) with the geometry mkfs wrote, a
// picked volume saved byte for byte from every container, an empty range,
// and the refusals.
#include "e2e/e2e_disks.h"
#include "save/save_walk.h"
#include "ui/logic/volume_list.h"

namespace korv::e2e {
namespace {

fs::path VolumesDir() { return test::TestDisksDir() / "partition-volumes"; }

const Json& Disk(const std::string& file) {
  static const Json manifest = ReadJson(VolumesDir() / "manifest.json");
  for (const Json& disk : manifest["disks"]) {
    if (disk["file"] == file) return disk;
  }
  throw std::runtime_error("no disk " + file);
}

struct PartitionCase {
  const char* raw;
  const char* container;
  int volume;  // the one saved, from 1
};

void PrintTo(const PartitionCase& c, std::ostream* out) { *out << c.container << " volume " << c.volume; }

std::vector<std::string> RangeArgs(const std::string& command, const PartitionCase& c) {
  const Json& disk = Disk(c.raw);
  return {command,   (VolumesDir() / c.container).string(),
          "--mode",  "partition",
          "--first", std::to_string(disk["first"].get<std::uint64_t>()),
          "--end",   std::to_string(disk["end"].get<std::uint64_t>()),
          "--fs",    disk["fileSystem"].get<std::string>()};
}

std::map<std::string, std::string> WrittenFiles(const Json& volume) {
  std::map<std::string, std::string> files;
  for (const Json& entry : volume["entries"]) {
    if (entry["kind"] == "file") files[entry["path"]] = entry["sha256"];
  }
  return files;
}

class PartitionMode : public ::testing::TestWithParam<PartitionCase>, protected CliTest {};

TEST_P(PartitionMode, ListsTheVolumesWithTheirGeometry) {
  auto args = RangeArgs("analyze", GetParam());
  args.push_back("--json");
  const auto run = Cli(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const Json report = Json::parse(run.out);
  const Json& written = Disk(GetParam().raw)["volumes"];
  ASSERT_EQ(report["volumes"].size(), written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    const Json& found = report["volumes"][i];
    EXPECT_EQ(found["number"], i + 1);
    EXPECT_EQ(found["fileSystem"], written[i]["fileSystem"]);
    EXPECT_EQ(found["clusterSize"], written[i]["sectorsPerCluster"].get<std::uint64_t>() * 512);
    if (!written[i]["bootSurvives"].get<bool>()) continue;
    EXPECT_EQ(found["firstSector"], written[i]["firstSector"]);
    const std::uint64_t end =
        written[i]["firstSector"].get<std::uint64_t>() + written[i]["totalSectors"].get<std::uint64_t>();
    EXPECT_EQ(found["endSector"], end);
    EXPECT_EQ(found["size"], (end - written[i]["firstSector"].get<std::uint64_t>()) * 512);
  }
}

TEST_P(PartitionMode, SavesThePickedVolumeByteForByte) {
  const fs::path out = Scratch("out");
  auto args = RangeArgs("recover", GetParam());
  args.insert(args.end(), {"--volume", std::to_string(GetParam().volume), "--output", out.string()});
  const auto run = Cli(args);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(kMsgSavingCompleted), std::string::npos) << run.err;
  EXPECT_EQ(SavedFiles(out), WrittenFiles(Disk(GetParam().raw)["volumes"][GetParam().volume - 1]));
}

// The picked volume's tree lists every file written there, and nothing else
// but the file system's own files and "Lost".
TEST_P(PartitionMode, ListsThePickedVolumesTree) {
  auto args = RangeArgs("analyze", GetParam());
  args.insert(args.end(), {"--volume", std::to_string(GetParam().volume), "--json"});
  const auto run = Cli(args);
  ASSERT_EQ(run.status, 0) << run.err;
  std::map<std::string, std::uint64_t> listed;
  const Json report = Json::parse(run.out);
  for (const Json& item : report["items"]) {
    if (item["kind"] == "file" && !item["deleted"].get<bool>()) listed[item["path"]] = item["size"];
  }
  for (const Json& entry : Disk(GetParam().raw)["volumes"][GetParam().volume - 1]["entries"]) {
    if (entry["kind"] != "file") continue;
    ASSERT_TRUE(listed.contains(entry["path"])) << entry["path"];
    EXPECT_EQ(listed[entry["path"]], entry["size"].get<std::uint64_t>()) << entry["path"];
    listed.erase(entry["path"]);
  }
  for (const auto& [path, size] : listed) EXPECT_TRUE(path.starts_with("$") || path.starts_with("Lost/")) << path;
}

// The lost FAT32 and NTFS disks through every container format; the others
// through a dynamic VHD, the second of two volumes picked.
std::vector<PartitionCase> PartitionCases() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> names;
    for (const char* disk : {"lost-fat32", "lost-ntfs"}) {
      for (const char* ext : {"vhd", "qcow2", "qcow", "vhdx", "vdi", "vmdk", "qed", "hdd"}) {
        names.push_back(std::string(disk) + "." + ext);
      }
    }
    return names;
  }();
  std::vector<PartitionCase> cases;
  for (const std::string& name : kNames) {
    cases.push_back({name.starts_with("lost-fat32") ? "lost-fat32.raw" : "lost-ntfs.raw", name.c_str(), 1});
  }
  cases.push_back({"fat16-noboot.raw", "fat16-noboot.vhd", 1});
  cases.push_back({"two-fat.raw", "two-fat.vhd", 2});
  cases.push_back({"two-ntfs.raw", "two-ntfs.vhd", 2});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Disks, PartitionMode, ::testing::ValuesIn(PartitionCases()), [](const auto& info) {
  return ParamName(std::string(info.param.container) + "_" + std::to_string(info.param.volume));
});

TEST(PartitionModeListing, TextHasOneLinePerVolume) {
  test::TempDir scratch;
  const auto run =
      test::RunCli({"analyze", (VolumesDir() / "two-fat.vhd").string(), "--mode", "partition", "--first", "0", "--end",
                    std::to_string(Disk("two-fat.raw")["end"].get<std::uint64_t>()), "--fs", "FAT16"},
                   scratch.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const Json& volumes = Disk("two-fat.raw")["volumes"];
  std::string expected;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const std::uint64_t first = volumes[i]["firstSector"], total = volumes[i]["totalSectors"];
    expected += std::to_string(i + 1) + "\tFAT16\t" + std::to_string(first) + "\t" + std::to_string(first + total) +
                "\t" + std::to_string(total * 512) + "\t" +
                std::to_string(volumes[i]["sectorsPerCluster"].get<int>() * 512) + "\n";
  }
  EXPECT_EQ(run.out, expected);
}

TEST(PartitionModeListing, ARangeWithoutVolumesIsAnEmptyListAndSaysSo) {
  test::TempDir scratch;
  // The partition table's sectors hold no volume.
  const auto run = test::RunCli({"analyze", (VolumesDir() / "two-fat.vhd").string(), "--mode", "partition", "--first",
                                 "0", "--end", "2000", "--fs", "FAT32", "--json"},
                                scratch.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Json::parse(run.out)["volumes"], Json::array());
  EXPECT_NE(run.err.find(kMsgNoPartitionRecognised), std::string::npos) << run.err;
}

struct Refusal {
  const char* name;
  std::vector<std::string> args;  // after the command and the image
};

class PartitionModeRefuses : public ::testing::TestWithParam<Refusal>, protected CliTest {};

TEST_P(PartitionModeRefuses, WithStatusTwo) {
  std::vector<std::string> args{"recover", (VolumesDir() / "two-fat.vhd").string(), "--output",
                                Scratch("out").string()};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const auto run = Cli(args);
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_FALSE(fs::exists(Scratch("out")) && !fs::is_empty(Scratch("out")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PartitionModeRefuses,
    ::testing::Values(
        Refusal{"NoVolumePicked", {"--mode", "partition", "--first", "0", "--end", "67584", "--fs", "FAT16"}},
        Refusal{"VolumePastTheList",
                {"--mode", "partition", "--first", "0", "--end", "67584", "--fs", "FAT16", "--volume", "3"}},
        Refusal{"NoRange", {"--mode", "partition", "--partition", "1", "--volume", "1"}},
        Refusal{"Fat12IsNoChoice",
                {"--mode", "partition", "--first", "0", "--end", "67584", "--fs", "FAT12", "--volume", "1"}},
        Refusal{"VolumeOutsideThePartitionMode",
                {"--mode", "formatted", "--first", "0", "--end", "67584", "--fs", "FAT16", "--volume", "1"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korv::e2e
