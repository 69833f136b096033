// korvane-cli recover on an NTFS volume holding compressed files
// (make-ntfs-volumes.sh): every file comes back decompressed, through
// containers qemu-img makes of the volume; a file whose compressed data is
// damaged is a copy error and the save is incomplete.
#include "e2e/e2e_disks.h"
#include "save/save_walk.h"
#include "support/reader_checks.h"

namespace korv::e2e {
namespace {

const fs::path kVolumes = test::TestDisksDir() / "ntfs-volumes";
constexpr int kCompressedVolume = 2;
constexpr std::uint64_t kClusterBytes = 4096;

const Json& CompressedVolume() {
  static const Json volume = ReadJson(kVolumes / "manifest.json")["volumes"][kCompressedVolume];
  return volume;
}

// The written files by path, with their SHA-256.
std::map<std::string, std::string> WrittenFiles() {
  std::map<std::string, std::string> files;
  for (const Json& entry : CompressedVolume()["entries"]) {
    if (entry["kind"] == "file") files[entry["path"]] = entry["sha256"];
  }
  return files;
}

// A container: its file extension and qemu-img's name for its format.
struct Format {
  const char* extension;
  const char* qemuFormat;
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.extension; }

class CompressedRecover : public ::testing::TestWithParam<Format>, protected CliTest {
 protected:
  void SetUp() override {
    if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  }

  // The raw volume in the container the test runs with.
  std::string Disk(const fs::path& raw) {
    const fs::path image = Scratch(std::string("volume.") + GetParam().extension);
    EXPECT_TRUE(test::QemuConvert(raw, image, GetParam().qemuFormat));
    return image.string();
  }

  test::CliRun Recover(const std::string& disk, const fs::path& out) {
    const std::uint64_t first = CompressedVolume()["firstSector"];
    const std::uint64_t end = first + CompressedVolume()["sectorCount"].get<std::uint64_t>();
    return Cli({"recover", disk, "--first", std::to_string(first), "--end", std::to_string(end), "--fs", "NTFS",
                "--output", out.string()});
  }
};

TEST_P(CompressedRecover, EveryCompressedFileComesBackAsWritten) {
  const fs::path out = Scratch("out");
  const auto run = Recover(Disk(kVolumes / CompressedVolume()["file"].get<std::string>()), out);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(kMsgSavingCompleted), std::string::npos) << run.err;
  EXPECT_EQ(SavedFiles(out), WrittenFiles());
}

// The first chunk header of the text file's first unit gets a wrong
// signature: that unit is zeros, the file is reported as not written and
// the save as incomplete; every other file is still saved as written.
TEST_P(CompressedRecover, ADamagedUnitIsACopyErrorNotASavedFile) {
  const std::string damagedPath = "Packed/words.txt";
  std::uint64_t firstCluster = 0;
  for (const Json& entry : CompressedVolume()["entries"]) {
    if (entry["path"] == damagedPath) firstCluster = std::stoull(entry["clusters"].get<std::string>());
  }
  ASSERT_NE(firstCluster, 0u);
  const fs::path raw = Scratch("damaged.raw");
  fs::copy_file(kVolumes / CompressedVolume()["file"].get<std::string>(), raw);
  {
    std::fstream file(raw, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(CompressedVolume()["firstSector"].get<std::uint64_t>() * 512 +
                                           firstCluster * kClusterBytes));
    file.write("\xFF\xFF", 2);
  }
  const fs::path out = Scratch("out");
  const auto run = Recover(Disk(raw), out);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(kMsgSavingNotCompleted), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(damagedPath), std::string::npos) << run.err;
  auto saved = SavedFiles(out);
  auto written = WrittenFiles();
  EXPECT_NE(saved.at(damagedPath), written.at(damagedPath));
  saved.erase(damagedPath);
  written.erase(damagedPath);
  EXPECT_EQ(saved, written);
}

INSTANTIATE_TEST_SUITE_P(Formats, CompressedRecover,
                         ::testing::Values(Format{"vhd", "vpc"}, Format{"qcow2", "qcow2"}, Format{"vhdx", "vhdx"},
                                           Format{"vdi", "vdi"}, Format{"vmdk", "vmdk"}, Format{"qed", "qed"},
                                           Format{"hdd", "parallels"}, Format{"qcow", "qcow"}),
                         [](const auto& info) { return std::string(info.param.extension); });

}  // namespace
}  // namespace korv::e2e
