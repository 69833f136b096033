// The copy of Create Disk Image: pieces and their sizes, holes, the earlier
// image's leftovers, write failures with each copy-error answer, unreadable
// sectors, and the image read back as a source.
#include <gtest/gtest.h>

#include <deque>

#include "imaging/run_imaging.h"
#include "platform/sha256.h"
#include "storage/disk_image.h"
#include "support/memory_disk.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSectors = 5000;
constexpr std::uint64_t kFirst = 7;  // not a chunk or piece boundary
constexpr std::uint64_t kSpanSectors = 1500;

class ScriptedCopyErrors final : public SaveQuestions {
 public:
  std::deque<CopyErrorAnswer> answers;
  int asked = 0;
  ReplaceReply AskReplace(std::string_view, const fs::path&) override { return {}; }
  CopyErrorAnswer AskCopyError(std::string_view, const fs::path&) override {
    ++asked;
    if (answers.empty()) return CopyErrorAnswer::Skip;
    const CopyErrorAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// Pieces as files, but writes that start at chosen offsets of piece 0 fail.
class FailingOutput final : public ImageOutput {
 public:
  std::vector<std::uint64_t> failingOffsets;
  std::unique_ptr<ImagePiece> Create(const fs::path& path, std::string& reason) override {
    auto real = files_.Create(path, reason);
    if (!real || path.filename() != kImageFirstPieceName) return real;
    return std::make_unique<Piece>(std::move(real), failingOffsets);
  }

 private:
  class Piece final : public ImagePiece {
   public:
    Piece(std::unique_ptr<ImagePiece> real, std::vector<std::uint64_t> failing)
        : real_(std::move(real)), failing_(std::move(failing)) {}
    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
      if (std::find(failing_.begin(), failing_.end(), offset) != failing_.end()) return false;
      return real_->WriteAt(offset, bytes);
    }
    bool Finish(std::uint64_t length) override { return real_->Finish(length); }

   private:
    std::unique_ptr<ImagePiece> real_;
    std::vector<std::uint64_t> failing_;
  };
  FileImageOutput files_;
};

class ImagingTest : public ::testing::Test {
 protected:
  ImagingTest() : disk(kSectors) {
    disk.bytes = test::PatternBytes(kSectors * kVirtualSectorBytes, 9);
    // 2,048 sectors of zeros: they stay a hole.
    std::fill_n(disk.bytes.begin() + (kFirst + 2048) * kVirtualSectorBytes, 2048 * kVirtualSectorBytes, std::uint8_t{0});
    source.kind = SourceKind::VirtualDisk;
    source.virtualDisk = &disk;
    source.io = &io;
    range.firstSector = kFirst;
    range.endSector = kSectors;
    target.imageFolder = dir.path();
  }

  ImagingSummary Run(ImageOutput& output) {
    ImagingJob job{sectors, worker, progress, questions, errors, target, output, kSpanSectors * kVirtualSectorBytes};
    return RunImaging(job);
  }
  ImagingSummary Run() { return Run(files); }

  std::vector<std::uint8_t> Expected() const {
    return {disk.bytes.begin() + kFirst * kVirtualSectorBytes, disk.bytes.end()};
  }

  // The image as the source reader sees it.
  std::vector<std::uint8_t> ReadBack() {
    CurrentSource image;
    image.io = &io;
    image.imagePieceSpanBytes = kSpanSectors * kVirtualSectorBytes;
    EXPECT_TRUE(OpenImageFolder(image, dir.path()).accepted);
    SelectedRange all;
    test::ScriptedPrompts quiet;
    SectorSource reader(image, all, quiet);
    // In runs shorter than a piece, as every reader of a source reads.
    const std::uint64_t count = kSectors - kFirst;
    std::vector<std::uint8_t> bytes(count * kVirtualSectorBytes);
    for (std::uint64_t sector = 0; sector < count; sector += 1000) {
      const auto run = static_cast<std::uint32_t>(std::min<std::uint64_t>(1000, count - sector));
      reader.ReadSectors("", sector, run, std::span(bytes).subspan(sector * kVirtualSectorBytes));
    }
    return bytes;
  }

  test::TempDir dir;
  test::MemoryDisk disk;
  test::FaultyIo io;
  test::ScriptedPrompts prompts;
  test::RecordingProgress progress;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  WorkerControl worker;
  ScriptedCopyErrors questions;
  ErrorPolicy errors;
  ImagingTarget target;
  FileImageOutput files;
};

class ImagingLayoutTest : public ImagingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ImagingLayoutTest, PiecesHoldTheRangeInOrderAndReadBackWhole) {
  target.split = GetParam();
  const ImagingSummary summary = Run();
  ASSERT_TRUE(summary.finished) << summary.endMessage;
  EXPECT_EQ(summary.endMessage, kMsgImageCreated);
  EXPECT_EQ(summary.sectorsCopied, kSectors - kFirst);

  const std::vector<std::uint8_t> expected = Expected();
  Sha256 hash;
  hash.Add(expected);
  EXPECT_EQ(summary.sha256, hash.FinishHex());
  // The zeros were not written, yet read back as zeros.
  // (A block the zeros only partly cover is written.)
  EXPECT_LE(summary.bytesWritten, expected.size() - 1792 * kVirtualSectorBytes);
  EXPECT_EQ(ReadBack(), expected);

  const std::size_t wantedPieces = GetParam() ? 4 : 1;  // 4993 sectors in pieces of 1500
  ASSERT_EQ(summary.pieces.size(), wantedPieces);
  for (std::size_t n = 0; n + 1 < wantedPieces; ++n) {
    EXPECT_EQ(fs::file_size(summary.pieces[n]), kSpanSectors * kVirtualSectorBytes) << n;
  }
  EXPECT_FALSE(fs::exists(dir / std::string(kImageSectorSizeName)));
}

INSTANTIATE_TEST_SUITE_P(WholeAndSplit, ImagingLayoutTest, ::testing::Bool());

// An earlier, longer image in the folder: whatever "Multifile" says now, its
// later pieces go, so the reader does not see a mixed image.
TEST_P(ImagingLayoutTest, LeftoverPiecesOfAnEarlierImageAreDeleted) {
  for (int n = 0; n < 7; ++n) test::WriteFileBytes(ImagePiecePath(dir.path(), n), {1, 2, 3});
  test::WriteFileBytes(dir / std::string(kImageSectorSizeName), {0, 0x10, 0, 0});
  target.split = GetParam();
  const ImagingSummary summary = Run();
  ASSERT_TRUE(summary.finished);
  for (int n = 0; n < 7; ++n) {
    EXPECT_EQ(fs::exists(ImagePiecePath(dir.path(), n)), n < static_cast<int>(summary.pieces.size())) << n;
  }
  EXPECT_FALSE(fs::exists(dir / std::string(kImageSectorSizeName)));
  EXPECT_EQ(ReadBack(), Expected());
}

struct WriteFailureCase {
  CopyErrorAnswer answer;
  int asked;
  bool finished;
  std::uint64_t sectorsUnwritten;
};

class ImagingWriteFailureTest : public ImagingTest, public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(ImagingWriteFailureTest, EachAnswerOfTheCopyErrorDialog) {
  const WriteFailureCase c = GetParam();
  questions.answers = {c.answer};
  FailingOutput output;
  // The first chunk and the last one (chunks are 2,048 sectors).
  output.failingOffsets = {0, 4096ull * kVirtualSectorBytes};
  const ImagingSummary summary = Run(output);
  EXPECT_EQ(questions.asked, c.asked);
  EXPECT_EQ(summary.finished, c.finished);
  EXPECT_EQ(summary.sectorsUnwritten, c.sectorsUnwritten);
  // The hash would not be the image's: it lacks what was not written.
  EXPECT_TRUE(summary.sha256.empty());
  // Lost sectors never end in the success message alone.
  EXPECT_NE(summary.endMessage, kMsgImageCreated);
  EXPECT_EQ(summary.endMessage.rfind(c.finished ? kMsgImageCreated : kMsgImageAborted, 0), 0u) << summary.endMessage;
  if (c.finished) EXPECT_NE(summary.endMessage.find(std::to_string(c.sectorsUnwritten)), std::string::npos);
  // Abort clears the dialog's choices; Skip All keeps standing.
  EXPECT_EQ(errors.skipAll.load(), c.answer == CopyErrorAnswer::SkipAll);
  EXPECT_FALSE(errors.abort.load());
}

INSTANTIATE_TEST_SUITE_P(Answers, ImagingWriteFailureTest,
                         ::testing::Values(WriteFailureCase{CopyErrorAnswer::Skip, 2, true, 2048 + (kSectors - kFirst - 4096)},
                                           WriteFailureCase{CopyErrorAnswer::SkipAll, 1, true, 2048 + (kSectors - kFirst - 4096)},
                                           WriteFailureCase{CopyErrorAnswer::Abort, 1, false, 2048}));

TEST_F(ImagingTest, UnreadableSectorsAreCountedOneByOneAndTheRestKept) {
  // The source is itself an image whose piece has three unreadable sectors.
  test::TempDir sourceFolder;
  test::WriteFileBytes(ImagePiecePath(sourceFolder.path(), 0), disk.bytes);
  ASSERT_TRUE(OpenImageFolder(source, sourceFolder.path()).accepted);
  const fs::path piece = ImagePiecePath(sourceFolder.path(), 0);
  io.FailBytes(piece, 100 * kVirtualSectorBytes, 2 * kVirtualSectorBytes);
  io.FailBytes(piece, 3000 * kVirtualSectorBytes + 10, 1);
  range.badSectorPolicy = BadSectorPolicy::SkipAll;

  const ImagingSummary summary = Run();
  EXPECT_TRUE(summary.finished);
  EXPECT_EQ(summary.sectorsUnreadable, 3u);
  EXPECT_NE(summary.endMessage.find("3" + std::string(kMsgSectorsUnreadableTail)), std::string::npos);
  std::vector<std::uint8_t> expected = Expected();
  for (const std::uint64_t bad : {100u, 101u, 3000u}) {
    std::fill_n(expected.begin() + (bad - kFirst) * kVirtualSectorBytes, kVirtualSectorBytes, std::uint8_t{0});
  }
  EXPECT_EQ(test::ReadFileBytes(ImagePiecePath(dir.path(), 0)), expected);
  EXPECT_EQ(range.badSectorPolicy, BadSectorPolicy::SkipAll);
}

TEST_F(ImagingTest, ImagingTheImageFolderIntoItselfIsRefused) {
  EXPECT_EQ(CheckImageTarget(dir.path(), 1, dir.path(), prompts, [](const fs::path&) { return 1ull << 40; }),
            std::string(kMsgTargetIsSource));
  EXPECT_EQ(CheckImageTarget(dir / "missing", 1, {}, prompts, [](const fs::path&) { return 1ull << 40; }),
            std::string(kMsgTargetPathMissing));
  // Too little room asks; No stays on the page without a message.
  EXPECT_EQ(CheckImageTarget(dir.path(), 100, {}, prompts, [](const fs::path&) { return 10ull; }), std::string());
  EXPECT_EQ(prompts.yesNoQuestions, std::vector<std::string>{std::string(kQuestionNotEnoughSpace)});
}

TEST(TargetDiskCheckTest, RefusesNoTargetAndTheSourceThenAsksBeforeWriting) {
  test::ScriptedPrompts prompts;
  EXPECT_EQ(CheckTargetDisk({}, 100, "/dev/sda", prompts), std::string(kMsgChooseTargetDisk));
  // A path no mount can name, so the mounted test passes whatever the machine.
  const TargetDiskChoice disk{1, "/nonexistent/target-disk", "Disk1", "Model X", 1000};
  EXPECT_EQ(CheckTargetDisk(disk, 100, "/nonexistent/target-disk", prompts), std::string(kMsgTargetIsSource));
  EXPECT_TRUE(prompts.yesNoQuestions.empty());
  // Too small, then the data-loss question: both answered Yes.
  prompts.yesNoAnswers = {true, true};
  EXPECT_EQ(CheckTargetDisk(disk, 5000, "/dev/sda", prompts), std::nullopt);
  ASSERT_EQ(prompts.yesNoQuestions.size(), 2u);
  EXPECT_EQ(prompts.yesNoQuestions[0], kQuestionNotEnoughSpace);
  EXPECT_EQ(prompts.yesNoQuestions[1], "All data will be lost in Target Disk -\nDisk1 - Model X\n\nAre you sure you want to continue ?\n");
}

TEST(ImageFolderFieldTest, PiecesAlwaysGoIntoTheFolder) {
  EXPECT_EQ(ImageFolderFromField("/media/backup/DiskImage.dmg"), fs::path("/media/backup"));
  EXPECT_EQ(ImageFolderFromField("/media/backup/Copy.DMG"), fs::path("/media/backup"));
  EXPECT_EQ(ImageFolderFromField("/media/backup"), fs::path("/media/backup"));
  EXPECT_EQ(ImageFolderFromField("/media/my.dmg.files"), fs::path("/media/my.dmg.files"));
  EXPECT_EQ(PathFieldForFolder("/media/backup"), "/media/backup/DiskImage.dmg");
}

TEST_F(ImagingTest, ADiskTargetGetsEverySectorAtItsStart) {
  const fs::path device = dir / "target-disk";
  test::WriteFileBytes(device, std::vector<std::uint8_t>(kSectors * kVirtualSectorBytes, 0xEE));
  target.toDisk = true;
  target.targetDevicePath = device.string();
  const ImagingSummary summary = Run();
  ASSERT_TRUE(summary.finished) << summary.endMessage;
  auto written = test::ReadFileBytes(device);
  written.resize((kSectors - kFirst) * kVirtualSectorBytes);
  // Zeros included: the old bytes of a disk must not show through.
  EXPECT_EQ(written, Expected());
  EXPECT_TRUE(summary.pieces.empty());
}

}  // namespace
}  // namespace korv
