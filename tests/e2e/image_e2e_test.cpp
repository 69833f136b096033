// korvane-cli image: the image of every container equals qemu-img's raw
// conversion and its printed SHA-256 is the image's; the image folder is
// then a source every command takes, finding what the container holds.
#include "e2e/e2e_disks.h"
#include "storage/disk_image.h"

namespace korv::e2e {
namespace {

class ImageEveryContainer : public ::testing::TestWithParam<Container>, protected CliTest {};

TEST_P(ImageEveryContainer, EqualsTheRawConversionByteForByte) {
  const std::string disk = DiskPath(GetParam().file);
  const fs::path folder = Scratch("image");
  const auto run = Cli({"image", disk, "--whole", "--output", folder.string(), "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json summary = Json::parse(run.out);
  EXPECT_EQ(summary["sectorsUnreadable"], 0);

  const fs::path raw = Scratch("converted.raw");
  // qemu-img takes a fixed VHD for a raw file, footer and all, unless told.
  std::vector<std::string> convert = {"qemu-img", "convert", "-O", "raw", disk, raw.string()};
  if (GetParam().letter == VirtualFormat::Vhd) convert.insert(convert.begin() + 2, {"-f", "vpc"});
  ASSERT_TRUE(test::RunProgram(convert));
  EXPECT_TRUE(test::ReadFileBytes(folder / std::string(kImageFirstPieceName)) == test::ReadFileBytes(raw));
  const auto sums = test::Sha256Below(raw.parent_path());
  EXPECT_EQ(summary["sha256"], sums.at(raw.filename().string()));
  EXPECT_EQ(summary["sectorsCopied"].get<std::uint64_t>() * 512, fs::file_size(raw));
}

INSTANTIATE_TEST_SUITE_P(Containers, ImageEveryContainer, ::testing::ValuesIn(Containers()),
                         [](const auto& info) { return ParamName(info.param.file); });

class ImageAsSource : public ::testing::Test, protected CliTest {
 protected:
  void SetUp() override {
    const auto run = Cli({"image", DiskPath("basic-dynamic.vhd"), "--whole", "--output", folder.string()});
    ASSERT_EQ(run.status, 0) << run.err;
  }
  Json JsonOf(std::vector<std::string> args) {
    const auto run = Cli(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return run.status == 0 ? Json::parse(run.out) : Json();
  }
  fs::path folder = Scratch("image");
};

TEST_F(ImageAsSource, ListsTheSamePartitionsAndFindsTheSameFiles) {
  const std::string original = DiskPath("basic-dynamic.vhd");
  for (const std::string& path : {folder.string(), (folder / std::string(kImageFirstPieceName)).string()}) {
    const Json probe = JsonOf({"probe", path, "--json"});
    EXPECT_EQ(probe["format"], std::string(kImageFormatName));
    EXPECT_EQ(probe["diskSize"], ManifestDisk("basic-dynamic.vhd")["virtualSize"]);
  }
  EXPECT_EQ(JsonOf({"partitions", folder.string(), "--json"})["partitions"],
            JsonOf({"partitions", original, "--json"})["partitions"]);
  for (const std::string partition : {"1", "2"}) {
    EXPECT_EQ(JsonOf({"analyze", folder.string(), "--partition", partition, "--json"}),
              JsonOf({"analyze", original, "--partition", partition, "--json"}))
        << partition;
  }
  // A log of the disk serves its image: both hold the same sectors.
  const std::string log = Scratch("disk.kvfr").string();
  ASSERT_EQ(Cli({"analyze", original, "--partition", "1", "--save-log", log}).status, 0);
  EXPECT_EQ(JsonOf({"analyze", folder.string(), "--load-log", log, "--json"}),
            JsonOf({"analyze", original, "--partition", "1", "--json"}));

  const fs::path fromImage = Scratch("from-image");
  const fs::path fromDisk = Scratch("from-disk");
  EXPECT_EQ(Cli({"recover", folder.string(), "--partition", "1", "--output", fromImage.string()}).status, 0);
  EXPECT_EQ(Cli({"recover", original, "--partition", "1", "--output", fromDisk.string()}).status, 0);
  EXPECT_EQ(test::Sha256Below(fromImage), test::Sha256Below(fromDisk));
  const auto carved = Cli({"carve", folder.string(), "--partition", "2", "--types", "all", "--output",
                           Scratch("carved").string(), "--json"});
  EXPECT_NE(carved.status, 2) << carved.err;
}

TEST_F(ImageAsSource, ASecondImageOverTheFirstLeavesOnlyItsOwnPieces) {
  test::WriteFileBytes(folder / "DiskImage1.dmg", {1, 2, 3});
  const auto run = Cli({"image", DiskPath("basic-dynamic.vhd"), "--partition", "1", "--output", folder.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(folder / "DiskImage1.dmg"));
  EXPECT_NE(run.out.find("Disk Image created successfully."), std::string::npos) << run.out;
}

TEST_F(ImageAsSource, RefusalsNameTheProblem) {
  EXPECT_EQ(Cli({"image", DiskPath("basic-dynamic.vhd"), "--output", Scratch("x").string()}).status, 2);
  EXPECT_EQ(Cli({"image", DiskPath("basic-dynamic.vhd"), "--whole", "--partition", "1", "--output",
                 Scratch("x").string()}).status, 2);
  // The image folder cannot be imaged into itself.
  const auto self = Cli({"image", folder.string(), "--whole", "--output", folder.string()});
  EXPECT_EQ(self.status, 2);
  EXPECT_NE(self.err.find("disk being imaged"), std::string::npos) << self.err;
  EXPECT_TRUE(fs::exists(folder / std::string(kImageFirstPieceName)));
}

// Raw disks, as dd and qemu-img convert make them, are sources too: by their
// partition table or boot sector, or by their name.
class RawImageSource : public ::testing::Test, protected CliTest {};

TEST_F(RawImageSource, ARawDiskListsWhatItsContainerLists) {
  const std::string raw = DiskPath("basic.raw");
  const auto probe = Cli({"probe", raw, "--json"});
  ASSERT_EQ(probe.status, 0) << probe.err;
  EXPECT_EQ(Json::parse(probe.out)["format"], std::string(kRawImageFormatName));
  const auto fromRaw = Cli({"partitions", raw, "--json"});
  const auto fromVhdx = Cli({"partitions", DiskPath("basic-dynamic.vhdx"), "--json"});
  ASSERT_EQ(fromRaw.status, 0) << fromRaw.err;
  EXPECT_EQ(Json::parse(fromRaw.out)["partitions"], Json::parse(fromVhdx.out)["partitions"]);
  const auto analyzed = Cli({"analyze", raw, "--partition", "1", "--json"});
  EXPECT_EQ(analyzed.status, 0) << analyzed.err;
  EXPECT_EQ(Json::parse(analyzed.out), Json::parse(Cli({"analyze", DiskPath("basic-dynamic.vhdx"), "--partition", "1",
                                                        "--json"}).out));
}

TEST_F(RawImageSource, ANameSaysRawOtherwiseAFileWithoutSignatureIsRefused) {
  const auto bytes = test::PatternBytes(64 * 1024, 3);
  test::WriteFileBytes(Scratch("wiped.img"), bytes);
  test::WriteFileBytes(Scratch("wiped.bin"), bytes);
  EXPECT_EQ(Cli({"probe", Scratch("wiped.img").string()}).status, 0);
  EXPECT_EQ(Cli({"probe", Scratch("wiped.bin").string()}).status, 2);
  // A missing file says so, with its name.
  const auto missing = Cli({"probe", Scratch("gone.vhd").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("does not exist: " + Scratch("gone.vhd").string()), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace korv::e2e
