// korvane-cli on an NTFS volume whose files have alternate data streams
// (make-ntfs-volumes.sh): `analyze` lists each stream as an item
// "file:stream" marked "stream": true, the streams the Sleuth Kit lists;
// `recover` saves each as a file of that name with the bytes written, in
// both scans and through containers qemu-img makes of the volume.
#include <set>
#include <sstream>

#include "e2e/e2e_disks.h"
#include "save/save_walk.h"
#include "support/reader_checks.h"

namespace korv::e2e {
namespace {

const fs::path kVolumes = test::TestDisksDir() / "ntfs-volumes";
constexpr int kStreamsVolume = 3;

const Json& StreamsVolume() {
  static const Json volume = ReadJson(kVolumes / "manifest.json")["volumes"][kStreamsVolume];
  return volume;
}

fs::path RawVolume() { return kVolumes / StreamsVolume()["file"].get<std::string>(); }

bool IsStreamPath(const std::string& path) { return path.find(':') != std::string::npos; }

// The written files (and streams) by path, with their SHA-256.
std::map<std::string, std::string> WrittenFiles() {
  std::map<std::string, std::string> files;
  for (const Json& entry : StreamsVolume()["entries"]) {
    if (entry["kind"] == "file") files[entry["path"]] = entry["sha256"];
  }
  return files;
}

// The streams of user files `fls -r -p` lists, live and deleted. The
// metafiles' own streams ("$"-named) and the Sleuth Kit's "." entry for a
// folder's stream seen from inside it are left out.
std::set<std::string> FlsStreamPaths() {
  const auto listing =
      test::ProgramOutput({"fls", "-r", "-p", "-o", std::to_string(StreamsVolume()["firstSector"].get<std::uint64_t>()),
                           RawVolume().string()});
  std::set<std::string> paths;
  if (!listing) return paths;
  std::istringstream lines(*listing);
  for (std::string line; std::getline(lines, line);) {
    const std::string path = line.substr(line.find('\t') + 1);
    if (!IsStreamPath(path) || IsSystemItem(path) || path.find("/.:") != std::string::npos) continue;
    paths.insert(path);
  }
  return paths;
}

struct Case {
  const char* extension;
  const char* qemuFormat;
  const char* mode;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.extension << ' ' << c.mode; }

class StreamsCli : public ::testing::TestWithParam<Case>, protected CliTest {
 protected:
  void SetUp() override {
    if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
    disk_ = Scratch(std::string("volume.") + GetParam().extension);
    ASSERT_TRUE(test::QemuConvert(RawVolume(), disk_, GetParam().qemuFormat));
  }

  test::CliRun Run(const std::string& command, std::vector<std::string> more) {
    const std::uint64_t first = StreamsVolume()["firstSector"];
    const std::uint64_t end = first + StreamsVolume()["sectorCount"].get<std::uint64_t>();
    std::vector<std::string> args = {command,  disk_.string(),      "--first", std::to_string(first),
                                     "--end",  std::to_string(end), "--fs",    "NTFS",
                                     "--mode", GetParam().mode};
    args.insert(args.end(), more.begin(), more.end());
    return Cli(args);
  }

  fs::path disk_;
};

TEST_P(StreamsCli, AnalyzeMarksExactlyTheStreamItems) {
  const auto run = Run("analyze", {"--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json report = Json::parse(run.out);
  std::set<std::string> streams;
  for (const Json& item : report["items"]) {
    const std::string path = item["path"];
    if (IsSystemItem(path)) continue;
    // Only stream items carry the member, so other items read as before.
    EXPECT_EQ(item.contains("stream"), IsStreamPath(path)) << path;
    if (!item.contains("stream")) continue;
    EXPECT_EQ(item["stream"], true) << path;
    EXPECT_EQ(item["kind"], "file") << path;
    streams.insert(path);
  }
  std::set<std::string> written;
  for (const auto& [path, sum] : WrittenFiles()) {
    if (IsStreamPath(path)) written.insert(path);
  }
  EXPECT_EQ(streams, written);
  if (test::RunProgram({"fls", "-V"})) EXPECT_EQ(streams, FlsStreamPaths());
}

TEST_P(StreamsCli, RecoverSavesEveryStreamAsWritten) {
  const fs::path out = Scratch("out");
  const auto run = Run("recover", {"--output", out.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(kMsgSavingCompleted), std::string::npos) << run.err;
  EXPECT_EQ(SavedFiles(out), WrittenFiles());
}

INSTANTIATE_TEST_SUITE_P(Containers, StreamsCli,
                         ::testing::Values(Case{"vhd", "vpc", "deleted"}, Case{"qcow2", "qcow2", "formatted"},
                                           Case{"vhdx", "vhdx", "deleted"}, Case{"vdi", "vdi", "formatted"},
                                           Case{"vmdk", "vmdk", "deleted"}, Case{"qed", "qed", "formatted"},
                                           Case{"hdd", "parallels", "deleted"}, Case{"qcow", "qcow", "formatted"}),
                         [](const auto& info) { return std::string(info.param.extension) + "_" + info.param.mode; });

}  // namespace
}  // namespace korv::e2e
