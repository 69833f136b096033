// Searching the found items: the name rules, the deleted, date and size
// rules, and the worker's walk with its batches, stop and pause.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "search/name_pattern.h"
#include "search/search_criteria.h"
#include "search/search_worker.h"

namespace korv {
namespace {

struct NameCase {
  std::u16string pattern;
  std::u16string name;
  bool matches;
};

class NamePatternTest : public testing::TestWithParam<NameCase> {};

TEST_P(NamePatternTest, MatchesAsTheNameRulesSay) {
  const NameCase& c = GetParam();
  EXPECT_EQ(NamePattern(c.pattern).Matches(c.name), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, NamePatternTest,
    testing::Values(
        // Typed in any case; the extension is the whole end of the name.
        NameCase{u"*.XLS", u"report.xls", true}, NameCase{u"*.xls", u"BOOK.XLS", true},
        NameCase{u"*.XLS", u"a.xlsx", false},
        // Without wildcards: anywhere in the name, never in a shorter one.
        NameCase{u"BOOK", u"MyBook.doc", true}, NameCase{u"book.doc", u"book", false},
        NameCase{u"ok", u"ok", true},
        // Empty on either side matches nothing; "*" and "*.*" everything else.
        NameCase{u"", u"report.xls", false}, NameCase{u"*", u"", false}, NameCase{u"*", u"anything", true},
        NameCase{u"*.*", u"no extension", true},
        // "?" is one character: a surrogate pair counts as one.
        NameCase{u"r?port.*", u"REPORT.txt", true}, NameCase{u"??", u"abc", false},
        NameCase{u"?.txt", u"\U0001F600.txt", true},
        // Several stars with literal parts between them.
        NameCase{u"*a*b*c", u"xaybzc", true}, NameCase{u"*a*b*c", u"xaybz", false},
        NameCase{u"a*b*c*d", u"abcd", true}, NameCase{u"a**d", u"ad", true}, NameCase{u"*2014*.doc", u"plan-2014-v2.doc", true},
        NameCase{u"*2014*.doc", u"plan-2014-v2.docx", false}, NameCase{u"a*", u"ba", false},
        // The parts at either end may not overlap; "?" may sit at an end.
        NameCase{u"a*a", u"a", false}, NameCase{u"a*a", u"aa", true}, NameCase{u"*ab*ab", u"abab", true},
        NameCase{u"*ab*ab", u"aab", false}, NameCase{u"?*?", u"a", false}, NameCase{u"?*?", u"ab", true},
        NameCase{u"*?", u"x", true}, NameCase{u"*a?", u"xab", true}, NameCase{u"*.?", u"a.\U0001F600", true},
        // Latin-1 letters fold too.
        NameCase{u"\u00E9t\u00E9*", u"\u00C9T\u00C9.txt", true}));

// A matcher that retried every way of spreading the name over the stars
// would take 2^40 steps here; this one takes at most 255 x 41.
TEST(NamePatternTest, ManyStarsOverALongNameEndQuickly) {
  std::u16string pattern;
  for (int i = 0; i < 20; ++i) pattern += u"*a";
  pattern += u"*b";
  const NamePattern compiled(pattern);
  EXPECT_FALSE(compiled.Matches(std::u16string(255, u'a')));
  EXPECT_TRUE(compiled.Matches(std::u16string(254, u'a') + u"b"));
}

std::uint32_t FatDateWord(int year, int month, int day) {
  return static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
}

// Ticks of an NTFS time at a UTC second since 1970.
std::uint64_t NtfsTicks(std::int64_t unixSeconds) {
  return static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
}

FoundFile File(std::u16string name, std::uint64_t size = 0, bool deleted = false) {
  FoundFile file;
  file.name = std::move(name);
  file.size = size;
  file.deleted = deleted ? kFlagYes : kFlagNo;
  return file;
}

SearchCriteria ByName(std::u16string name) {
  SearchCriteria criteria;
  criteria.name = std::move(name);
  return criteria;
}

SearchCriteria Everything() { return ByName(u"*"); }

struct SizeCase {
  SizeBounds bounds;
  std::uint64_t size;
  bool matches;
};

class SizeRuleTest : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeRuleTest, BoundsAreInclusiveAndAnUpperZeroSetsNoLimit) {
  SearchCriteria criteria = Everything();
  criteria.size = GetParam().bounds;
  const SearchMatcher matcher(criteria, FileSystemKind::Ntfs);
  EXPECT_EQ(matcher.MatchesFile(File(u"f.bin", GetParam().size)), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Bounds, SizeRuleTest,
                         testing::Values(SizeCase{SizeBoundsOf(0, 0, SizeUnit::Bytes), 5ULL << 30, true},
                                         SizeCase{SizeBoundsOf(0, 0, SizeUnit::Bytes), 0, true},
                                         SizeCase{SizeBoundsOf(1, 2, SizeUnit::KB), 1023, false},
                                         SizeCase{SizeBoundsOf(1, 2, SizeUnit::KB), 1024, true},
                                         SizeCase{SizeBoundsOf(1, 2, SizeUnit::KB), 2048, true},
                                         SizeCase{SizeBoundsOf(1, 2, SizeUnit::KB), 2049, false},
                                         SizeCase{SizeBoundsOf(100, 100, SizeUnit::Bytes), 100, true},
                                         SizeCase{SizeBoundsOf(100, 100, SizeUnit::Bytes), 101, false},
                                         // The largest bounds the dialog takes do not wrap.
                                         SizeCase{SizeBoundsOf(0, 0xFFFFFFFF, SizeUnit::GB), 1ULL << 61, true}));

TEST(SearchMatcherTest, WithTheSizeBoxTickedNoFolderIsSearched) {
  FoundFolder folder;
  folder.name = u"docs";
  SearchCriteria criteria = Everything();
  EXPECT_TRUE(SearchMatcher(criteria, FileSystemKind::Ntfs).MatchesFolder(folder));
  criteria.size = SizeBounds{};
  const SearchMatcher sized(criteria, FileSystemKind::Ntfs);
  EXPECT_FALSE(sized.searchesFolders());
  EXPECT_FALSE(sized.MatchesFolder(folder));
}

TEST(SearchMatcherTest, TheDeletedChoiceAppliesToFoldersAndFiles) {
  FoundFolder deletedFolder;
  deletedFolder.name = u"old";
  deletedFolder.deleted = kFlagYes;
  const FoundFile liveFile = File(u"new.txt");
  struct Case {
    std::optional<DeletedChoice> choice;
    bool folder;
    bool file;
  };
  for (const Case& c : {Case{std::nullopt, true, true}, Case{DeletedChoice::Include, true, true},
                        Case{DeletedChoice::Exclude, false, true}, Case{DeletedChoice::DeletedOnly, true, false}}) {
    SearchCriteria criteria = Everything();
    criteria.deleted = c.choice;
    const SearchMatcher matcher(criteria, FileSystemKind::Fat32);
    EXPECT_EQ(matcher.MatchesFolder(deletedFolder), c.folder);
    EXPECT_EQ(matcher.MatchesFile(liveFile), c.file);
  }
}

struct DateCase {
  const char* what;
  FileSystemKind fileSystem;
  ItemTimes times;
  DateBounds bounds;
  bool matches;
};

class DateRuleTest : public testing::TestWithParam<DateCase> {};

TEST_P(DateRuleTest, DatesCompareByYearMonthAndDay) {
  const DateCase& c = GetParam();
  SearchCriteria criteria = Everything();
  criteria.date = c.bounds;
  FoundFile file = File(u"dated.txt");
  file.times = c.times;
  EXPECT_EQ(SearchMatcher(criteria, c.fileSystem).MatchesFile(file), c.matches) << c.what;
}

ItemTimes FatCreated(int year, int month, int day) { return {0, 0, FatDateWord(year, month, day), 0, 0, 0}; }
ItemTimes NtfsModified(std::int64_t unixSeconds) {
  const std::uint64_t ticks = NtfsTicks(unixSeconds);
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32), 0, 0, 0, 0};
}

const DateBounds kMarch2014{DateKind::Created, {2014, 3, 1}, {2014, 3, 31}};
const DateBounds kFebruary2014{DateKind::Created, {2014, 2, 1}, {2014, 2, 28}};
// 2014-01-31 23:59:59 UTC and 2014-02-01 00:00:00 UTC.
constexpr std::int64_t kLastSecondOfJanuary = 1391212799;

INSTANTIATE_TEST_SUITE_P(
    Days, DateRuleTest,
    testing::Values(
        DateCase{"15 March in March", FileSystemKind::Fat16, FatCreated(2014, 3, 15), kMarch2014, true},
        DateCase{"1 March, first day", FileSystemKind::Fat16, FatCreated(2014, 3, 1), kMarch2014, true},
        DateCase{"31 March, last day", FileSystemKind::Fat32, FatCreated(2014, 3, 31), kMarch2014, true},
        DateCase{"1 April", FileSystemKind::Fat12, FatCreated(2014, 4, 1), kMarch2014, false},
        // Counted as 360 a year and 30 a month, 31 January would be 1 February.
        DateCase{"31 January in February", FileSystemKind::Fat32, FatCreated(2014, 1, 31), kFebruary2014, false},
        DateCase{"the other date kind", FileSystemKind::Fat32, FatCreated(2014, 3, 15),
                 DateBounds{DateKind::Modified, {2014, 3, 1}, {2014, 3, 31}}, false},
        DateCase{"NTFS: the last second of January, UTC", FileSystemKind::Ntfs, NtfsModified(kLastSecondOfJanuary),
                 DateBounds{DateKind::Modified, {2014, 2, 1}, {2014, 2, 28}}, false},
        DateCase{"NTFS: the first second of February, UTC", FileSystemKind::Ntfs,
                 NtfsModified(kLastSecondOfJanuary + 1), DateBounds{DateKind::Modified, {2014, 2, 1}, {2014, 2, 28}},
                 true},
        DateCase{"bounds the wrong way round", FileSystemKind::Fat32, FatCreated(2014, 3, 15),
                 DateBounds{DateKind::Created, {2015, 1, 1}, {2013, 1, 1}}, false},
        DateCase{"no dates on an unknown file system", FileSystemKind::Unknown, FatCreated(2014, 3, 15),
                 kFebruary2014, true}));

// A store of the folders and files RunSearch walks: folders of volumes 0
// and 1, files under them.
struct SearchStore {
  Store store;

  SearchStore(int folders, int files) {
    for (int i = 0; i < folders; ++i) {
      const std::u16string name = (i % 2 == 0 ? u"even" : u"odd") + std::u16string(1, u'a' + i % 26);
      store.AddFolder({.name = {.wide = name},
                       .parentNumber = NtfsRootNumber,
                       .ownNumber = static_cast<std::uint32_t>(100 + i),
                       .volumeNumber = static_cast<std::uint16_t>(i % 3 == 2 ? 1 : 0)});
    }
    for (int i = 0; i < files; ++i) {
      const std::u16string name = (i % 2 == 0 ? u"even" : u"odd") + std::u16string(u".txt");
      store.AddFile({.name = {.wide = name},
                     .size = static_cast<std::uint64_t>(i),
                     .parentNumber = static_cast<std::uint32_t>(100 + i % (folders ? folders : 1)),
                     .ownNumber = static_cast<std::uint32_t>(10000 + i),
                     .stream = {}});
    }
  }

  std::vector<SearchMatch> Expected(const SearchMatcher& matcher) const {
    std::vector<SearchMatch> matches;
    for (const FolderId id : store.FoldersInOrder()) {
      if (store.folder(id).volumeNumber == 0 && matcher.MatchesFolder(store.folder(id))) matches.push_back({true, id});
    }
    for (FileId id = 0; id < static_cast<FileId>(store.fileCount()); ++id) {
      if (matcher.MatchesFile(store.file(id))) matches.push_back({false, id});
    }
    return matches;
  }
};

struct Collected {
  std::vector<SearchMatch> matches;
  std::size_t batches = 0;
  SearchDelivery Sink() {
    return [this](std::vector<SearchMatch>&& batch) {
      EXPECT_FALSE(batch.empty());
      EXPECT_LE(batch.size(), kSearchBatchSize);
      ++batches;
      matches.insert(matches.end(), batch.begin(), batch.end());
    };
  }
};

TEST(SearchWorkerTest, HandsOverFoldersOfTheShownVolumeThenFilesInBatches) {
  const SearchStore data(30, 10'000);
  for (const std::u16string name : {u"even", u"*", u"odd*"}) {
    for (const bool sized : {false, true}) {
      SearchCriteria criteria = ByName(name);
      if (sized) criteria.size = SizeBounds{10, 5000};
      const SearchMatcher matcher(criteria, FileSystemKind::Ntfs);
      WorkerControl control;
      Collected got;
      EXPECT_EQ(RunSearch(data.store, matcher, control, got.Sink()), SearchEnd::Finished);
      EXPECT_EQ(got.matches, data.Expected(matcher));
      EXPECT_GT(got.batches, 1u) << "matches go out while the walk goes on";
    }
  }
  // An empty store, and a search that matches nothing, hand over nothing.
  const SearchStore empty(0, 0);
  WorkerControl control;
  Collected got;
  EXPECT_EQ(RunSearch(empty.store, SearchMatcher(Everything(), FileSystemKind::Ntfs), control, got.Sink()),
            SearchEnd::Finished);
  EXPECT_EQ(got.batches, 0u);
}

TEST(SearchWorkerTest, AStopEndsTheWalkAtItsNextCheckpointWithWhatWasFound) {
  const SearchStore data(2, 5'000);  // every item of the shown volume
  const SearchMatcher everything(Everything(), FileSystemKind::Ntfs);
  WorkerControl stoppedEarly;
  stoppedEarly.RequestStop();
  Collected none;
  EXPECT_EQ(RunSearch(data.store, everything, stoppedEarly, none.Sink()), SearchEnd::Stopped);
  EXPECT_TRUE(none.matches.empty());

  // Stop pressed while the first matches reach the list.
  WorkerControl control;
  Collected got;
  const SearchDelivery collect = got.Sink();
  EXPECT_EQ(RunSearch(data.store, everything, control,
                      [&](std::vector<SearchMatch>&& batch) {
                        control.RequestStop();
                        collect(std::move(batch));
                      }),
            SearchEnd::Stopped);
  EXPECT_EQ(got.matches.size(), kSearchCheckpointItems) << "what matched before the checkpoint is handed over";
}

TEST(SearchWorkerTest, APauseHoldsTheWalkUntilResumed) {
  const SearchStore data(2, 5'000);  // every item of the shown volume
  WorkerControl control;
  control.RequestPause();
  Collected got;
  SearchEnd end = SearchEnd::Stopped;
  std::thread worker(
      [&] { end = RunSearch(data.store, SearchMatcher(Everything(), FileSystemKind::Ntfs), control, got.Sink()); });
  while (!control.parked()) std::this_thread::yield();
  EXPECT_TRUE(got.matches.empty()) << "a pause asked for before the start holds the walk there";
  control.Resume();
  worker.join();
  EXPECT_EQ(end, SearchEnd::Finished);
  EXPECT_EQ(got.matches.size(), 5'002u);
}

}  // namespace
}  // namespace korv
