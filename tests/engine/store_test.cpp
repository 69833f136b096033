#include "engine/store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "engine/scan_list.h"
#include "engine/store_memory.h"
#include "engine/store_names.h"

namespace korv {
namespace {

NewFolder Folder(std::u16string_view name, std::uint32_t parent, std::uint32_t own, char deleted = kFlagNo,
                 std::uint16_t volume = 0) {
  return {.name = {.wide = name}, .deleted = deleted, .parentNumber = parent, .ownNumber = own,
          .volumeNumber = volume};
}

NewFile File(std::u16string_view name, std::uint32_t parent, std::uint64_t size = 0) {
  return {.name = {.wide = name}, .size = size, .parentNumber = parent};
}

std::vector<std::u16string> FileNamesInOrder(const Store& store) {
  std::vector<std::u16string> names;
  store.ForEachFileInOrder([&](FileId id) { names.push_back(store.file(id).name); });
  return names;
}

std::vector<std::u16string> FolderNames(const Store& store, Store::FolderRange range) {
  std::vector<std::u16string> names;
  for (const FolderId id : range) names.push_back(store.folder(id).name);
  return names;
}

using Names = std::vector<std::u16string>;

TEST(StoreOrder, FilesSortByParentAndKeepTheOrderAddedAmongEqualParents) {
  Store store;
  store.AddFile(File(u"a5", 5));
  store.AddFile(File(u"b9", 9));
  store.AddFile(File(u"c7", 7));
  store.AddFile(File(u"d7", 7));
  store.AddFile(File(u"e12", 12));
  EXPECT_EQ(FileNamesInOrder(store), (Names{u"a5", u"c7", u"d7", u"b9", u"e12"}));

  const auto sevens = store.ChildFiles(7);
  ASSERT_EQ(sevens.size(), 2u);
  EXPECT_EQ(store.file(sevens[0]).insertionNumber, 2u);
  EXPECT_EQ(store.file(sevens[1]).insertionNumber, 3u);
  EXPECT_TRUE(store.ChildFiles(8).empty());
  EXPECT_EQ(store.FileByInsertionNumber(4)->name, u"e12");
  EXPECT_EQ(store.FileByInsertionNumber(5), nullptr);
}

TEST(StoreOrder, AnItemWithASmallerKeyThanTheFirstTakesItsOrderedPlace) {
  Store store;
  store.AddFile(File(u"in40", 40));
  store.AddFile(File(u"in5", 5));
  EXPECT_EQ(FileNamesInOrder(store), (Names{u"in5", u"in40"}));
  ASSERT_EQ(store.ChildFiles(5).size(), 1u);

  store.AddFolder(Folder(u"under40", 40, 100));
  store.AddFolder(Folder(u"under5", 5, 101));
  EXPECT_EQ(FolderNames(store, store.FoldersInOrder()), (Names{u"under5", u"under40"}));
  EXPECT_EQ(FolderNames(store, store.ChildFolders(5)), (Names{u"under5"}));
}

TEST(StoreOrder, ChildFoldersListEveryVolumeInTheOrderAdded) {
  Store store;
  store.AddFolder(Folder(u"x", 9, 20, kFlagNo, 1));
  store.AddFolder(Folder(u"y", 9, 21, kFlagNo, 2));
  store.AddFolder(Folder(u"z", 9, 22, kFlagNo, 1));
  store.AddFolder(Folder(u"other", 10, 23));
  EXPECT_EQ(FolderNames(store, store.ChildFolders(9)), (Names{u"x", u"y", u"z"}));
  EXPECT_TRUE(store.ChildFolders(8).empty());
  store.AddFolder(Folder(u"top", 0xFFFFFFFF, 24));
  EXPECT_EQ(FolderNames(store, store.ChildFolders(0xFFFFFFFF)), (Names{u"top"}));
}

TEST(StoreDuplicates, ADeletedFolderIsReplacedByOneThatIsNotDeleted) {
  Store store;
  store.AddFolder(Folder(u"sibling", 30, 40));
  const AddFolderResult first = store.AddFolder(Folder(u"old", 20, 77, kFlagYes));
  store.SetFolderSelected(first.id, kFlagYes);
  NewFolder second = Folder(u"new", 30, 77, kFlagNo);
  second.recordSector = 123;
  second.times = {1, 2, 3, 4, 5, 6};

  const AddFolderResult replaced = store.AddFolder(second);
  EXPECT_EQ(replaced.outcome, AddOutcome::Replaced);
  EXPECT_EQ(replaced.id, first.id);
  EXPECT_EQ(store.folderCount(), 2);
  const FoundFolder& held = store.folder(first.id);
  EXPECT_EQ(held.name, u"new");
  EXPECT_EQ(held.deleted, kFlagNo);
  EXPECT_EQ(held.selected, kFlagNo);
  EXPECT_EQ(held.recordSector, 123u);
  EXPECT_EQ(held.times, second.times);
  // It now lies under its new parent, behind the folder added there before.
  EXPECT_TRUE(store.ChildFolders(20).empty());
  EXPECT_EQ(FolderNames(store, store.ChildFolders(30)), (Names{u"sibling", u"new"}));
}

TEST(StoreDuplicates, InEveryOtherCaseTheNewcomerIsDropped) {
  struct Case {
    char held, newcomer;
  };
  for (const Case c : {Case{kFlagNo, kFlagYes}, Case{kFlagNo, kFlagNo}, Case{kFlagYes, kFlagYes}}) {
    Store store;
    const FolderId kept = store.AddFolder(Folder(u"first", 5, 77, c.held)).id;
    const AddFolderResult second = store.AddFolder(Folder(u"second", 6, 77, c.newcomer));
    EXPECT_EQ(second.outcome, AddOutcome::Dropped);
    EXPECT_EQ(second.id, kept);
    EXPECT_EQ(store.folderCount(), 1);
    EXPECT_EQ(store.folder(kept).name, u"first");
    EXPECT_TRUE(store.ChildFolders(6).empty());
  }
}

TEST(StoreDuplicates, OtherVolumesAndOwnNumberZeroAreNeverDuplicates) {
  Store store;
  store.AddFolder(Folder(u"v1", 5, 77, kFlagNo, 1));
  EXPECT_EQ(store.AddFolder(Folder(u"v2", 5, 77, kFlagNo, 2)).outcome, AddOutcome::Added);
  EXPECT_EQ(store.folder(*store.FindFolder(77, 2)).name, u"v2");
  EXPECT_FALSE(store.FindFolder(77, 0));

  store.AddFolder(Folder(u"numbered", 50, 60));
  EXPECT_EQ(store.AddFolder(Folder(u"zero-a", 3, 0)).outcome, AddOutcome::Added);
  EXPECT_EQ(store.AddFolder(Folder(u"zero-b", 3, 0)).outcome, AddOutcome::Added);
  EXPECT_EQ(store.folderCount(), 5);
  EXPECT_FALSE(store.FindFolder(0, 0));
  // Unnumbered folders take their ordered place, not the end of the list.
  EXPECT_EQ(FolderNames(store, store.FoldersInOrder()), (Names{u"zero-a", u"zero-b", u"v1", u"v2", u"numbered"}));
}

TEST(StoreDuplicates, ADuplicateIsRecognisedWhereverItStands) {
  Store store;
  const FolderId early = store.AddFolder(Folder(u"early", 1, 9, kFlagYes)).id;
  for (std::uint32_t n = 0; n < 25'000; ++n) store.AddFolder(Folder(u"f", 1000 + n, 100 + n));
  EXPECT_EQ(store.AddFolder(Folder(u"late", 40'000, 9, kFlagYes)).outcome, AddOutcome::Dropped);
  EXPECT_EQ(store.AddFolder(Folder(u"late", 40'000, 9, kFlagNo)).outcome, AddOutcome::Replaced);
  EXPECT_EQ(store.folderCount(), 25'001);
  EXPECT_EQ(store.folder(early).parentNumber, 40'000u);
  EXPECT_EQ(*std::prev(store.FoldersInOrder().end()), early);
  EXPECT_FALSE(store.FolderAfter(early));
}

TEST(StoreLost, AMovedFolderTakesItsPlaceUnderLostBehindThoseAlreadyThere) {
  Store store;
  store.AddFolder(Folder(u"Lost", NtfsRootNumber, LostNumber));
  const FolderId orphanA = store.AddFolder(Folder(u"a", 900, 30)).id;
  const FolderId orphanB = store.AddFolder(Folder(u"b", 800, 31)).id;
  store.AddFolder(Folder(u"kept", NtfsRootNumber, 32));

  store.MoveFolderUnderLost(orphanA);
  store.MoveFolderUnderLost(orphanB);
  EXPECT_EQ(store.folderCount(), 4);
  EXPECT_EQ(FolderNames(store, store.ChildFolders(LostNumber)), (Names{u"a", u"b"}));
  EXPECT_TRUE(store.ChildFolders(900).empty());
  EXPECT_EQ(store.FindFolder(30, 0), orphanA);
  EXPECT_EQ(FolderNames(store, store.FoldersInOrder()), (Names{u"Lost", u"kept", u"a", u"b"}));
}

TEST(StoreLost, TheCursorVisitsFoldersAddedOrMovedBehindIt) {
  Store store;
  store.AddFolder(Folder(u"root-child", 0, 10));
  const FolderId moved = store.AddFolder(Folder(u"moved", 2, 11)).id;
  std::vector<std::u16string> visited;
  for (auto at = store.FirstFolder(); at; at = store.FolderAfter(*at)) {
    visited.push_back(store.folder(*at).name);
    if (store.folder(*at).ownNumber == 10) store.AddFolder(Folder(u"found-inside", 10, 12));
    if (*at == moved) continue;
    if (store.folder(*at).ownNumber == 12) store.MoveFolder(moved, 20);
  }
  EXPECT_EQ(visited, (Names{u"root-child", u"moved", u"found-inside", u"moved"}));
}

TEST(StoreCounts, CountsAndTotalsFollowWhatIsHeldAndClearStoreEmptiesAll) {
  Store store;
  store.currentVolume = 3;
  store.AddFile(File(u"big", 5, 5'000'000'000ULL));
  store.AddFile(File(u"small", 5, 7));
  store.AddFolder(Folder(u"d", 5, 40, kFlagYes));
  store.AddFolder(Folder(u"d", 5, 40, kFlagNo));
  EXPECT_EQ(store.fileCount(), 2);
  EXPECT_EQ(store.folderCount(), 1);
  EXPECT_EQ(store.totalFileBytes(), 5'000'000'007ULL);

  store.ClearStore();
  EXPECT_EQ(store.fileCount(), 0);
  EXPECT_EQ(store.folderCount(), 0);
  EXPECT_EQ(store.totalFileBytes(), 0u);
  EXPECT_FALSE(store.FirstFolder());
  EXPECT_FALSE(store.FindFolder(40, 0));
  EXPECT_TRUE(store.ChildFiles(5).empty());
  EXPECT_EQ(store.currentVolume, 3);

  const FileId again = store.AddFile(File(u"again", 5));
  EXPECT_EQ(store.file(again).insertionNumber, 0u);
  EXPECT_EQ(store.AddFolder(Folder(u"d", 5, 40, kFlagYes)).outcome, AddOutcome::Added);
}

TEST(StoreNames, TheEightBitNameWinsWhenItsFirstCharacterIsNotNul) {
  Store store;
  const FileId eightBit = store.AddFile({.name = {.eightBit = "CAF\xC9.TXT", .wide = u"ignored"}});
  const FileId emptyEightBit = store.AddFile({.name = {.eightBit = std::string_view("\0X", 2), .wide = u"wide"}});
  const FileId none = store.AddFile({});
  const FileId cut = store.AddFile({.name = {.wide = std::u16string_view(u"ab\0cd", 5)}});
  EXPECT_EQ(store.file(eightBit).name, u"CAF\u00C9.TXT");
  EXPECT_TRUE(store.file(eightBit).nameIsEightBit);
  EXPECT_EQ(store.file(emptyEightBit).name, u"wide");
  EXPECT_FALSE(store.file(emptyEightBit).nameIsEightBit);
  EXPECT_EQ(store.file(none).name, u"");
  EXPECT_EQ(store.file(cut).name, u"ab");
}

TEST(StoreNames, WindowsCodePageConversionRoundTripsAndRefusesWhatItCannotHold) {
  EXPECT_EQ(EightBitToUtf16("\x80\x81\x9F\xA0\xFF"), u"\u20AC\u0081\u0178\u00A0\u00FF");
  EXPECT_EQ(Utf16ToEightBit(u"\u20AC\u0081\u0178\u00A0\u00FF"), "\x80\x81\x9F\xA0\xFF");
  EXPECT_FALSE(Utf16ToEightBit(u"\u0080"));  // the byte 0x80 is the euro sign
  EXPECT_FALSE(Utf16ToEightBit(u"\u4E2D"));
}

TEST(StoreNames, RenamingRefusesEmptyNamesAndKeepsTheEightBitFormWhereItCan) {
  Store store;
  const FolderId folder = store.AddFolder({.name = {.eightBit = "DIR1"}, .ownNumber = 7}).id;
  EXPECT_FALSE(store.RenameFolder(folder, u""));
  EXPECT_EQ(store.folder(folder).name, u"DIR1");
  ASSERT_TRUE(store.RenameFolder(folder, u"Caf\u00E9"));
  EXPECT_TRUE(store.folder(folder).nameIsEightBit);
  ASSERT_TRUE(store.RenameFolder(folder, u"\u4E2D"));
  EXPECT_FALSE(store.folder(folder).nameIsEightBit);
  EXPECT_EQ(store.folder(folder).name, u"\u4E2D");
}

TEST(ScanLists, RecordsKeepTheOrderOfFindingAndOnlyTheSharedListsCount) {
  ScanLists lists;
  lists.AddScanDir({.wideName = u"d1", .ownNumber = 0});
  lists.AddScanDir({.wideName = u"d1", .ownNumber = 0});
  lists.AddScanFile({.wideName = u"f", .fileCountAtScan = 4});
  ScanDirList unnumbered;
  AddScanDir(unnumbered, lists.dirs.front());
  EXPECT_EQ(lists.scanDirCount(), 2);
  EXPECT_EQ(lists.scanFileCount(), 1);
  EXPECT_EQ(lists.dirs.size(), 2u);
  EXPECT_EQ(unnumbered.size(), 1u);
  lists.dirs.pop_front();
  EXPECT_EQ(lists.scanDirCount(), 2);
  lists.Clear();
  EXPECT_EQ(lists.scanDirCount(), 0);
  EXPECT_TRUE(lists.dirs.empty() && lists.files.empty());
}

void ThrowBadAlloc() { throw std::bad_alloc(); }

void TellTheTest() { std::fputs("front end told\n", stderr); }

TEST(StoreMemoryDeathTest, AFailedAllocationEndsTheProcessThroughTheHandler) {
  EXPECT_EXIT(GuardAllocation(ThrowBadAlloc), testing::ExitedWithCode(1), "^Out Of Memory\n$");
  EXPECT_EXIT(
      {
        SetOutOfMemoryHandler(&TellTheTest);
        GuardAllocation(ThrowBadAlloc);
      },
      testing::ExitedWithCode(1), "^front end told\n$");
}

}  // namespace
}  // namespace korv
