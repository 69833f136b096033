#include "common/file_system_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace korv {
namespace {

class FileSystemNameTest : public ::testing::TestWithParam<std::pair<FileSystemKind, std::string>> {};

TEST_P(FileSystemNameTest, NameIsShownAsTheSystemWritesItAndReadsBack) {
  const auto& [kind, name] = GetParam();
  EXPECT_EQ(FileSystemName(kind), name);
  EXPECT_EQ(ParseFileSystemKind(name), kind);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FileSystemNameTest,
                         ::testing::Values(std::pair{FileSystemKind::Ntfs, std::string("NTFS")},
                                           std::pair{FileSystemKind::Fat12, std::string("FAT12")},
                                           std::pair{FileSystemKind::Fat16, std::string("FAT16")},
                                           std::pair{FileSystemKind::Fat32, std::string("FAT32")},
                                           std::pair{FileSystemKind::Unknown, std::string("UNKNOWN")}));

TEST(FileSystemKindTest, OnlyExactNamesAreReadAndOnlyFatKindsAreFat) {
  for (const char* text : {"", "ntfs", "Fat32", "FAT", "NTFS ", "exFAT"}) {
    EXPECT_FALSE(ParseFileSystemKind(text)) << text;
  }
  EXPECT_TRUE(IsFat(FileSystemKind::Fat12) && IsFat(FileSystemKind::Fat16) && IsFat(FileSystemKind::Fat32));
  EXPECT_FALSE(IsFat(FileSystemKind::Ntfs) || IsFat(FileSystemKind::Unknown));
}

}  // namespace
}  // namespace korv
