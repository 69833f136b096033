// korvane-cli with recovery logs over the fixture disks: a log saved by
// `analyze --save-log` and loaded with `--load-log` prints the very tree the
// analysis printed (text and JSON) in every mode; a partition scan saved at
// its volume list picks a volume as the scan itself does; `recover` saves
// the same files from a log; damaged logs and logs of another disk are
// refused with status 2 and the system's words.
#include "e2e/e2e_disks.h"
#include "engine/recovery_log.h"
#include "save/save_walk.h"

namespace korv::e2e {
namespace {

// A disk and the options of its analysis. A disk named `.raw` is converted
// into a dynamic VHD first, as users open it. The streams volume's range
// comes from the fixtures' manifest, read when the test runs: the cases are
// listed before the fixtures are built.
struct LogCase {
  const char* name;
  const char* disk;
  std::vector<std::string> options;
  bool streamsRange = false;  // the options follow the streams volume's range
};

std::vector<std::string> StreamsRange() {
  const Json manifest = ReadJson(test::TestDisksDir() / "ntfs-volumes" / "manifest.json");
  for (const Json& volume : manifest["volumes"]) {
    if (volume["file"] != "ntfs-streams.raw") continue;
    const std::uint64_t first = volume["firstSector"];
    return {"--first", std::to_string(first),
            "--end",   std::to_string(first + volume["sectorCount"].get<std::uint64_t>()),
            "--fs",    "NTFS"};
  }
  return {};
}

void PrintTo(const LogCase& c, std::ostream* out) { *out << c.name; }

class LogRoundTrip : public ::testing::TestWithParam<LogCase>, protected CliTest {
 protected:
  void SetUp() override {
    const fs::path disk = test::TestDisksDir() / GetParam().disk;
    image_ = disk.string();
    if (disk.extension() != ".raw") return;
    if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
    image_ = Scratch("disk.vhd").string();
    ASSERT_TRUE(test::QemuConvert(disk, image_, "vpc"));
  }

  test::CliRun Analyze(std::vector<std::string> more) {
    std::vector<std::string> args = {"analyze", image_};
    args.insert(args.end(), more.begin(), more.end());
    return Cli(args);
  }

  std::vector<std::string> WithOptions(std::vector<std::string> more) const {
    std::vector<std::string> args = GetParam().streamsRange ? StreamsRange() : std::vector<std::string>{};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  std::string image_;
};

TEST_P(LogRoundTrip, TheLoadedLogPrintsWhatTheAnalysisPrinted) {
  const std::string log = Scratch("run").string();
  const auto analysed = Analyze(WithOptions({"--save-log", log}));
  ASSERT_EQ(analysed.status, 0) << analysed.err;
  ASSERT_TRUE(fs::exists(log + ".kvfr"));
  const auto loaded = Analyze({"--load-log", log + ".kvfr"});
  ASSERT_EQ(loaded.status, 0) << loaded.err;
  EXPECT_FALSE(analysed.out.empty());
  EXPECT_EQ(loaded.out, analysed.out);

  const auto analysedJson = Analyze(WithOptions({"--json"}));
  const auto loadedJson = Analyze({"--load-log", log + ".kvfr", "--json"});
  ASSERT_EQ(loadedJson.status, 0) << loadedJson.err;
  EXPECT_EQ(loadedJson.out, analysedJson.out);
}

TEST_P(LogRoundTrip, RecoverFromTheLogSavesWhatTheAnalysisSaves) {
  const std::string log = Scratch("run.kvfr").string();
  ASSERT_EQ(Analyze(WithOptions({"--save-log", log})).status, 0);
  std::vector<std::string> direct = {"recover", image_, "--output", Scratch("direct").string()};
  const std::vector<std::string> options = WithOptions({});
  direct.insert(direct.end(), options.begin(), options.end());
  ASSERT_EQ(Cli(direct).status, 0);
  const auto fromLog = Cli({"recover", image_, "--load-log", log, "--output", Scratch("from-log").string()});
  ASSERT_EQ(fromLog.status, 0) << fromLog.err;
  EXPECT_NE(fromLog.err.find(kMsgSavingCompleted), std::string::npos) << fromLog.err;
  EXPECT_EQ(SavedFiles(Scratch("from-log")), SavedFiles(Scratch("direct")));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LogRoundTrip,
    ::testing::Values(
        LogCase{"NtfsDeleted", "basic-dynamic.vhd", {"--partition", "1"}},
        LogCase{"FatDeleted", "basic-dynamic.vhd", {"--partition", "2"}},
        LogCase{"NtfsFormatted", "formatted-ntfs-volumes/quick-fixed.vhd", {"--partition", "1", "--mode", "formatted"}},
        LogCase{"FatFormatted", "formatted-fat-volumes/fat16.raw", {"--partition", "1", "--mode", "formatted"}},
        LogCase{"NtfsStreamsDeleted", "ntfs-volumes/ntfs-streams.raw", {}, true},
        LogCase{"NtfsStreamsFormatted", "ntfs-volumes/ntfs-streams.raw", {"--mode", "formatted"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A partition scan saved at its volume list, and its picked volume saved
// from the results.
struct VolumeCase {
  const char* disk;
  const char* fileSystem;
  int volume;
};

void PrintTo(const VolumeCase& c, std::ostream* out) { *out << c.disk << " volume " << c.volume; }

class VolumeListLog : public ::testing::TestWithParam<VolumeCase>, protected CliTest {
 protected:
  test::CliRun Analyze(std::vector<std::string> more) {
    const fs::path folder = test::TestDisksDir() / "partition-volumes";
    const Json manifest = ReadJson(folder / "manifest.json");
    std::vector<std::string> args = {"analyze", (folder / GetParam().disk).string()};
    if (more.empty() || more[0] != "--load-log") {
      for (const Json& disk : manifest["disks"]) {
        if (fs::path(GetParam().disk).stem() != fs::path(disk["file"].get<std::string>()).stem()) continue;
        args.insert(args.end(),
                    {"--mode", "partition", "--first", std::to_string(disk["first"].get<std::uint64_t>()), "--end",
                     std::to_string(disk["end"].get<std::uint64_t>()), "--fs", GetParam().fileSystem});
      }
    }
    args.insert(args.end(), more.begin(), more.end());
    return Cli(args);
  }
};

TEST_P(VolumeListLog, PickingAVolumeOfTheLoadedListGivesTheTreeOfTheScan) {
  const std::string list = Scratch("list.kvfr").string();
  const auto scanned = Analyze({"--save-log", list});
  ASSERT_EQ(scanned.status, 0) << scanned.err;
  const auto listed = Analyze({"--load-log", list});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out, scanned.out);

  const std::string volume = std::to_string(GetParam().volume);
  const auto picked = Analyze({"--volume", volume});
  ASSERT_EQ(picked.status, 0) << picked.err;
  const auto pickedFromLog = Analyze({"--load-log", list, "--volume", volume});
  ASSERT_EQ(pickedFromLog.status, 0) << pickedFromLog.err;
  EXPECT_FALSE(picked.out.empty());
  EXPECT_EQ(pickedFromLog.out, picked.out);

  // Saved from the results, the picked volume comes straight back.
  const std::string results = Scratch("results.kvfr").string();
  ASSERT_EQ(Analyze({"--volume", volume, "--save-log", results}).status, 0);
  const auto reloaded = Analyze({"--load-log", results});
  ASSERT_EQ(reloaded.status, 0) << reloaded.err;
  EXPECT_EQ(reloaded.out, picked.out);
  EXPECT_EQ(Analyze({"--load-log", results, "--volume", volume}).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Disks, VolumeListLog,
                         ::testing::Values(VolumeCase{"two-fat.vhd", "FAT16", 2},
                                           VolumeCase{"lost-ntfs.vhd", "NTFS", 1},
                                           VolumeCase{"fat16-noboot.vhd", "FAT16", 1}),
                         [](const auto& info) { return ParamName(info.param.disk); });

class RefusedLog : public ::testing::Test, protected CliTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(Cli({"analyze", DiskPath("basic-dynamic.vhd"), "--partition", "1", "--save-log", log_}).status, 0);
  }
  // The refusal's status and the message on standard error.
  void ExpectRefused(const std::vector<std::string>& args, std::string_view message) {
    const auto run = Cli(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  std::string log_ = Scratch("basic.kvfr").string();
};

TEST_F(RefusedLog, DamagedLogsAndLogsOfAnotherDiskAreRefusedInTheSystemsWords) {
  std::vector<std::uint8_t> bytes = test::ReadFileBytes(log_);
  bytes.resize(bytes.size() - 3);
  const fs::path cut = Scratch("cut.kvfr");
  test::WriteFileBytes(cut, bytes);
  ExpectRefused({"analyze", DiskPath("basic-dynamic.vhd"), "--load-log", cut.string()}, kMsgLogInvalid);
  ExpectRefused(
      {"recover", DiskPath("basic-dynamic.vhd"), "--load-log", cut.string(), "--output", Scratch("out").string()},
      kMsgLogInvalid);
  ExpectRefused({"analyze", DiskPath("basic-dynamic.vhd"), "--load-log", Scratch("none.kvfr").string()},
                kMsgLogOpenFailed);
  // A smaller disk cannot hold the log's partition.
  ExpectRefused(
      {"analyze", (test::TestDisksDir() / "partition-volumes" / "lost-ntfs.vhd").string(), "--load-log", log_},
      kMsgLogWrongDevice);
  ExpectRefused({"analyze", DiskPath("basic-dynamic.vhd"), "--load-log", log_, "--partition", "1"},
                "--load-log takes the partition or range from the log");
}

// A log that cannot be written is said after the listing, which still
// prints; the run did not complete.
TEST_F(RefusedLog, ALogThatCannotBeWrittenEndsWithStatusOne) {
  const auto run = Cli({"analyze", DiskPath("basic-dynamic.vhd"), "--partition", "1", "--save-log",
                        Scratch("no-such-folder/x").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(kMsgLogCreateFailed), std::string::npos) << run.err;
  EXPECT_FALSE(run.out.empty());
  EXPECT_FALSE(fs::exists(Scratch("no-such-folder")));
}

}  // namespace
}  // namespace korv::e2e
