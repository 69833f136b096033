// The recovery log: the layout pinned byte for byte on a small store, a
// range log carried through a save and a load, the name cut, the path rule,
// a write that fails part way, and damaged logs (cut short at every byte,
// counts of 2^32 - 1, names past the end, impossible header fields), each
// refused in the system's words with nothing half loaded.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "app/session.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;

// Little-endian fields appended in order, with the places a test patches.
struct LogBytes {
  std::vector<std::uint8_t> bytes;

  LogBytes& U8(std::uint64_t value) { return Put(value, 1); }
  LogBytes& U16(std::uint64_t value) { return Put(value, 2); }
  LogBytes& U32(std::uint64_t value) { return Put(value, 4); }
  LogBytes& U64(std::uint64_t value) { return Put(value, 8); }
  LogBytes& Units(std::u16string_view text) {
    for (const char16_t unit : text) U16(unit);
    return *this;
  }
  LogBytes& Short(std::u16string_view text) { return U8(text.size()).Units(text); }
  LogBytes& Pair(std::u16string_view wide, std::string_view eightBit) {
    Short(wide).U8(eightBit.size());
    bytes.insert(bytes.end(), eightBit.begin(), eightBit.end());
    return *this;
  }
  std::size_t size() const { return bytes.size(); }

 private:
  LogBytes& Put(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
};

constexpr ItemTimes kTimes{1, 2, 3, 4, 5, 6};

// The times as a record holds them: words 5, 6, 3, 4, a field, words 1, 2.
LogBytes& Times(LogBytes& out, std::uint32_t between) {
  return out.U32(5).U32(6).U32(3).U32(4).U32(between).U32(1).U32(2);
}

BootParameters SomeBoot() {
  BootParameters boot;
  boot.sectorsPerFat = 1;
  boot.sectorsPerCluster = 8;
  boot.rootDirSectors = 3;
  boot.rootFirst = 4;
  boot.reservedSectors = 5;
  boot.cluster0Sector = 2048;
  boot.fat1FirstSector = 7;
  boot.fat2FirstSector = 9;
  boot.mftFirstSector = 10;
  boot.mftMirrFirstSector = 11;
  boot.sectorsPerMftRecord = 2;
  boot.sectorsPerIndexRecord = 8;
  return boot;
}

LogBytes& BootWords(LogBytes& out) {
  for (const std::uint32_t word : {1, 8, 3, 4, 5, 2048, 7, 9, 10, 11, 2, 8}) out.U32(word);
  return out;
}

// A session with the virtual disk "Disk0" selected, as the source page
// leaves it.
struct LogSession {
  LogSession() : session(prompts, SessionOptions{dir / "inventory.json", false}) {
    session.source.kind = SourceKind::VirtualDisk;
    session.range.selectedText = "Disk0";
  }

  // The header of `path`, then the lists as the analysis page loads them.
  std::optional<std::string_view> Load(const fs::path& path) {
    if (const auto refusal = session.LoadLogHeader(path)) return refusal;
    test::RecordingProgress sink;
    AnalysisProgress progress(sink);
    outcome = session.ReplayLog(progress);
    return std::nullopt;
  }

  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session;
  AnalysisOutcome outcome = AnalysisOutcome::NoWorker;
};

// A deleted-data run on NTFS: a folder, an 8-bit-named folder, a deleted
// file and one of its streams.
void FillDeletedNtfsRun(Session& session) {
  session.range.firstSector = 2048;
  session.range.endSector = 51200;
  session.range.fileSystem = FileSystemKind::Ntfs;
  session.range.partitionIndex = 0;
  session.bootParameters = SomeBoot();
  session.analysisParameters = AnalysisParameters{SomeBoot(), FileSystemKind::Ntfs};
  session.store.AddFolder(NewFolder{ItemName{{}, u"Docs"}, kFlagNo, NtfsRootNumber, 40, 0, kTimes});
  session.store.AddFolder(NewFolder{ItemName{"OLD", {}}, kFlagYes, NtfsRootNumber, 41, 0, kTimes});
  session.store.AddFile(NewFile{ItemName{{}, u"a.txt"}, kFlagYes, 10, 40, 42, 0, kTimes, {}});
  session.store.AddFile(NewFile{ItemName{{}, u"a.txt:s"}, kFlagYes, 3, 40, 42, 0, kTimes, u"s"});
}

LogBytes& HeaderStart(LogBytes& out, bool scanLists) {
  std::u16string title = u"Korvane Vireon";
  title.resize(31, u'\0');
  return out.Units(title).U16(scanLists ? 1 : 0).U32(5).Units(u"Disk0").U8(0).U8(0).U32(512).U8(0);
}

TEST(RecoveryLogLayout, ASmallStoreIsWrittenFieldByField) {
  LogSession log;
  FillDeletedNtfsRun(log.session);
  const fs::path path = log.dir / "case1.kvfr";
  ASSERT_FALSE(log.session.SaveLog(path, false));

  LogBytes expected;
  HeaderStart(expected, false).U8(0).Short(u"NTFS").Short(u"").U64(2048).U64(51200);
  BootWords(BootWords(expected)).Short(u"NTFS").U32(0).U32(0).U32(0).U32(0);
  expected.U32(2);
  Times(expected.U32(0), 0).U32(NtfsRootNumber).U64(0).U32(40).U8('D').U8('n').Pair(u"Docs", "");
  Times(expected.U32(0), 0).U32(NtfsRootNumber).U64(0).U32(41).U8('D').U8('y').Pair(u"", "OLD");
  expected.U32(2);
  Times(expected, 0).U64(10).U32(40).U64(0).U32(42).U8('F').U8('y').Pair(u"a.txt", "");
  Times(expected, 1).U64(3).U32(40).U64(0).U32(42).U8('F').U8('y').Pair(u"a.txt:s", "s");
  EXPECT_EQ(test::ReadFileBytes(path), expected.bytes);
}

TEST(RecoveryLogLayout, TheDeletedRunComesBackAsItWas) {
  LogSession saved;
  FillDeletedNtfsRun(saved.session);
  const fs::path path = saved.dir / "run.kvfr";
  ASSERT_FALSE(saved.session.SaveLog(path, false));

  LogSession loaded;
  ASSERT_FALSE(loaded.Load(path));
  EXPECT_EQ(loaded.outcome, AnalysisOutcome::DeletedRunEnded);
  const Session& s = loaded.session;
  EXPECT_EQ(s.wizard.mode, RecoveryMode::DeletedData);
  EXPECT_TRUE(s.runFlags.logLoaded);
  EXPECT_EQ(s.range.firstSector, 2048u);
  EXPECT_EQ(s.range.endSector, 51200u);
  EXPECT_EQ(s.range.fileSystem, FileSystemKind::Ntfs);
  EXPECT_EQ(s.bootParameters, SomeBoot());
  EXPECT_EQ(s.analysisParameters.boot, SomeBoot());
  ASSERT_EQ(s.store.folderCount(), 2);
  ASSERT_EQ(s.store.fileCount(), 2);
  EXPECT_EQ(s.store.totalFileBytes(), 13u);
  const FoundFolder& old = s.store.folder(*s.store.FindFolder(41, 0));
  EXPECT_EQ(old.name, u"OLD");
  EXPECT_TRUE(old.nameIsEightBit);
  EXPECT_EQ(old.deleted, kFlagYes);
  EXPECT_EQ(old.times, kTimes);
  const auto files = s.store.ChildFiles(40);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(s.store.file(files[1]).name, u"a.txt:s");
  EXPECT_EQ(s.store.file(files[1]).stream, u"s");
  EXPECT_TRUE(s.store.file(files[0]).stream.empty());
}

// A partition scan saved from the volume list: its volume, one scan
// directory and one scan file, and an empty store.
void FillRangeScan(Session& session) {
  session.wizard.rangeRun = true;
  session.range.firstSector = 0;
  session.range.endSector = 67584;
  session.range.fileSystem = FileSystemKind::Fat16;
  session.range.partitionText = "Partition - 1";
  VolumeCandidate volume;
  volume.fileSystem = FileSystemKind::Fat16;
  volume.firstSector = 2048;
  volume.endSector = 34816;
  volume.sectorsPerCluster = 4;
  volume.rootFirst = 2;
  session.volumeCandidates.push_back(volume);
  ScanDirRecord dir;
  dir.wideName = u"DIR";
  dir.times = kTimes;
  dir.parentNumber = 2;
  dir.ownNumber = 7;
  dir.recordSector = 4096;
  dir.indexLcn = 9;
  dir.volumeNumber = 1;
  session.scanLists.AddScanDir(dir);
  ScanFileRecord file;
  file.wideName = u"F.TXT";
  file.times = kTimes;
  file.size = 77;
  file.parentNumber = 7;
  file.recordSector = 5000;
  session.scanLists.AddScanFile(file);
  session.store.AddFolder(NewFolder{ItemName{"KEEP", {}}, kFlagNo, FatRootNumber, 3, 0, kTimes, 1});
  session.store.AddFile(NewFile{ItemName{"K.TXT", {}}, kFlagNo, 5, 3, 11, 0, kTimes, {}});
}

// Where the counts of the range log lie, found as its bytes are built.
struct RangeLogPlaces {
  std::size_t sourceCount, bytesPerSector, partition, candidateCount, dirCount, fileCount, folderCount, itemFileCount,
      lastNameCount;
};

LogBytes RangeLog(RangeLogPlaces& at) {
  LogBytes out;
  HeaderStart(out, true);
  at.sourceCount = 62 + 2;
  at.bytesPerSector = at.sourceCount + 4 + 10 + 2;
  at.partition = out.size();
  out.U8(0xFF).Short(u"FAT16").Short(u"Partition - 1").U64(0).U64(67584);
  BootWords(BootWords(out)).Short(u"UNKNOWN").U32(0).U32(1).U32(0).U32(0);
  at.candidateCount = out.size();
  out.U32(1).U64(34816).U64(2048).U32(4).U32(0).U32(0).U32(0).U32(0).U32(2).U32(0).U32(0);
  std::u16string name = u"FAT16";
  name.resize(10, u'\0');
  out.Units(name).U32(0).U32(0);
  at.dirCount = out.size();
  Times(out.U32(1), 1).U32(9).U32(2).U32(4096).U32(9).U32(7).U8('n').Pair(u"DIR", "");
  at.fileCount = out.size();
  Times(out.U32(1), 0).U64(77).U32(7).U64(5000).U32(0).U8('n').Pair(u"F.TXT", "");
  at.folderCount = out.size();
  Times(out.U32(1).U32(0), 1).U32(FatRootNumber).U64(0).U32(3).U8('D').U8('n').Pair(u"", "KEEP");
  at.itemFileCount = out.size();
  out.U32(1);
  Times(out, 0).U64(5).U32(3).U64(0).U32(11).U8('F').U8('n');
  at.lastNameCount = out.size();
  out.Pair(u"", "K.TXT");
  return out;
}

class RangeLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session().bootParameters = SomeBoot();
    session().analysisParameters.boot = SomeBoot();
    FillRangeScan(session());
    ASSERT_FALSE(session().SaveLog(path(), true));
    good = RangeLog(at);
  }
  Session& session() { return saved.session; }
  fs::path path() const { return saved.dir / "range.kvfr"; }

  // Loading `bytes` into a fresh session refuses them with `message`, and
  // leaves the session's store and lists empty.
  void ExpectRefused(const std::vector<std::uint8_t>& bytes, std::string_view message) {
    const fs::path damaged = saved.dir / "damaged.kvfr";
    test::WriteFileBytes(damaged, bytes);
    LogSession loaded;
    const auto refusal = loaded.Load(damaged);
    const std::string shown = refusal                           ? std::string(*refusal)
                              : loaded.prompts.messages.empty() ? ""
                                                                : loaded.prompts.messages.back();
    EXPECT_EQ(shown, message);
    EXPECT_EQ(loaded.session.store.folderCount(), 0);
    EXPECT_EQ(loaded.session.store.fileCount(), 0);
    EXPECT_TRUE(loaded.session.scanLists.dirs.empty());
    EXPECT_TRUE(loaded.session.scanLists.files.empty());
    if (refusal) {
      EXPECT_FALSE(loaded.session.runFlags.logLoaded) << "a refused header changed the session";
    }
  }

  std::vector<std::uint8_t> Patched(std::size_t offset, std::uint64_t value, int width) const {
    std::vector<std::uint8_t> bytes = good.bytes;
    for (int i = 0; i < width; ++i)
      bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
  }

  LogSession saved;
  LogBytes good;
  RangeLogPlaces at{};
};

TEST_F(RangeLogTest, IsWrittenWithItsVolumesAndScanLists) { EXPECT_EQ(test::ReadFileBytes(path()), good.bytes); }

TEST_F(RangeLogTest, LeadsBackToTheVolumeListWithEverythingRestored) {
  LogSession loaded;
  ASSERT_FALSE(loaded.Load(path()));
  EXPECT_EQ(loaded.outcome, AnalysisOutcome::CloseForVolumeList);
  const Session& s = loaded.session;
  EXPECT_EQ(s.wizard.mode, RecoveryMode::PartitionData);
  EXPECT_TRUE(s.wizard.rangeRun);
  EXPECT_EQ(s.runFlags.rangePhase, 1);
  EXPECT_EQ(s.volumeCandidates, session().volumeCandidates);
  EXPECT_EQ(s.range.partitionText, "Partition - 1");
  EXPECT_EQ(s.range.partitionIndex, -1);
  ASSERT_EQ(s.scanLists.dirs.size(), 1u);
  EXPECT_EQ(s.scanLists.dirs[0].wideName, u"DIR");
  EXPECT_EQ(s.scanLists.dirs[0].indexLcn, 9u);
  EXPECT_EQ(s.scanLists.dirs[0].volumeNumber, 1);
  ASSERT_EQ(s.scanLists.files.size(), 1u);
  EXPECT_EQ(s.scanLists.files[0].recordSector, 5000u);
  EXPECT_EQ(s.store.folderCount(), 1);
  EXPECT_EQ(s.store.fileCount(), 1);
}

TEST_F(RangeLogTest, CutShortAnywhereIsRefusedWithNothingLoaded) {
  for (std::size_t length = 0; length < good.size(); ++length) {
    SCOPED_TRACE(length);
    ExpectRefused(
        std::vector<std::uint8_t>(good.bytes.begin(), good.bytes.begin() + static_cast<std::ptrdiff_t>(length)),
        kMsgLogInvalid);
  }
}

TEST_F(RangeLogTest, CountsTheFileCannotHoldAreRefusedBeforeAnythingIsMade) {
  for (const std::size_t offset :
       {at.sourceCount, at.candidateCount, at.dirCount, at.fileCount, at.folderCount, at.itemFileCount}) {
    SCOPED_TRACE(offset);
    ExpectRefused(Patched(offset, 0xFFFFFFFF, 4), kMsgLogInvalid);
  }
  // A name longer than what is left of the file.
  ExpectRefused(Patched(at.lastNameCount, 255, 1), kMsgLogInvalid);
}

TEST_F(RangeLogTest, ImpossibleHeaderFieldsAreRefused) {
  for (const std::uint32_t bytesPerSector : {1u, 513u, 0x80000000u}) {
    ExpectRefused(Patched(at.bytesPerSector, bytesPerSector, 4), kMsgLogInvalid);
  }
  ExpectRefused(Patched(at.partition, 30, 1), kMsgLogInvalid);
  ExpectRefused(Patched(at.partition - 1, 200, 1), kMsgLogInvalid);  // disk number
  // Scan lists flagged in a log of no range run would be read misaligned.
  const std::size_t rangeRunWord = at.candidateCount - 12;
  ExpectRefused(Patched(rangeRunWord, 0, 4), kMsgLogInvalid);
  // A range whose end in bytes passes 2^64 (four words, the analysed name
  // "UNKNOWN" and the two boot blocks lie between it and the volumes).
  const std::size_t endSector = at.candidateCount - 16 - (1 + 2 * 7) - 2 * 48 - 8;
  ExpectRefused(Patched(endSector, ~0ULL >> 4, 8), kMsgLogInvalid);
  ExpectRefused(Patched(62, 7, 2), kMsgLogInvalid);  // a flag neither 0 nor 1
}

TEST_F(RangeLogTest, ALogOfAnotherDiskIsRefused) {
  LogSession loaded;
  loaded.session.range.selectedText = "Disk1";
  EXPECT_EQ(loaded.session.LoadLogHeader(path()), kMsgLogWrongDevice);
  EXPECT_FALSE(loaded.session.runFlags.logLoaded);
  loaded.session.range.selectedText = "Disk0";
  loaded.session.source.kind = SourceKind::PhysicalDisk;
  EXPECT_EQ(loaded.session.LoadLogHeader(path()), kMsgLogWrongDevice);
}

TEST(RecoveryLogFiles, MissingOrUnreadableLogsCannotBeOpened) {
  LogSession log;
  EXPECT_EQ(log.session.LoadLogHeader(log.dir / "none.kvfr"), kMsgLogOpenFailed);
  EXPECT_EQ(log.session.LoadLogHeader(log.dir.path()), kMsgLogOpenFailed);
  EXPECT_EQ(log.session.LoadLogHeader(""), kMsgLogNoPath);
  EXPECT_EQ(log.session.SaveLog("", false), kMsgLogNoPath);
  EXPECT_EQ(log.session.SaveLog(log.dir.path() / "", false), kMsgLogNoPath);
  EXPECT_EQ(log.session.SaveLog(log.dir / "no-such-folder" / "x", false), kMsgLogCreateFailed);
}

TEST(RecoveryLogFiles, TheTypedNameGetsTheExtensionAndNothingIsUpperCased) {
  EXPECT_EQ(RecoveryLogPath("/Some/Folder/case1"), fs::path("/Some/Folder/case1.kvfr"));
  EXPECT_EQ(RecoveryLogPath("/a/run.KVFR"), fs::path("/a/run.KVFR"));
  EXPECT_EQ(RecoveryLogPath("/a/run.kvfr.txt"), fs::path("/a/run.kvfr.txt.kvfr"));
  EXPECT_EQ(RecoveryLogPath("/a/.kvfr"), fs::path("/a/.kvfr.kvfr"));
}

// A full disk, as the file-size limit gives it: the log is not left behind,
// whole or in part, under any name.
TEST(RecoveryLogFiles, AShortWriteLeavesNothingBehind) {
  LogSession log;
  for (int i = 0; i < 2000; ++i) {
    log.session.store.AddFile(NewFile{ItemName{{}, u"a file with a long name"}, kFlagNo, 1, 5, 0, 0, kTimes, {}});
  }
  const fs::path folder = log.dir / "out";
  fs::create_directory(folder);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const auto refusal = log.session.SaveLog(folder / "full", false);
    ::_exit(refusal == kMsgLogCreateFailed ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST(RecoveryLogNames, LongNamesAreCutAt255UnitsWithoutSplittingAPair) {
  const std::u16string exact(255, u'n');
  EXPECT_EQ(CutLogName(exact), exact);
  EXPECT_EQ(CutLogName(std::u16string(300, u'n')).size(), 255u);
  std::u16string pairAtTheCut(254, u'n');
  pairAtTheCut += u"\U0001F600tail";
  EXPECT_EQ(CutLogName(pairAtTheCut), std::u16string(254, u'n'));

  LogSession saved;
  saved.session.store.AddFolder(NewFolder{ItemName{{}, exact}, kFlagNo, NtfsRootNumber, 40, 0, kTimes});
  saved.session.store.AddFolder(NewFolder{ItemName{{}, pairAtTheCut}, kFlagNo, NtfsRootNumber, 41, 0, kTimes});
  const std::string eightBit(300, '\xA9');  // a Windows-1252 letter whose byte continues UTF-8
  saved.session.store.AddFolder(NewFolder{ItemName{eightBit, {}}, kFlagNo, NtfsRootNumber, 42, 0, kTimes});
  const fs::path path = saved.dir / "names.kvfr";
  ASSERT_FALSE(saved.session.SaveLog(path, false));
  LogSession loaded;
  ASSERT_FALSE(loaded.Load(path));
  const Store& store = loaded.session.store;
  EXPECT_EQ(store.folder(*store.FindFolder(40, 0)).name, exact);
  EXPECT_EQ(store.folder(*store.FindFolder(41, 0)).name, std::u16string(254, u'n'));
  EXPECT_EQ(store.folder(*store.FindFolder(42, 0)).name, std::u16string(255, u'\u00A9'));
}

}  // namespace
}  // namespace korv
