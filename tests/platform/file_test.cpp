#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

TEST(FileTest, ReadsAtPositionsAndReportsShortReads) {
  test::TempDir dir;
  const auto content = test::PatternBytes(1000, 1);
  test::WriteFileBytes(dir / "f", content);
  auto file = File::OpenReadOnly(dir / "f");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Size(), 1000u);
  std::vector<std::uint8_t> out(100);
  EXPECT_TRUE(file->ReadExactAt(900, out));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), content.begin() + 900));
  EXPECT_EQ(file->ReadAt(950, out), 50u);
  EXPECT_EQ(file->ReadAt(5000, out), 0u);
  EXPECT_EQ(file->ReadAt(UINT64_MAX - 10, out), 0u);

  std::error_code error;
  EXPECT_FALSE(File::OpenReadOnly(dir / "missing", &error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(File::OpenReadOnly(dir.path()));
}

// Looks show the file's bytes in place, in any order, split between threads
// or not, and across the steps in which looked-at pages are let go; a range past the end is refused, and so
// is one the file no longer holds because it was cut shorter meanwhile.
TEST(FileTest, LooksShowBytesInPlaceAndRefuseWhatIsGone) {
  test::TempDir dir;
  const std::size_t size = 9 * 1024 * 1024 + 1000;
  const auto content = test::PatternBytes(size, 3);
  test::WriteFileBytes(dir / "f", content);
  auto file = File::OpenReadOnly(dir / "f");
  ASSERT_TRUE(file);
  const auto lookAt = [&](std::uint64_t offset, std::size_t length) {
    return test::CollectLook(length, [&](const ByteLook& look) { return file->Look(offset, length, look); });
  };
  const std::pair<std::uint64_t, std::size_t> ranges[] = {
      {0, 512000}, {512000, 8 * 1024 * 1024}, {100, 3}, {size - 1000, 1000}, {0, size}};
  for (const auto& [offset, length] : ranges) {
    const auto shown = lookAt(offset, length);
    ASSERT_TRUE(shown) << offset;
    EXPECT_TRUE(std::equal(shown->begin(), shown->end(), content.begin() + static_cast<std::ptrdiff_t>(offset),
                           content.begin() + static_cast<std::ptrdiff_t>(offset + length)))
        << offset;
  }
  EXPECT_FALSE(lookAt(size - 10, 11));
  EXPECT_FALSE(lookAt(UINT64_MAX - 10, 100));

  // A long look is shared out between two threads: a half that is gone
  // ends it on whichever thread meets it.
  std::filesystem::resize_file(dir / "f", 3 * 1024 * 1024);
  EXPECT_FALSE(lookAt(0, 6 * 1024 * 1024));
  EXPECT_TRUE(lookAt(0, 3 * 1024 * 1024));
  std::filesystem::resize_file(dir / "f", 4096);
  EXPECT_FALSE(lookAt(1024 * 1024, 4096));
  EXPECT_TRUE(lookAt(0, 4096));
}

TEST(FileTest, ReadingLeavesTheSourceFileUntouched) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "f", test::PatternBytes(4096, 2));
  struct timespec old[2] = {{1000000, 0}, {2000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "f").c_str(), old, 0), 0);
  {
    auto file = File::OpenReadOnly(dir / "f");
    std::vector<std::uint8_t> out(4096);
    ASSERT_TRUE(file->ReadExactAt(0, out));
  }
  struct stat info {};
  ASSERT_EQ(::stat((dir / "f").c_str(), &info), 0);
  EXPECT_EQ(info.st_atim.tv_sec, 1000000);
  EXPECT_EQ(info.st_mtim.tv_sec, 2000000);
}

TEST(FileTest, FolderLookupFallsBackToCaseInsensitiveMatch) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "Parent.VHD", {1});
  EXPECT_EQ(FindInFolder(dir.path(), "Parent.VHD"), dir / "Parent.VHD");
  EXPECT_EQ(FindInFolder(dir.path(), "parent.vhd"), dir / "Parent.VHD");
  EXPECT_FALSE(FindInFolder(dir.path(), "other.vhd"));
  EXPECT_FALSE(FindInFolder(dir.path(), ".."));
  EXPECT_EQ(StoredNameLeaf("C:\\vms\\base.vhd"), "base.vhd");
  EXPECT_EQ(StoredNameLeaf("/srv/vms/base.vhd"), "base.vhd");
  EXPECT_EQ(StoredNameLeaf("base.vhd"), "base.vhd");
}

TEST(FileTest, MountedBlockDeviceIsRecognised) {
  // The device holding the root file system is mounted on any running system.
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  std::string device;
  while (std::getline(mounts, line)) {
    const auto dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream rest(line.substr(dash + 3));
    std::string type, dev;
    rest >> type >> dev;
    struct stat info {};
    if (dev.rfind("/dev/", 0) == 0 && ::stat(dev.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
      device = dev;
      break;
    }
  }
  if (device.empty()) GTEST_SKIP() << "no mounted block device here";
  EXPECT_TRUE(DeviceHasMountedFileSystem(device));
  test::TempDir dir;
  test::WriteFileBytes(dir / "plain", {1});
  EXPECT_FALSE(DeviceHasMountedFileSystem(dir / "plain"));
}

}  // namespace
}  // namespace korv
