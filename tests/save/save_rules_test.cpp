// The rules of a save that need no disk: the filters and their messages,
// host names made from found names, saved times, the progress texts, and
// which folders the walk visits.
#include <gtest/gtest.h>

#include <ctime>

#include "save/file_time.h"
#include "save/result_selection.h"
#include "save/safe_names.h"
#include "save/save_filters.h"
#include "save/save_progress.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;

TEST(SaveFiltersTest, ExtensionsAreCheckedInOrderWithTheirMessages) {
  SaveFilters filters;
  EXPECT_EQ(filters.AddExtension("jpeg1"), std::nullopt);
  EXPECT_EQ(filters.AddExtension("document"), kMsgExtensionTooLong);
  EXPECT_EQ(filters.AddExtension(" x"), kMsgExtensionBlank);
  EXPECT_EQ(filters.AddExtension(""), std::nullopt);
  EXPECT_EQ(filters.AddExtension(".bak"), kMsgExtensionDot);
  EXPECT_EQ(filters.AddExtension("*x"), kMsgExtensionStar);
  EXPECT_EQ(filters.AddExtension("XLS"), std::nullopt);
  EXPECT_EQ(filters.AddExtension("XLS"), kMsgExtensionExists);
  EXPECT_EQ(filters.AddExtension("xls"), std::nullopt);  // the list's comparison is exact
  EXPECT_EQ(filters.extensions, (std::vector<std::string>{"xls", "XLS", "jpeg1"}));
  filters.RemoveExtension(1);
  EXPECT_EQ(filters.extensions, (std::vector<std::string>{"xls", "jpeg1"}));

  SaveFilters full;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(full.AddExtension("e" + std::to_string(i)), std::nullopt);
  EXPECT_EQ(full.AddExtension("more"), kMsgTooManyExtensions);
  EXPECT_EQ(full.AddExtension("toolongtoo"), kMsgTooManyExtensions);  // the count is checked first
}

FoundFile FatFile(std::u16string name, int year, int month, int day, bool deleted = false) {
  FoundFile file;
  file.name = std::move(name);
  file.deleted = deleted ? kFlagYes : kFlagNo;
  file.times[0] = static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
  return file;
}

TEST(SaveFiltersTest, DeletedChoiceExtensionsAndDateRangesNarrowTheFiles) {
  SaveFilters filters;
  const FoundFile report = FatFile(u"report.doc", 2010, 2, 15);
  const FoundFile readme = FatFile(u"README", 2010, 2, 15, true);
  EXPECT_TRUE(PassesSaveFilters(filters, readme, FileSystemKind::Fat32));

  filters.deletedChoice = DeletedChoice::Exclude;
  EXPECT_TRUE(PassesSaveFilters(filters, report, FileSystemKind::Fat32));
  EXPECT_FALSE(PassesSaveFilters(filters, readme, FileSystemKind::Fat32));
  filters.deletedChoice = DeletedChoice::DeletedOnly;
  EXPECT_FALSE(PassesSaveFilters(filters, report, FileSystemKind::Fat32));
  EXPECT_TRUE(PassesSaveFilters(filters, readme, FileSystemKind::Fat32));
  filters.deletedChoice = DeletedChoice::Include;

  filters.extensions = {"DOC"};
  EXPECT_TRUE(PassesSaveFilters(filters, report, FileSystemKind::Fat32));
  EXPECT_FALSE(PassesSaveFilters(filters, readme, FileSystemKind::Fat32));
  filters.extensions = {"readme"};  // no dot: the whole name is the extension
  EXPECT_TRUE(PassesSaveFilters(filters, readme, FileSystemKind::Fat32));
  filters.extensions.clear();

  filters.SetDateRange(DateKind::Modified, {2010, 2, 1}, {2010, 2, 28});
  EXPECT_TRUE(PassesSaveFilters(filters, report, FileSystemKind::Fat32));
  EXPECT_FALSE(PassesSaveFilters(filters, FatFile(u"a", 2010, 3, 1), FileSystemKind::Fat32));
  // Compared as year, month and day: 31 January is not 1 February.
  EXPECT_FALSE(PassesSaveFilters(filters, FatFile(u"a", 2010, 1, 31), FileSystemKind::Fat32));
  EXPECT_TRUE(PassesSaveFilters(filters, FatFile(u"a", 2010, 2, 28), FileSystemKind::Fat32));

  // NTFS times as stored: 2010-02-15 12:00 UTC.
  FoundFile ntfs;
  const std::uint64_t t = (1266235200ULL + 11644473600ULL) * 10000000ULL;
  ntfs.times[0] = static_cast<std::uint32_t>(t);
  ntfs.times[1] = static_cast<std::uint32_t>(t >> 32);
  EXPECT_TRUE(PassesSaveFilters(filters, ntfs, FileSystemKind::Ntfs));
  filters.SetDateRange(DateKind::Created, {2011, 1, 1}, {2011, 12, 31});
  EXPECT_FALSE(PassesSaveFilters(filters, ntfs, FileSystemKind::Ntfs));

  // The whole span of the lists is no range at all.
  filters.SetDateRange(DateKind::Created, {1970, 1, 1}, {2030, 12, 31});
  filters.SetDateRange(DateKind::Modified, {1970, 1, 1}, {2030, 12, 31});
  EXPECT_FALSE(filters.dateRange(DateKind::Modified).on());
  EXPECT_EQ(filters, SaveFilters{});
}

TEST(SafeNamesTest, FoundNamesNeverLeaveTheirFolder) {
  EXPECT_EQ(SafeHostName(std::u16string(u"a/b\0c", 5), 1), "a_b_c");
  EXPECT_EQ(SafeHostName(u".", 1), "_");
  EXPECT_EQ(SafeHostName(u"..", 1), "__");
  EXPECT_EQ(SafeHostName(u"../../evil", 1), ".._.._evil");
  EXPECT_EQ(SafeHostName(u"", 42), "NoName42");
  EXPECT_EQ(SafeHostName(u"Données", 1), "Données");

  // 300 bytes of two-byte letters: cut on a letter, extension kept.
  const std::string longName = SafeHostName(std::u16string(150, u'é') + u".txt", 1);
  EXPECT_LE(longName.size(), kMaxHostNameBytes);
  EXPECT_TRUE(longName.ends_with("é.txt"));
  EXPECT_EQ(ShortenName(std::string(300, 'x')), std::string(255, 'x'));

  EXPECT_TRUE(LiesInside("/dest", "/dest/a/b"));
  EXPECT_FALSE(LiesInside("/dest", "/dest/../etc/passwd"));
  EXPECT_FALSE(LiesInside("/dest", "/dest"));
  EXPECT_FALSE(LiesInside("/dest", "/destination/a"));
}

// A stream item keeps its ":" wherever names may hold one; where they may
// not (FAT, exFAT), it becomes "_". Other items are named as they stand.
TEST(SafeNamesTest, StreamItemsTakeAnUnderscoreWhereNamesCannotHoldColons) {
  struct Case {
    std::u16string name;
    std::u16string stream;
    bool colonsAllowed;
    std::string saved;
  };
  const std::vector<Case> cases = {
      {u"notes.txt:meta", u"meta", true, "notes.txt:meta"},
      {u"notes.txt:meta", u"meta", false, "notes.txt_meta"},
      {u"a:b.txt:Zone.Identifier", u"Zone.Identifier", false, "a_b.txt_Zone.Identifier"},
      {u"a:b.txt", u"", false, "a:b.txt"},
      {u"x/y:s", u"s", false, "x_y_s"},
  };
  for (const Case& c : cases) {
    FoundFile file;
    file.name = c.name;
    file.stream = c.stream;
    EXPECT_EQ(SavedFileName(file, c.colonsAllowed), c.saved) << c.saved;
  }
}

TEST(SafeNamesTest, RenameNumbersTheNameBeforeItsExtension) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "a.txt", {1});
  SaveTarget target{dir.path(), "a.txt"};
  MakeUniqueName(target);
  EXPECT_EQ(target.name, "a0.txt");
  test::WriteFileBytes(target.path(), {1});
  target.name = "a.txt";
  MakeUniqueName(target);
  EXPECT_EQ(target.name, "a1.txt");

  test::WriteFileBytes(dir / "README", {1});
  SaveTarget plain{dir.path(), "README"};
  MakeUniqueName(plain);
  EXPECT_EQ(plain.name, "README0");

  EXPECT_TRUE(CreateFolderPath(dir / "x" / "y" / "z"));
  EXPECT_FALSE(CreateFolderPath(dir / "README" / "sub"));  // a file is in the way
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

std::uint16_t FatDate(int year, int month, int day) {
  return static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
}
std::uint16_t FatTime(int hour, int minute, int twoSeconds) {
  return static_cast<std::uint16_t>(hour << 11 | minute << 5 | twoSeconds);
}

TEST(SavedTimeTest, FatTimesAreLocalWithImpossibleFieldsMadeValid) {
  EXPECT_EQ(FatSavedTime(FatDate(2021, 6, 15), FatTime(13, 45, 15)).seconds, LocalTime(2021, 6, 15, 13, 45));
  EXPECT_EQ(FatSavedTime(FatDate(2021, 1, 10), FatTime(8, 0, 0)).seconds, LocalTime(2021, 1, 10, 8, 0));
  EXPECT_EQ(FatSavedTime(FatDate(2021, 6, 0), FatTime(31, 63, 0)).seconds, LocalTime(2021, 6, 1, 23, 59));
  EXPECT_EQ(FatSavedTime(FatDate(2021, 2, 30), 0).seconds, LocalTime(2021, 2, 28, 0, 0));
  EXPECT_EQ(FatSavedTime(FatDate(2024, 2, 30), 0).seconds, LocalTime(2024, 2, 29, 0, 0));
  EXPECT_EQ(FatSavedTime(FatDate(2021, 0, 5), 0).seconds, LocalTime(2021, 12, 5, 0, 0));
  EXPECT_EQ(FatSavedTime(FatDate(2021, 15, 5), 0).seconds, LocalTime(2021, 12, 5, 0, 0));

  // NTFS times are UTC: 2010-02-15 12:00:00.5 UTC.
  const std::uint64_t t = (1266235200ULL + 11644473600ULL) * 10000000ULL + 5000000;
  EXPECT_EQ(NtfsSavedTime(t), (SavedTime{1266235200, 500000000}));
  EXPECT_EQ(NtfsCalendarDate(t), (CalendarDate{2010, 2, 15}));
}

TEST(SaveProgressTest, SizesPercentagesAndTimesAsTheDialogShowsThem) {
  EXPECT_EQ(SaveSizeText(0), "0.000 MB");
  EXPECT_EQ(SaveSizeText(1ULL << 30, kSizeSuffixProgress), "1024.000 MB size in");
  EXPECT_EQ(SaveSizeText((1ULL << 30) + (1ULL << 29), kSizeSuffixEvaluation), "1.500 GB size");
  EXPECT_EQ(SaveSizeText(1ULL << 40), "1024.000 GB");
  EXPECT_EQ(SaveSizeText(3ULL << 40), "3.000 TB");
  EXPECT_EQ(PercentOf(0, 0), 100);
  EXPECT_EQ(PercentOf(1, 3), 33);
  EXPECT_EQ(PercentOf(5, 3), 100);

  class Texts final : public SaveProgressSink {
   public:
    std::map<SaveField, std::string> last;
    void SetText(SaveField field, std::string_view text) override { last[field] = std::string(text); }
    void SetFilePercent(int) override {}
    void SetOverallPercent(int) override {}
  } sink;
  SaveProgress progress(sink);
  auto now = SaveProgress::Clock::time_point{};
  progress.SetClock([&] { return now; });
  progress.Start();
  progress.Refresh(100, 100, 100, 1000);
  EXPECT_EQ(sink.last[SaveField::TimeElapsed], kNoTimeYet);
  EXPECT_EQ(sink.last[SaveField::TimeLeft], kNoTimeYet);

  // 70 s, of which 5 paused: 65 s for 1 MiB of 4 MiB.
  progress.Pause();
  now += std::chrono::seconds(5);
  progress.Resume();
  now += std::chrono::seconds(65);
  progress.Refresh(1 << 20, 1 << 20, 1 << 20, 4 << 20);
  EXPECT_EQ(sink.last[SaveField::TimeElapsed], "1 Min 5 Sec");
  EXPECT_EQ(sink.last[SaveField::TimeLeft], "3 Min 15 Sec");
  EXPECT_EQ(sink.last[SaveField::DataCopied], "1.000 MB size in");

  // Hidden details are not refreshed.
  progress.HideDetails();
  progress.Refresh(2 << 20, 2 << 20, 2 << 20, 4 << 20);
  EXPECT_EQ(sink.last[SaveField::DataCopied], "1.000 MB size in");
}

// root ─ A ─ A1 ─ A1x
//      │    └ A2
//      └ B
struct SmallTree {
  Store store;
  FolderId a, a1, a2, a1x, b;
  FileId fileInA1x, fileInB, fileInRoot;

  SmallTree() {
    a = store.AddFolder(NewFolder{ItemName{"A", {}}, kFlagNo, 5, 10}).id;
    b = store.AddFolder(NewFolder{ItemName{"B", {}}, kFlagNo, 5, 20}).id;
    a1 = store.AddFolder(NewFolder{ItemName{"A1", {}}, kFlagNo, 10, 11}).id;
    a2 = store.AddFolder(NewFolder{ItemName{"A2", {}}, kFlagNo, 10, 12}).id;
    a1x = store.AddFolder(NewFolder{ItemName{"A1x", {}}, kFlagNo, 11, 13}).id;
    fileInA1x = store.AddFile(NewFile{ItemName{"deep.txt", {}}, kFlagNo, 1, 13, 100});
    fileInB = store.AddFile(NewFile{ItemName{"b.txt", {}}, kFlagNo, 1, 20, 101});
    fileInRoot = store.AddFile(NewFile{ItemName{"root.txt", {}}, kFlagNo, 1, 5, 102});
  }

  std::vector<std::string> Walked() const {
    std::vector<std::string> paths;
    WalkTickedFolders(store, 5, [&](const TreeFolder& node) {
      paths.push_back(node.relativePath.string());
      return true;
    });
    return paths;
  }
};

TEST(ResultSelectionTest, TicksFollowTheTreeAndTheWalkVisitsTickedBranchesOnly) {
  SmallTree tree;
  SelectFile(tree.store, 5, tree.fileInA1x);
  EXPECT_EQ(tree.Walked(), (std::vector<std::string>{"", "A", "A/A1", "A/A1/A1x"}));
  SelectFile(tree.store, 5, tree.fileInA1x, kFlagNo);
  EXPECT_EQ(tree.Walked(), (std::vector<std::string>{""}));

  EXPECT_TRUE(SelectPath(tree.store, 5, "A"));
  EXPECT_EQ(tree.Walked(), (std::vector<std::string>{"", "A", "A/A1", "A/A1/A1x", "A/A2"}));
  EXPECT_EQ(tree.store.file(tree.fileInA1x).selected, kFlagYes);
  EXPECT_EQ(tree.store.file(tree.fileInB).selected, kFlagNo);

  // A ticked folder below an unticked one is not visited.
  SelectFolderTree(tree.store, 5, tree.a1, kFlagNo);
  tree.store.SetFolderSelected(tree.a1x, kFlagYes);
  EXPECT_EQ(tree.Walked(), (std::vector<std::string>{"", "A", "A/A2"}));
  // Unticking the last ticked child unticks the parent.
  SelectFolderTree(tree.store, 5, tree.a2, kFlagNo);
  EXPECT_EQ(tree.store.folder(tree.a).selected, kFlagNo);

  EXPECT_TRUE(SelectPath(tree.store, 5, "B/b.txt"));
  EXPECT_FALSE(SelectPath(tree.store, 5, "B/none.txt"));
  SelectEverything(tree.store);
  EXPECT_EQ(tree.Walked().size(), 6u);
}

TEST(ResultSelectionTest, FoldersWhoseNumbersLoopAreVisitedOnce) {
  Store store;
  // 30 holds 31, and 31 claims to hold 30 as well as itself.
  const FolderId outer = store.AddFolder(NewFolder{ItemName{"outer", {}}, kFlagNo, 5, 30}).id;
  store.AddFolder(NewFolder{ItemName{"inner", {}}, kFlagNo, 30, 31});
  store.AddFolder(NewFolder{ItemName{"self", {}}, kFlagNo, 31, 31});
  store.AddFolder(NewFolder{ItemName{"root again", {}}, kFlagNo, 31, 5});
  SelectEverything(store);
  int visits = 0;
  WalkTickedFolders(store, 5, [&](const TreeFolder&) { return ++visits < 100; });
  EXPECT_LE(visits, 5);
  SelectFolderTree(store, 5, outer, kFlagNo);  // ends too
}

}  // namespace
}  // namespace korv
