// The save flow on real volumes: the replace and copy-error answers, the
// verdict's counting rules, the destination and free-space checks, stop,
// skip and the filters, damaged and hostile records, and a looping FAT.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include "fs/fat/fat_boot.h"
#include "fs/ntfs/file_record.h"
#include "save_test_support.h"
#include "support/byte_writers.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::Json;

std::vector<std::uint8_t> Text(std::string_view text) { return {text.begin(), text.end()}; }

// The FAT12 volume of the fixtures, analysed; files are chosen per test.
class Fat12FlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path folder = test::TestDisksDir() / "fat-volumes";
    const Json manifest = test::ReadJson(folder / "manifest.json");
    volumeEntry_ = manifest["volumes"][0];
    ASSERT_EQ(volumeEntry_["analysedName"], "FAT12");
    v.LoadVolume(folder / "fat12.raw", volumeEntry_["firstSector"], volumeEntry_["sectorCount"],
                 volumeEntry_["treeName"].get<std::string>());
    ASSERT_TRUE(v.AnalyseLoaded());
  }

  void Select(std::initializer_list<std::string_view> paths) {
    for (const auto path : paths) ASSERT_TRUE(SelectPath(v.session.store, v.rootNumber(), path)) << path;
  }

  std::string Sha256Of(const std::string& path) const {
    for (const Json& entry : volumeEntry_["entries"]) {
      if (entry["path"] == path) return entry["sha256"];
    }
    return {};
  }

  fs::path out() const { return v.dir / "out"; }

  test::SavedVolume v;
  Json volumeEntry_;
};

TEST_F(Fat12FlowTest, SkipCountsAsDoneOnceAndSkipForAllLeavesTheRestUncounted) {
  Select({"README.TXT", "lower.txt"});
  ASSERT_EQ(v.Save(out()), SaveOutcome::Completed);
  test::WriteFileBytes(out() / "README.TXT", Text("old"));

  // "&Skip" without the check box: asked for each, counted as done.
  v.questions.replaceDefault = {ReplaceAnswer::Skip, false};
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.questions.replaceAsked.size(), 2u);
  EXPECT_EQ(test::ReadFileBytes(out() / "README.TXT"), Text("old"));

  // "&Skip" with it: the first counts, the second is skipped unasked and
  // uncounted.
  v.questions.replaceAsked.clear();
  v.questions.replaceDefault = {ReplaceAnswer::Skip, true};
  EXPECT_EQ(v.Save(out()), SaveOutcome::NotCompleted);
  EXPECT_EQ(v.questions.replaceAsked, std::vector<fs::path>{out() / "README.TXT"});
  EXPECT_EQ(v.prompts.messages.back(), kMsgSavingNotCompleted);
  EXPECT_EQ(v.state.bytesSaved, 300u);
  EXPECT_EQ(v.state.selectedBytes, 400u);
}

TEST_F(Fat12FlowTest, RenameNumbersEachClashAndYesToAllOverwrites) {
  Select({"lower.txt"});
  ASSERT_EQ(v.Save(out()), SaveOutcome::Completed);
  v.questions.replaceDefault = {ReplaceAnswer::Rename, false};
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.questions.replaceAsked.size(), 2u);
  const auto sums = test::Sha256Below(out());
  EXPECT_EQ(sums.at("lower0.txt"), Sha256Of("lower.txt"));
  EXPECT_EQ(sums.at("lower1.txt"), Sha256Of("lower.txt"));

  // Rename for all: one question, then every clash renamed unasked.
  Select({"README.TXT"});
  test::WriteFileBytes(out() / "README.TXT", Text("old"));
  v.questions.replaceAsked.clear();
  v.questions.replaceDefault = {ReplaceAnswer::Rename, true};
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.questions.replaceAsked.size(), 1u);
  EXPECT_TRUE(fs::exists(out() / "README0.TXT"));
  EXPECT_TRUE(fs::exists(out() / "lower2.txt"));

  // Yes for all: one question, both overwritten.
  test::WriteFileBytes(out() / "README.TXT", Text("old"));
  test::WriteFileBytes(out() / "lower.txt", Text("old"));
  v.questions.replaceAsked.clear();
  v.questions.replaceDefault = {ReplaceAnswer::Yes, true};
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.questions.replaceAsked.size(), 1u);
  EXPECT_EQ(test::Sha256Below(out()).at("README.TXT"), Sha256Of("README.TXT"));
  EXPECT_EQ(test::Sha256Below(out()).at("lower.txt"), Sha256Of("lower.txt"));
}

TEST_F(Fat12FlowTest, CopyErrorAnswersSkipSkipAllAndAbort) {
  Select({"README.TXT", "lower.txt", "big.bin"});
  // Folders in the way of the first two files: they cannot be created.
  const auto blockFirstTwo = [&] {
    fs::remove_all(out());
    fs::create_directories(out() / "README.TXT");
    fs::create_directories(out() / "lower.txt");
  };
  v.questions.replaceDefault = {ReplaceAnswer::Yes, true};

  blockFirstTwo();
  v.questions.copyErrorDefault = CopyErrorAnswer::Skip;
  EXPECT_EQ(v.Save(out()), SaveOutcome::NotCompleted);
  EXPECT_EQ(v.questions.copyErrorAsked.size(), 2u);
  EXPECT_EQ(test::Sha256Below(out()).at("big.bin"), Sha256Of("big.bin"));

  blockFirstTwo();
  v.questions.copyErrorAsked.clear();
  v.questions.copyErrorDefault = CopyErrorAnswer::SkipAll;
  EXPECT_EQ(v.Save(out()), SaveOutcome::NotCompleted);
  EXPECT_EQ(v.questions.copyErrorAsked.size(), 1u);
  EXPECT_TRUE(fs::exists(out() / "big.bin"));

  // Abort ends the walk; the flags it set do not outlive the save.
  blockFirstTwo();
  v.questions.copyErrorAsked.clear();
  v.questions.copyErrorDefault = CopyErrorAnswer::Abort;
  EXPECT_EQ(v.Save(out()), SaveOutcome::NotCompleted);
  EXPECT_EQ(v.questions.copyErrorAsked.size(), 1u);
  EXPECT_FALSE(fs::exists(out() / "big.bin"));
  EXPECT_TRUE(v.state.errors.abort);

  fs::remove_all(out());
  v.session.worker.RequestStop();
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.prompts.messages.back(), kMsgSavingCompleted);
}

TEST_F(Fat12FlowTest, AShortWriteIsACopyErrorAndItsBytesAreNotCounted) {
  Select({"big.bin", "README.TXT"});
  v.questions.copyErrorDefault = CopyErrorAnswer::Skip;
  // A destination that takes no file above 8 KiB, as a FAT one takes none
  // above 4 GiB.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  ::getrlimit(RLIMIT_FSIZE, &before);
  rlimit limited = before;
  limited.rlim_cur = 8192;
  ::setrlimit(RLIMIT_FSIZE, &limited);
  const SaveOutcome outcome = v.Save(out());
  ::setrlimit(RLIMIT_FSIZE, &before);

  EXPECT_EQ(outcome, SaveOutcome::NotCompleted);
  EXPECT_EQ(v.questions.copyErrorAsked, std::vector<fs::path>{out() / "big.bin"});
  EXPECT_EQ(v.state.bytesSaved, 300u);
  EXPECT_EQ(v.state.filesSaved, 2);
  EXPECT_EQ(test::Sha256Below(out()).at("README.TXT"), Sha256Of("README.TXT"));
}

TEST_F(Fat12FlowTest, DestinationSelectionAndFreeSpaceAreCheckedBeforeTheSave) {
  EXPECT_EQ(v.Save(""), SaveOutcome::PathRefused);
  test::WriteFileBytes(v.dir / "a-file", {1});
  EXPECT_EQ(v.Save(v.dir / "a-file" / "below"), SaveOutcome::PathRefused);
  EXPECT_EQ(v.prompts.messages, (std::vector<std::string>(2, std::string(kMsgSelectRecoveryPath))));

  EXPECT_EQ(v.Save(out()), SaveOutcome::NothingSelected);
  EXPECT_EQ(v.prompts.messages.back(), kMsgNothingSelected);
  EXPECT_TRUE(fs::is_directory(out()));  // OK makes the folder

  // Exactly as many bytes free as selected: the question is asked.
  Select({"README.TXT", "lower.txt"});
  v.freeBytes = 400;
  v.prompts.yesNoAnswers = {false, true};
  EXPECT_EQ(v.Save(out()), SaveOutcome::SpaceDeclined);
  EXPECT_EQ(v.prompts.yesNoQuestions.back(),
            "Insufficient free space on destination drive. Selected file/folder requires 0.000 MB of free space. "
            "Press Yes if you want continue with it.");
  EXPECT_FALSE(fs::exists(out() / "README.TXT"));
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.evaluationSink.last(ProgressField::Files), "2");
  EXPECT_EQ(v.evaluationSink.last(ProgressField::Size), "0.000 MB size");
  EXPECT_EQ(v.saveSink.overallPercents.back(), 100);
}

TEST_F(Fat12FlowTest, FiltersNarrowWhatIsCountedAndSaved) {
  SelectEverything(v.session.store);
  v.filters.deletedChoice = DeletedChoice::DeletedOnly;
  ASSERT_EQ(v.filters.AddExtension("TXT"), std::nullopt);
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  std::set<std::string> saved;
  for (const auto& [path, sum] : test::Sha256Below(out())) saved.insert(path);
  // The deleted .txt files; a deleted short name has lost its first letter.
  EXPECT_EQ(saved, (std::set<std::string>{"Deleted long name file.txt", "DOCS/_ILE05.TXT", "Old Stuff/_nside.txt"}))
      << ::testing::PrintToString(saved);

  // A date range nothing falls in leaves nothing selected.
  v.filters.SetDateRange(DateKind::Modified, {2030, 1, 1}, {2030, 12, 31});
  EXPECT_EQ(v.Save(v.dir / "other"), SaveOutcome::NothingSelected);
}

TEST_F(Fat12FlowTest, AFatChainThatLoopsEndsAndTheFileComesFromConsecutiveClusters) {
  const FoundFile* big = nullptr;
  v.session.store.ForEachFileInOrder([&](FileId id) {
    if (v.session.store.file(id).name == u"big.bin") big = &v.session.store.file(id);
  });
  ASSERT_NE(big, nullptr);
  const BootParameters& boot = v.session.analysisParameters.boot;
  const std::uint32_t first = big->ownNumber;
  // The third cluster's entry leads back to the first, in both FATs.
  for (const std::uint32_t fat : {boot.fat1FirstSector, boot.fat2FirstSector}) {
    const std::uint64_t at = std::uint64_t{fat} * 512 + (first + 2) * 3 / 2;
    std::uint8_t* bytes = v.disk->bytes.data() + at;
    if ((first + 2) & 1) {
      bytes[0] = static_cast<std::uint8_t>((bytes[0] & 0x0F) | (first & 0x0F) << 4);
      bytes[1] = static_cast<std::uint8_t>(first >> 4);
    } else {
      bytes[0] = static_cast<std::uint8_t>(first);
      bytes[1] = static_cast<std::uint8_t>((bytes[1] & 0xF0) | (first >> 8 & 0x0F));
    }
  }
  ExtractionSource source(v.session.sectors, v.session.analysisParameters);
  EXPECT_EQ(BuildClusterChain(source, FileSystemKind::Fat12, first, boot.fat1FirstSector, 40).size(), 3u);

  Select({"big.bin"});
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(test::Sha256Below(out()).at("big.bin"), Sha256Of("big.bin"));  // written in one piece
}

// The FAT32 partition of the basic disk: files larger than one piece.
class LargeFileFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(v.AnalyseDisk(test::TestDisksDir() / "basic-dynamic.vhd", 2));
    ASSERT_TRUE(SelectPath(v.session.store, v.rootNumber(), "Music Collection/track01.mp3"));
    ASSERT_TRUE(SelectPath(v.session.store, v.rootNumber(), "README.TXT"));
  }
  fs::path out() const { return v.dir / "out"; }
  test::SavedVolume v;
};

TEST_F(LargeFileFlowTest, SkipEndsTheCurrentFileWhichStaysAsWrittenWithItsTime) {
  v.saveSink.onPiece = [&] {
    if (v.state.bytesSaved > 300) v.state.errors.skipFile = true;
  };
  EXPECT_EQ(v.Save(out()), SaveOutcome::NotCompleted);
  const fs::path track = out() / "Music Collection" / "track01.mp3";
  EXPECT_GT(fs::file_size(track), 0u);
  EXPECT_LT(fs::file_size(track), 2000000u);
  EXPECT_GT(test::ModificationTime(track).tv_sec, 0);
  EXPECT_EQ(fs::file_size(out() / "README.TXT"), 300u);  // before it, in the root
}

TEST_F(LargeFileFlowTest, StopAskedDuringTheSave) {
  // No: the save goes on to the end.
  v.prompts.yesNoAnswers = {false};
  bool asked = false;
  v.saveSink.onPiece = [&] {
    if (!asked && v.state.bytesSaved > 300) {
      asked = true;
      EXPECT_FALSE(AskToStopSave(v.prompts, v.session.worker, v.saveProgress));
    }
  };
  EXPECT_EQ(v.Save(out()), SaveOutcome::Completed);
  EXPECT_EQ(v.prompts.yesNoQuestions, std::vector<std::string>{std::string(kQuestionStopSave)});

  // Yes: "Saving aborted.", the file as far as written, no verdict.
  fs::remove_all(out());
  v.prompts.messages.clear();
  v.prompts.yesNoAnswers = {true};
  asked = false;
  v.saveSink.onPiece = [&] {
    if (!asked && v.state.bytesSaved > 300) {
      asked = true;
      EXPECT_TRUE(AskToStopSave(v.prompts, v.session.worker, v.saveProgress));
    }
  };
  EXPECT_EQ(v.Save(out()), SaveOutcome::Stopped);
  EXPECT_EQ(v.prompts.messages, std::vector<std::string>{std::string(kMsgSavingAborted)});
  EXPECT_LT(fs::file_size(out() / "Music Collection" / "track01.mp3"), 2000000u);
}

// The 1 KiB-record NTFS volume, with records changed on purpose.
class NtfsRecordsFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path folder = test::TestDisksDir() / "ntfs-volumes";
    manifest_ = test::ReadJson(folder / "manifest.json");
    volume_ = manifest_["volumes"][0];
    v.LoadVolume(folder / volume_["file"].get<std::string>(), volume_["firstSector"], volume_["sectorCount"], "NTFS");
  }

  std::span<std::uint8_t> Record(const std::string& path) {
    for (const Json& entry : volume_["entries"]) {
      if (entry["path"] != path) continue;
      const std::uint64_t mft = volume_["firstSector"].get<std::uint64_t>() * 512 +
                                volume_["mftCluster"].get<std::uint64_t>() * volume_["sectorsPerCluster"].get<std::uint64_t>() * 512;
      const std::uint64_t bytes = volume_["recordBytes"];
      return std::span(v.disk->bytes).subspan(mft + entry["record"].get<std::uint64_t>() * bytes, bytes);
    }
    ADD_FAILURE() << "no entry " << path;
    return {};
  }

  // Where the value of the record's first attribute of `type` lies.
  std::size_t AttributeAt(std::span<std::uint8_t> record, std::uint32_t type) {
    AttributeWalk walk{ByteView(record.data(), record.size())};
    while (const auto attribute = walk.Next()) {
      if (attribute->type() == type) return attribute->offsetInRecord();
    }
    ADD_FAILURE() << "no attribute " << type;
    return 0;
  }

  // Gives every $FILE_NAME of the record the name `name` (no longer than
  // the one it has).
  void Rename(const std::string& path, std::u16string_view name) {
    auto record = Record(path);
    AttributeWalk walk{ByteView(record.data(), record.size())};
    while (const auto attribute = walk.Next()) {
      if (attribute->type() != AttributeType::FileName) continue;
      const std::size_t value = attribute->offsetInRecord() + attribute->bytes().u16le(0x14).value_or(0);
      record[value + 0x40] = static_cast<std::uint8_t>(name.size());
      for (std::size_t i = 0; i < name.size(); ++i) StoreU16LE(record, value + 0x42 + 2 * i, name[i]);
    }
  }

  Json manifest_;
  Json volume_;
  test::SavedVolume v;
};

TEST_F(NtfsRecordsFlowTest, HostileNamesStayInsideTheDestination) {
  Rename("small.txt", u"../evil.t");
  Rename("empty.txt", u".");
  Rename("Docs", u"..");
  ASSERT_TRUE(v.AnalyseLoaded());
  SelectEverything(v.session.store);
  const fs::path out = v.dir / "deep" / "out";
  EXPECT_EQ(v.Save(out), SaveOutcome::Completed);
  EXPECT_EQ(fs::file_size(out / ".._evil.t"), 300u);
  EXPECT_TRUE(fs::is_regular_file(out / "_"));
  EXPECT_TRUE(fs::is_regular_file(out / "__" / "letter.txt"));
  // Nothing beside the destination.
  std::set<std::string> beside;
  for (const auto& entry : fs::directory_iterator(v.dir / "deep")) beside.insert(entry.path().filename().string());
  EXPECT_EQ(beside, std::set<std::string>{"out"});
  EXPECT_FALSE(fs::exists(v.dir / "evil.t"));
}

TEST_F(NtfsRecordsFlowTest, RecordsThatCannotBeTrustedGiveNoFile) {
  ASSERT_TRUE(v.AnalyseLoaded());
  // After the analysis: one record without "FILE", one resident value that
  // would run past its record.
  std::memcpy(Record("deleted-big.bin").data(), "BAAD", 4);
  auto member = Record("Many/member-file-000.dat");
  const std::size_t data = AttributeAt(member, AttributeType::Data);
  StoreU16LE(member, data + 0x14, 0x3F0);
  SelectEverything(v.session.store);
  const fs::path out = v.dir / "out";
  EXPECT_EQ(v.Save(out), SaveOutcome::NotCompleted);
  EXPECT_FALSE(fs::exists(out / "deleted-big.bin"));
  EXPECT_FALSE(fs::exists(out / "Many" / "member-file-000.dat"));
  EXPECT_TRUE(fs::exists(out / "Many" / "member-file-079.dat"));

  // Only empty files selected: nothing to copy is all copied.
  SelectEverything(v.session.store, kFlagNo);
  ASSERT_TRUE(SelectPath(v.session.store, v.rootNumber(), "empty.txt"));
  v.saveSink.overallPercents.clear();
  EXPECT_EQ(v.Save(v.dir / "empty"), SaveOutcome::Completed);
  EXPECT_EQ(v.state.selectedBytes, 0u);
  EXPECT_EQ(v.saveSink.overallPercents, std::vector<int>{100});
}

}  // namespace
}  // namespace korv
