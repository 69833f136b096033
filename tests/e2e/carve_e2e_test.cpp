// korvane-cli carve over the carving disk: real files on a FAT volume whose
// file-system structures were wiped, in every container qemu-img writes.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/e2e_disks.h"

namespace korv::e2e {
namespace {

const fs::path kCarveDisk = KORV_CARVE_DISK;
constexpr const char* kWholeVolumeEnd = "32768";

struct Original {
  std::string name;
  std::string type;
  std::vector<std::uint8_t> bytes;
};

std::vector<Original> Originals() {
  std::vector<Original> originals;
  for (const Json& file : ReadJson(kCarveDisk / "originals" / "files.json")) {
    const std::string name = file["name"];
    originals.push_back({name, file["type"], test::ReadFileBytes(kCarveDisk / "originals" / name)});
  }
  return originals;
}

// Every carved file by its path below the output folder ("JPEG/0.JPEG").
std::map<std::string, std::vector<std::uint8_t>> Carved(const fs::path& folder) {
  std::map<std::string, std::vector<std::uint8_t>> carved;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) carved[fs::relative(entry.path(), folder).string()] = test::ReadFileBytes(entry.path());
  }
  return carved;
}

bool InTypeFolder(const std::string& path, const std::string& type) { return path.starts_with(type + "/"); }

test::CliRun Carve(const std::string& disk, const fs::path& output, std::vector<std::string> extra,
                   const test::TempDir& scratch) {
  std::vector<std::string> args = {"carve", (kCarveDisk / disk).string(), "--first", "0", "--end", kWholeVolumeEnd,
                                   "--types", "all", "--output", output.string(), "--inventory",
                                   (scratch / "inventory.json").string()};
  args.insert(args.end(), extra.begin(), extra.end());
  return test::RunCli(args, scratch.path());
}

class CarveDiskTest : public ::testing::TestWithParam<std::string> {};

// Exact ends: every file comes back byte for byte, in its type's folder;
// the Exif JPEG whole, not cut at its thumbnail's end; the PDF whose
// "%%EOF" straddles two sectors found.
TEST_P(CarveDiskTest, EveryFileComesBackByteExact) {
  test::TempDir scratch;
  const auto run = Carve(GetParam(), scratch / "out", {"--json"}, scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto carved = Carved(scratch / "out");
  for (const Original& original : Originals()) {
    bool found = false;
    for (const auto& [path, bytes] : carved) found = found || (InTypeFolder(path, original.type) && bytes == original.bytes);
    EXPECT_TRUE(found) << original.name << " not carved whole as " << original.type;
  }
  const Json summary = Json::parse(run.out);
  EXPECT_EQ(summary["filesWritten"], Originals().size());
  EXPECT_EQ(summary["message"], "Raw Data Recovery Completed Successfully.");
}

INSTANTIATE_TEST_SUITE_P(Containers, CarveDiskTest,
                         ::testing::Values("carve.qcow2", "carve.vdi", "carve.vhdx", "carve.vmdk", "carve.vhd",
                                           "carve.qed", "carve.hdd"),
                         [](const auto& info) { return ParamName(info.param); });

// The whole-sector rule: each file starts with the original's bytes and
// runs on to a sector boundary; the added types, which have no such rule,
// still end exactly.
TEST(CarveDisk, WholeSectorsStartWithTheOriginal) {
  test::TempDir scratch;
  const auto run = Carve("carve.qcow2", scratch / "out", {"--whole-sectors"}, scratch);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto carved = Carved(scratch / "out");
  for (const Original& original : Originals()) {
    bool found = false;
    for (const auto& [path, bytes] : carved) {
      const std::size_t shared = std::min(bytes.size(), original.bytes.size());
      found = found || bytes == original.bytes ||
              (bytes.size() % 512 == 0 && shared >= std::min<std::size_t>(512, original.bytes.size()) &&
                        std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(shared), original.bytes.begin()));
    }
    EXPECT_TRUE(found) << original.name;
  }
}

// A second scan into the same folder numbers on after the first one's files.
TEST(CarveDisk, SecondScanKeepsTheFirstScansFiles) {
  test::TempDir scratch;
  ASSERT_EQ(Carve("carve.qcow2", scratch / "out", {}, scratch).status, 0);
  const auto first = Carved(scratch / "out");
  ASSERT_EQ(Carve("carve.qcow2", scratch / "out", {}, scratch).status, 0);
  const auto both = Carved(scratch / "out");
  EXPECT_EQ(both.size(), 2 * first.size());
  for (const auto& [path, bytes] : first) EXPECT_EQ(both.at(path), bytes) << path;
}

struct Refusal {
  std::vector<std::string> args;
};

class CarveRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(CarveRefusalTest, BadInputIsRefused) {
  test::TempDir scratch;
  std::vector<std::string> args = {"carve", (kCarveDisk / "carve.qcow2").string(), "--output",
                                   (scratch / "out").string(), "--inventory", (scratch / "inventory.json").string()};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const auto run = test::RunCli(args, scratch.path());
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_FALSE(fs::exists(scratch / "out" / "JPEG"));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CarveRefusalTest,
    ::testing::Values(Refusal{{"--first", "0", "--end", "100", "--types", "JPEG,NOPE"}},
                      Refusal{{"--first", "0", "--end", "100", "--types", ""}},
                      Refusal{{"--first", "100", "--end", "10", "--types", "JPEG"}},
                      Refusal{{"--first", "0", "--types", "JPEG"}},
                      Refusal{{"--partition", "1", "--first", "0", "--end", "10", "--types", "JPEG"}}));

}  // namespace
}  // namespace korv::e2e
