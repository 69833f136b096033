// korvane-cli probe and partitions over every container format: the letter
// each is recognised by, the refusals in the system's words, and the source
// tree of every partition-table layout.
#include <fcntl.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "e2e/e2e_disks.h"
#include "vdisk/selection.h"

namespace korv::e2e {
namespace {

class ProbeEveryContainer : public ::testing::TestWithParam<Container>, protected CliTest {};

TEST_P(ProbeEveryContainer, IsAcceptedWithItsLetterAndDeclaredSize) {
  const Container container = GetParam();
  const auto run = Cli({"probe", DiskPath(container.file), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json report = Json::parse(run.out);
  EXPECT_EQ(report["letter"], std::string(1, container.letter));
  EXPECT_EQ(report["format"], std::string(FormatName(container.letter)));
  EXPECT_EQ(report["openResult"], 1);
  EXPECT_EQ(report["accepted"], true);
  EXPECT_EQ(report["mediaType"], "Virtual File " + std::string(FormatName(container.letter)));
  EXPECT_FALSE(report["model"].get<std::string>().empty());
  const Json& disk = ManifestDisk(container.file);
  ASSERT_FALSE(disk.is_null()) << container.file << " is not in the manifest";
  EXPECT_EQ(report["diskSize"], disk["virtualSize"]);
}

INSTANTIATE_TEST_SUITE_P(Containers, ProbeEveryContainer, ::testing::ValuesIn(Containers()),
                         [](const auto& info) { return ParamName(info.param.file); });

// Every disk the fixtures make is one the suite sweeps, so a new container
// format cannot slip past it.
TEST(E2eCoverageTest, SweepsEveryContainerAndLayoutTheFixturesMake) {
  std::set<std::string> known;
  for (const Container& container : Containers()) known.insert(container.file);
  for (const Json& disk : Manifest()["disks"]) {
    if (disk["format"] == "raw") continue;
    EXPECT_TRUE(known.contains(disk["file"])) << disk["file"];
  }
  std::set<std::string> layouts;
  for (const auto& entry : fs::directory_iterator(test::TestDisksDir() / "layouts")) {
    if (entry.path().extension() == ".expected") layouts.insert(entry.path().stem().string());
  }
  EXPECT_EQ(layouts, (std::set<std::string>{"mbr", "odd", "gpt", "whole-fat32", "whole-fat16"}));
}

class ProbeRefusals : public ::testing::Test, protected CliTest {
 protected:
  // The first `bytes` bytes of a fixture disk, as a damaged copy would be.
  std::string TruncatedCopy(const std::string& file, std::size_t bytes) {
    auto content = test::ReadFileBytes(test::TestDisksDir() / file);
    content.resize(std::min(content.size(), bytes));
    const fs::path copy = Scratch("truncated-" + file);
    test::WriteFileBytes(copy, content);
    return copy.string();
  }

  void ExpectRefused(const std::string& image, char letter, int openResult, std::string_view message) {
    const auto run = Cli({"probe", image, "--json"});
    EXPECT_EQ(run.status, 2) << image;
    const Json report = Json::parse(run.out);
    EXPECT_EQ(report["accepted"], false) << image;
    EXPECT_EQ(report["letter"], std::string(1, letter)) << image;
    EXPECT_EQ(report["openResult"], openResult) << image;
    EXPECT_EQ(report.value("message", ""), message) << image;
  }
};

TEST_F(ProbeRefusals, TruncatedDisksAreHighlyCorrupted) {
  // Their headers are whole but their tables lie past the cut.
  ExpectRefused(TruncatedCopy("basic-v3.qcow2", 40000), 'C', 2, kMsgHighlyCorrupted);
  ExpectRefused(TruncatedCopy("basic.qed", 40000), 'Q', 2, kMsgHighlyCorrupted);
  ExpectRefused(TruncatedCopy("basic-dynamic.vhdx", 40000), 'X', 2, kMsgHighlyCorrupted);
}

TEST_F(ProbeRefusals, VmdkOfATypeTheSelectionDoesNotTakeIsRefused) {
  // A whole-device descriptor over the raw test disk: it opens, but its type
  // is not one the selection accepts.
  const fs::path descriptor = Scratch("device.vmdk");
  std::ostringstream text;
  text << "# Disk DescriptorFile\nversion=1\nCID=fffffffe\nparentCID=ffffffff\ncreateType=\"fullDevice\"\n\n"
       << "RW 131072 FLAT \"" << DiskPath("basic.raw") << "\" 0\n";
  const std::string body = text.str();
  test::WriteFileBytes(descriptor, std::vector<std::uint8_t>(body.begin(), body.end()));
  ExpectRefused(descriptor.string(), 'N', 1, kMsgChooseCorrectFile);
}

TEST_F(ProbeRefusals, VboxFileLeadsToTheDiskItNames) {
  const fs::path vbox = Scratch("machine.vbox");
  const std::string body = "<VirtualBox><HardDisk uuid=\"{1}\" location=\"" + DiskPath("basic.qed") +
                           "\" format=\"QED\"/></VirtualBox>\n";
  test::WriteFileBytes(vbox, std::vector<std::uint8_t>(body.begin(), body.end()));
  const auto run = Cli({"probe", vbox.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(Json::parse(run.out)["letter"], "Q");
}

// A running hypervisor holds a write lock on its disk file: the selection
// must call such a file shared, not read it.
TEST_F(ProbeRefusals, FileAnotherProcessHoldsAWriteLockOnIsShared) {
  const fs::path copy = Scratch("locked.qcow2");
  fs::copy_file(test::TestDisksDir() / "layouts" / "mbr.qcow2", copy);
  const int fd = ::open(copy.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file
  ASSERT_EQ(::fcntl(fd, F_SETLK, &lock), 0);
  // No reader looks at it, so no format is named, as for a file that
  // cannot be opened at all.
  ExpectRefused(copy.string(), 'N', 3, kMsgFileShared);
  ::close(fd);
}

// The layouts the source tree must read, each in every container format.
struct LayoutDisk {
  std::string layout;
  std::string extension;
};

void PrintTo(const LayoutDisk& disk, std::ostream* out) { *out << disk.layout << "." << disk.extension; }

std::vector<LayoutDisk> LayoutDisks() {
  std::vector<LayoutDisk> disks;
  for (const char* layout : {"mbr", "odd", "gpt", "whole-fat32", "whole-fat16"}) {
    for (const char* extension : {"vhd", "vhdx", "vdi", "qcow2", "qed", "hdd", "vmdk"}) {
      disks.push_back({layout, extension});
    }
  }
  return disks;
}

// "number|label|file system|first sector|end sector" lines.
Json ExpectedPartitions(const std::string& layout) {
  std::ifstream in(test::TestDisksDir() / "layouts" / (layout + ".expected"));
  Json partitions = Json::array();
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '|');) fields.push_back(field);
    if (fields.size() != 5) throw std::runtime_error("bad line in " + layout + ".expected: " + line);
    partitions.push_back({{"number", std::stoi(fields[0])},
                          {"label", fields[1]},
                          {"fileSystem", fields[2]},
                          {"firstSector", std::stoull(fields[3])},
                          {"endSector", std::stoull(fields[4])},
                          {"sizeBytes", (std::stoull(fields[4]) - std::stoull(fields[3])) * 512}});
  }
  return partitions;
}

class PartitionsOfEveryLayout : public ::testing::TestWithParam<LayoutDisk>, protected CliTest {};

TEST_P(PartitionsOfEveryLayout, ListsTheExpectedPartitions) {
  const LayoutDisk disk = GetParam();
  const fs::path image = test::TestDisksDir() / "layouts" / (disk.layout + "." + disk.extension);
  ASSERT_TRUE(fs::exists(image)) << image;
  const auto run = Cli({"partitions", image.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json listing = Json::parse(run.out);
  EXPECT_EQ(listing["partitions"], ExpectedPartitions(disk.layout)) << listing.dump(1);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PartitionsOfEveryLayout, ::testing::ValuesIn(LayoutDisks()),
                         [](const auto& info) { return ParamName(info.param.layout + "_" + info.param.extension); });

}  // namespace
}  // namespace korv::e2e
