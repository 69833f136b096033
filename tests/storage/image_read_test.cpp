// Disk image folders: accepting a folder, piece mapping, reads of whole and
// split images with their failure handling.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "storage/disk_image.h"
#include "storage/sector_source.h"
#include "support/test_support.h"

namespace korv {
namespace {

using test::ScriptedPrompts;

constexpr std::size_t kSector = 512;
constexpr std::uint64_t kPieceSectors = 8;  // small pieces keep split images tiny

class ImageReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source.io = &io;
    source.imagePieceSpanBytes = kPieceSectors * kSector;
  }

  // Writes an image of `sectors` sectors split into pieces of kPieceSectors.
  void MakeSplitImage(std::uint64_t sectors) {
    content = test::PatternBytes(sectors * kSector, 3);
    for (std::uint64_t piece = 0; piece * kPieceSectors < sectors; ++piece) {
      const auto begin = content.begin() + piece * kPieceSectors * kSector;
      const auto end = content.begin() + std::min(sectors, (piece + 1) * kPieceSectors) * kSector;
      test::WriteFileBytes(ImagePiecePath(dir.path(), piece), {begin, end});
    }
    ASSERT_TRUE(OpenImageFolder(source, dir.path()).accepted);
  }

  int Read(std::uint64_t first, std::uint32_t count) {
    buffer.assign(count * kSector, 0xAA);
    return sectors.ReadSectors("", first, count, buffer);
  }
  bool Matches(std::size_t index, std::uint64_t sector) const {
    return std::equal(buffer.begin() + index * kSector, buffer.begin() + (index + 1) * kSector,
                      content.begin() + sector * kSector);
  }
  bool AllZero() const {
    return std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; });
  }

  test::TempDir dir;
  test::FaultyIo io;
  ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  std::vector<std::uint8_t> content;
  std::vector<std::uint8_t> buffer;
};

TEST_F(ImageReadTest, FolderWithoutFirstPieceIsRefusedAndChangesNothing) {
  test::WriteFileBytes(dir / "bps.dmg", {0, 16, 0, 0});
  const auto outcome = OpenImageFolder(source, dir.path());
  EXPECT_FALSE(outcome.accepted);
  EXPECT_EQ(outcome.message, kMsgImagePathNotFound);
  EXPECT_EQ(source.kind, SourceKind::PhysicalDisk);
  EXPECT_EQ(source.bytesPerSector, 512);
}

TEST_F(ImageReadTest, SectorSizeFileIsTakenOnlyWhenSane) {
  test::WriteFileBytes(dir / "DiskImage0.dmg", std::vector<std::uint8_t>(4096, 1));
  const std::vector<std::pair<std::vector<std::uint8_t>, int>> cases = {
      {{0, 16, 0, 0}, 4096}, {{0, 2, 0, 0}, 512},  {{0, 0, 0, 0}, 512},     {{0, 1, 0, 0}, 512},
      {{3, 0, 0, 0}, 512},   {{0, 16}, 512},       {{0, 0, 2, 0}, 512},     {{0, 0, 1, 0}, 65536}};
  for (const auto& [bytes, expected] : cases) {
    test::WriteFileBytes(dir / "bps.dmg", bytes);
    source.bytesPerSector = 1234;
    ASSERT_TRUE(OpenImageFolder(source, dir.path()).accepted);
    EXPECT_EQ(source.bytesPerSector, expected) << int(bytes[0]) << "," << int(bytes[1]);
  }
}

TEST_F(ImageReadTest, PiecesAreCountedUpToTheFirstGap) {
  for (int piece : {0, 1, 3}) test::WriteFileBytes(ImagePiecePath(dir.path(), piece), std::vector<std::uint8_t>(512));
  const auto outcome = OpenImageFolder(source, dir.path());
  EXPECT_EQ(outcome.pieceCount, 2);
  EXPECT_TRUE(source.imageSplit);
  EXPECT_EQ(source.kind, SourceKind::DiskImage);
  EXPECT_EQ(outcome.imagePath, dir / "DiskImage0.dmg");
}

TEST_F(ImageReadTest, PieceMappingFollowsTheSectorSize) {
  source.imagePieceSpanBytes = 0x80000000ULL;
  source.imageSplit = true;
  source.imageFolder = "/img";
  EXPECT_EQ(SectorsPerPiece(source), 4194304u);
  EXPECT_EQ(MapImageSector(source, 4194304).piecePath, "/img/DiskImage1.dmg");
  EXPECT_EQ(MapImageSector(source, 4194304).sectorInPiece, 0u);
  EXPECT_EQ(MapImageSector(source, 4194303).piecePath, "/img/DiskImage0.dmg");
  source.bytesPerSector = 4096;
  EXPECT_EQ(SectorsPerPiece(source), 524288u);
  source.imageSplit = false;
  EXPECT_EQ(MapImageSector(source, 10000000).sectorInPiece, 10000000u);
}

TEST_F(ImageReadTest, SplitImageReadsAcrossPieceBoundaries) {
  MakeSplitImage(20);
  for (std::uint64_t first = 0; first < 20; ++first) {
    for (std::uint32_t count = 1; first + count <= 20 && count <= 8; ++count) {
      ASSERT_NE(Read(first, count), 0) << first << "+" << count;
      for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(Matches(i, first + i)) << first << "+" << count;
    }
  }
  EXPECT_TRUE(prompts.badSectorQuestions.empty());
}

TEST_F(ImageReadTest, RunEndingAtThePieceEndIgnoresAMissingNextPiece) {
  MakeSplitImage(8);
  source.imageSplit = true;  // as if piece 1 had gone missing after opening
  EXPECT_NE(Read(4, 4), 0);
  EXPECT_TRUE(Matches(3, 7));
}

TEST_F(ImageReadTest, MissingNextPieceGivesZerosForItsPart) {
  MakeSplitImage(16);
  std::filesystem::remove(ImagePiecePath(dir.path(), 1));
  EXPECT_EQ(Read(6, 4), 0);
  EXPECT_TRUE(Matches(0, 6) && Matches(1, 7));
  EXPECT_TRUE(std::all_of(buffer.begin() + 2 * kSector, buffer.end(), [](std::uint8_t b) { return b == 0; }));
}

// A damaged piece costs only its own part of a run: the next piece's
// sectors still come back.
TEST_F(ImageReadTest, ShortOrMissingPieceKeepsTheNextPiecesPartOfARun) {
  for (const bool missing : {false, true}) {
    MakeSplitImage(24);
    const auto piece1 = ImagePiecePath(dir.path(), 1);
    if (missing) {
      std::filesystem::remove(piece1);
    } else {
      std::filesystem::resize_file(piece1, 2 * kSector);
    }
    prompts.badSectorAnswers = {BadSectorAnswer::Skip};
    EXPECT_EQ(Read(12, 8), 1) << missing;
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 4 * kSector, [](std::uint8_t b) { return b == 0; }));
    for (std::size_t i = 4; i < 8; ++i) EXPECT_TRUE(Matches(i, 12 + i)) << missing << " sector " << 12 + i;
    EXPECT_EQ(prompts.badSectorQuestions.size(), 1u) << missing;
    prompts.badSectorQuestions.clear();
  }
}

TEST_F(ImageReadTest, MissingPieceAsksThenRetriesOnceThenZeros) {
  MakeSplitImage(16);
  std::filesystem::remove(ImagePiecePath(dir.path(), 1));
  prompts.badSectorAnswers = {BadSectorAnswer::Retry, BadSectorAnswer::Retry};
  EXPECT_EQ(Read(9, 2), 0);
  EXPECT_EQ(prompts.badSectorQuestions.size(), 2u);
  EXPECT_TRUE(AllZero());

  prompts.badSectorQuestions.clear();
  prompts.badSectorAnswers = {BadSectorAnswer::SkipAll};
  EXPECT_EQ(Read(9, 2), 0);
  EXPECT_EQ(Read(10, 2), 0);
  EXPECT_EQ(prompts.badSectorQuestions.size(), 1u);
}

TEST_F(ImageReadTest, WholeImageAtItsEndAsksAndGivesZeros) {
  content = test::PatternBytes(4 * kSector, 5);
  test::WriteFileBytes(dir / "DiskImage0.dmg", content);
  ASSERT_TRUE(OpenImageFolder(source, dir.path()).accepted);
  EXPECT_FALSE(source.imageSplit);

  prompts.badSectorAnswers = {BadSectorAnswer::Skip};
  EXPECT_EQ(Read(4, 1), 0);
  EXPECT_TRUE(AllZero());
  EXPECT_EQ(prompts.badSectorQuestions.size(), 1u);

  // A run that starts inside the file but runs past its end keeps what the
  // file holds and zero-fills the rest.
  EXPECT_EQ(Read(2, 4), 0);
  EXPECT_TRUE(Matches(0, 2) && Matches(1, 3));
  EXPECT_TRUE(std::all_of(buffer.begin() + 2 * kSector, buffer.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(ImageReadTest, UnopenablePieceGivesZerosNotStaleBytes) {
  MakeSplitImage(8);
  io.FailOpen(ImagePiecePath(dir.path(), 0));
  EXPECT_EQ(Read(1, 2), 0);
  EXPECT_TRUE(AllZero());
}

TEST_F(ImageReadTest, LargeWholeImageUsesSixtyFourBitOffsets) {
  const auto piece = dir / "DiskImage0.dmg";
  const std::uint64_t offset = 10000000ULL * kSector;  // 5,120,000,000 bytes
  const auto marker = test::PatternBytes(kSector, 11);
  {
    const int fd = ::open(piece.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, marker.data(), marker.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(kSector));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(5ULL << 30)), 0);
    ::close(fd);
  }
  source.imagePieceSpanBytes = 0x80000000ULL;
  ASSERT_TRUE(OpenImageFolder(source, dir.path()).accepted);
  EXPECT_FALSE(source.imageSplit);
  ASSERT_NE(Read(10000000, 1), 0);
  EXPECT_EQ(buffer, marker);
}

}  // namespace
}  // namespace korv
