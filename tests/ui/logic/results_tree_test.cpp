#include "ui/logic/results_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korv {
namespace {

constexpr std::uint32_t kRoot = NtfsRootNumber;

FolderId AddFolder(Store& store, std::u16string_view name, std::uint32_t parent, std::uint32_t own,
                   std::uint16_t volume = 0, char deleted = kFlagNo) {
  return store
      .AddFolder({.name = {.wide = name},
                  .deleted = deleted,
                  .parentNumber = parent,
                  .ownNumber = own,
                  .volumeNumber = volume})
      .id;
}

FileId AddFile(Store& store, std::u16string_view name, std::uint32_t parent, std::uint64_t size = 0,
               ItemTimes times = {}, char deleted = kFlagNo) {
  return store.AddFile(
      {.name = {.wide = name}, .deleted = deleted, .size = size, .parentNumber = parent, .times = times});
}

// The labels of the tree in node order, each indented by its depth.
std::vector<std::string> Outline(const ResultsTree& tree) {
  std::vector<std::string> lines;
  for (TreeNodeIndex index = 0; index < tree.size(); ++index) {
    int depth = 0;
    for (TreeNodeIndex at = index; at != kRootNode; at = tree.node(at).parent) ++depth;
    lines.push_back(std::string(static_cast<std::size_t>(depth) * 2, ' ') + tree.node(index).text);
  }
  return lines;
}

std::vector<std::string> Column(const Store& store, const std::vector<ResultRow>& rows, ResultColumn column,
                                FileSystemKind fileSystem = FileSystemKind::Ntfs) {
  std::vector<std::string> texts;
  for (const ResultRow& row : rows) texts.push_back(RowText(store, row, column, fileSystem));
  return texts;
}

TEST(ResultsTreeBuildTest, DepthFirstInListOrderWithTreeItemsAndProgress) {
  Store store;
  const FolderId zeta = AddFolder(store, u"Zeta", kRoot, 100);
  AddFolder(store, u"alpha", kRoot, 101);
  AddFolder(store, u"z-child", 100, 102);
  AddFolder(store, u"a-child", 101, 103);
  AddFolder(store, u"z-grandchild", 102, 104);
  AddFolder(store, u"z-second", 100, 105);
  ResultsTree tree;
  std::vector<int> percents;
  tree.Build(store, FileSystemKind::Ntfs, [&](int percent) { percents.push_back(percent); });

  EXPECT_EQ(Outline(tree), (std::vector<std::string>{"This PC", "  Zeta", "    z-child", "      z-grandchild",
                                                     "    z-second", "  alpha", "    a-child"}));
  EXPECT_EQ(tree.rootNumber(), kRoot);
  EXPECT_EQ(tree.fileSystem(), FileSystemKind::Ntfs);
  for (TreeNodeIndex index = 1; index < tree.size(); ++index) {
    const FolderId folder = *tree.node(index).folder;
    EXPECT_EQ(store.folder(folder).treeItem, index);
    EXPECT_EQ(tree.NodeOfFolder(folder), index);
    EXPECT_EQ(tree.node(tree.node(index).parent).children[static_cast<std::size_t>(tree.RowOf(index))], index);
  }
  EXPECT_EQ(tree.node(*tree.NodeOfFolder(zeta)).number, 100U);
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);
  EXPECT_FALSE(tree.lostNode());
}

TEST(ResultsTreeBuildTest, LoopingParentsEndUnderAMadeUpLost) {
  Store store;
  AddFolder(store, u"kept", kRoot, 100);
  const FolderId self = AddFolder(store, u"self", 200, 200);
  const FolderId first = AddFolder(store, u"first", 301, 300);
  const FolderId second = AddFolder(store, u"second", 300, 301);
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Ntfs);

  EXPECT_EQ(Outline(tree),
            (std::vector<std::string>{"This PC", "  kept", "  Lost", "    self", "    first", "      second"}));
  ASSERT_TRUE(tree.lostNode());
  EXPECT_FALSE(tree.node(*tree.lostNode()).folder);
  EXPECT_EQ(tree.node(*tree.lostNode()).number, LostNumber);
  for (const FolderId folder : {self, first, second}) EXPECT_TRUE(tree.NodeOfFolder(folder));
}

TEST(ResultsTreeBuildTest, UnreachableFoldersJoinTheStoresLostFolder) {
  Store store;
  // FAT: the root is 0. "Lost" itself hangs below a folder that is out of reach.
  const FolderId lost = AddFolder(store, u"Lost", 400, LostNumber);
  AddFolder(store, u"orphan-parent", 401, 400);
  AddFolder(store, u"orphan-child", 400, 402);
  AddFolder(store, u"home", FatRootNumber, 10);
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Fat32);

  EXPECT_EQ(Outline(tree),
            (std::vector<std::string>{"This PC", "  home", "  Lost", "    orphan-parent", "      orphan-child"}));
  EXPECT_EQ(tree.lostNode(), tree.NodeOfFolder(lost));
  EXPECT_EQ(tree.fileSystem(), FileSystemKind::Fat32);
  EXPECT_EQ(tree.rootNumber(), FatRootNumber);
}

TEST(ResultsTreeBuildTest, ShowsTheCurrentVolumeOnly) {
  Store store;
  const FolderId other = AddFolder(store, u"volume0", kRoot, 100, 0);
  AddFolder(store, u"volume1", kRoot, 100, 1);
  AddFolder(store, u"volume1-child", 100, 101, 1);
  store.currentVolume = 1;
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Ntfs);

  EXPECT_EQ(Outline(tree), (std::vector<std::string>{"This PC", "  volume1", "    volume1-child"}));
  EXPECT_FALSE(tree.NodeOfFolder(other));
}

TEST(FolderRowsTest, RootAndLostListTheirFoldersThenTheirFiles) {
  Store store;
  const FolderId lostFolder = AddFolder(store, u"Lost", kRoot, LostNumber);
  const FolderId docs = AddFolder(store, u"docs", kRoot, 100);
  const FolderId zero = AddFolder(store, u"numbered 0", kRoot, 0);
  const FolderId orphan = AddFolder(store, u"orphan", LostNumber, 200);
  const FileId rootFile = AddFile(store, u"root.txt", kRoot);
  const FileId lostFile = AddFile(store, u"lost.txt", LostNumber);
  AddFile(store, u"in-zero.txt", 0);
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Ntfs);

  const auto rows = [&](TreeNodeIndex node) {
    std::vector<std::pair<bool, std::uint32_t>> ids;
    for (const ResultRow& row : FolderRows(store, tree, node)) ids.emplace_back(row.folder, row.id);
    return ids;
  };
  using Rows = std::vector<std::pair<bool, std::uint32_t>>;
  EXPECT_EQ(rows(kRootNode), (Rows{{true, lostFolder}, {true, docs}, {true, zero}, {false, rootFile}}));
  EXPECT_EQ(rows(*tree.lostNode()), (Rows{{true, orphan}, {false, lostFile}}));
  // A folder numbered 0 below the root cannot own files: those are nobody's.
  EXPECT_TRUE(rows(*tree.NodeOfFolder(zero)).empty());
}

TEST(FolderRowsTest, AMadeUpLostGetsNoRow) {
  Store store;
  AddFolder(store, u"self", 200, 200);
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Ntfs);
  EXPECT_TRUE(FolderRows(store, tree, kRootNode).empty());
  EXPECT_EQ(FolderRows(store, tree, *tree.lostNode()).size(), 1U);
}

ItemTimes NtfsTimes(std::uint64_t modified, std::uint64_t created, std::uint64_t accessed) {
  const auto low = [](std::uint64_t value) { return static_cast<std::uint32_t>(value); };
  const auto high = [](std::uint64_t value) { return static_cast<std::uint32_t>(value >> 32); };
  return {low(modified), high(modified), low(created), high(created), low(accessed), high(accessed)};
}

constexpr std::uint32_t FatDate(int year, int month, int day) {
  return static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
}
constexpr std::uint32_t FatTime(int hours, int minutes) {
  return static_cast<std::uint32_t>(hours << 11 | minutes << 5);
}

TEST(RowTextTest, NtfsRowsShowTypesFullSizesDatesAndIds) {
  Store store;
  const FolderId folder = AddFolder(store, u"gone", kRoot, 100, 0, kFlagYes);
  AddFile(store, u"first", kRoot);
  // 2024-03-05 09:07:02 UTC.
  const std::uint64_t ticks = (1709629622ULL + 11644473600ULL) * 10000000ULL;
  const FileId big = AddFile(store, u"big.vhd", kRoot, (5ULL << 30) + 1, NtfsTimes(ticks, 0, ticks), kFlagYes);
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Ntfs);

  const ResultRow folderRow{true, folder};
  const ResultRow fileRow{false, big};
  EXPECT_EQ(RowText(store, folderRow, ResultColumn::Type, FileSystemKind::Ntfs), "Deleted Folder");
  EXPECT_EQ(RowText(store, folderRow, ResultColumn::Size, FileSystemKind::Ntfs), "0");
  EXPECT_EQ(RowText(store, folderRow, ResultColumn::Id, FileSystemKind::Ntfs),
            std::to_string(*tree.NodeOfFolder(folder)));
  EXPECT_EQ(RowText(store, fileRow, ResultColumn::Name, FileSystemKind::Ntfs), "big.vhd");
  EXPECT_EQ(RowText(store, fileRow, ResultColumn::Type, FileSystemKind::Ntfs), "Deleted File");
  EXPECT_EQ(RowText(store, fileRow, ResultColumn::Size, FileSystemKind::Ntfs), "5368709121");
  EXPECT_EQ(RowText(store, fileRow, ResultColumn::Modified, FileSystemKind::Ntfs), "05-Mar-2024 09:07:02");
  EXPECT_EQ(RowText(store, fileRow, ResultColumn::Created, FileSystemKind::Ntfs), "01-Jan-1601 00:00:00");
  EXPECT_EQ(RowText(store, fileRow, ResultColumn::Accessed, FileSystemKind::Ntfs), "05-Mar-2024 09:07:02");
  EXPECT_EQ(RowText(store, fileRow, ResultColumn::Id, FileSystemKind::Ntfs), "1");
  EXPECT_TRUE(RowDeleted(store, fileRow));
  EXPECT_FALSE(RowDeleted(store, ResultRow{false, 0}));
}

TEST(RowTextTest, FatRowsShowPackedWordsWithErrForBadMonths) {
  Store store;
  const ItemTimes times{FatDate(2024, 13, 3), FatTime(9, 7),       FatDate(2023, 12, 31),
                        FatTime(23, 59),      FatDate(2022, 1, 2), 0};
  const FileId file = AddFile(store, u"a.txt", FatRootNumber, 12, times);
  const ResultRow row{false, file};
  EXPECT_EQ(RowText(store, row, ResultColumn::Modified, FileSystemKind::Fat32), "03-Err-2024 09:07");
  EXPECT_EQ(RowText(store, row, ResultColumn::Created, FileSystemKind::Fat32), "31-Dec-2023 23:59");
  EXPECT_EQ(RowText(store, row, ResultColumn::Accessed, FileSystemKind::Fat32), "02-Jan-2022");
  EXPECT_EQ(RowText(store, row, ResultColumn::Type, FileSystemKind::Fat32), "File");
}

TEST(RowTextTest, LongEightBitNamesAreCutForDisplay) {
  Store store;
  const std::string longName(120, 'x');
  const FileId file = store.AddFile({.name = {.eightBit = longName}, .parentNumber = kRoot});
  EXPECT_EQ(RowText(store, {false, file}, ResultColumn::Name, FileSystemKind::Ntfs),
            std::string(kShownNameLength, 'x'));
  EXPECT_EQ(ResultColumnHeading(ResultColumn::Accessed), "Accessed Date");
  EXPECT_EQ(ResultColumnWidth(ResultColumn::Name), 210);
}

class SortRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AddFolder(store, u"beta-dir", kRoot, 100);
    AddFolder(store, u"Alpha-dir", kRoot, 101, 0, kFlagYes);
    AddFile(store, u"charlie.txt", kRoot, 30, NtfsTimes(3, 1, 2));
    AddFile(store, u"ALPHA.txt", kRoot, 10, NtfsTimes(1, 3, 3), kFlagYes);
    AddFile(store, u"bravo.txt", kRoot, 5ULL << 32, NtfsTimes(2, 2, 1));
    tree.Build(store, FileSystemKind::Ntfs);
    rows = FolderRows(store, tree, kRootNode);
  }
  std::vector<std::string> SortedNames(ResultColumn column, bool ascending) {
    std::vector<ResultRow> sorted = rows;
    SortRows(store, sorted, column, ascending, FileSystemKind::Ntfs);
    return Column(store, sorted, ResultColumn::Name);
  }

  Store store;
  ResultsTree tree;
  std::vector<ResultRow> rows;
};

using Names = std::vector<std::string>;

TEST_F(SortRowsTest, NamesIgnoreCase) {
  EXPECT_EQ(SortedNames(ResultColumn::Name, true),
            (Names{"Alpha-dir", "ALPHA.txt", "beta-dir", "bravo.txt", "charlie.txt"}));
  EXPECT_EQ(SortedNames(ResultColumn::Name, false),
            (Names{"charlie.txt", "bravo.txt", "beta-dir", "ALPHA.txt", "Alpha-dir"}));
}

TEST_F(SortRowsTest, SizesKeepFoldersTogetherAtZero) {
  // Equal keys keep their order in both directions.
  EXPECT_EQ(SortedNames(ResultColumn::Size, true),
            (Names{"beta-dir", "Alpha-dir", "ALPHA.txt", "charlie.txt", "bravo.txt"}));
  EXPECT_EQ(SortedNames(ResultColumn::Size, false),
            (Names{"bravo.txt", "charlie.txt", "ALPHA.txt", "beta-dir", "Alpha-dir"}));
}

TEST_F(SortRowsTest, TypesDatesAndIds) {
  EXPECT_EQ(SortedNames(ResultColumn::Type, true),
            (Names{"ALPHA.txt", "Alpha-dir", "charlie.txt", "bravo.txt", "beta-dir"}));
  EXPECT_EQ(SortedNames(ResultColumn::Modified, true),
            (Names{"beta-dir", "Alpha-dir", "ALPHA.txt", "bravo.txt", "charlie.txt"}));
  EXPECT_EQ(SortedNames(ResultColumn::Created, false),
            (Names{"ALPHA.txt", "bravo.txt", "charlie.txt", "beta-dir", "Alpha-dir"}));
  EXPECT_EQ(SortedNames(ResultColumn::Accessed, true),
            (Names{"beta-dir", "Alpha-dir", "bravo.txt", "charlie.txt", "ALPHA.txt"}));
  // Files by insertion number 0, 1, 2; folders by their nodes 1, 2.
  EXPECT_EQ(SortedNames(ResultColumn::Id, true),
            (Names{"charlie.txt", "beta-dir", "ALPHA.txt", "Alpha-dir", "bravo.txt"}));
  EXPECT_EQ(SortedNames(ResultColumn::Id, false),
            (Names{"Alpha-dir", "bravo.txt", "beta-dir", "ALPHA.txt", "charlie.txt"}));
}

TEST_F(SortRowsTest, FoldersFirstShownByNameFilesAsAdded) {
  SortFolderRows(store, rows, true);
  EXPECT_EQ(Column(store, rows, ResultColumn::Name),
            (Names{"Alpha-dir", "beta-dir", "charlie.txt", "ALPHA.txt", "bravo.txt"}));
}

TEST(SortRowsFatTest, DatesCompareTheDateWordBeforeTheTime) {
  Store store;
  AddFile(store, u"later-day", FatRootNumber, 0, {FatDate(2024, 1, 2), FatTime(1, 0), 0, 0, 0, 0});
  AddFile(store, u"earlier-day", FatRootNumber, 0, {FatDate(2024, 1, 1), FatTime(23, 0), 0, 0, 0, 0});
  AddFile(store, u"later-same-day", FatRootNumber, 0, {FatDate(2024, 1, 2), FatTime(2, 0), 0, 0, 0, 0});
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Fat16);
  std::vector<ResultRow> rows = FolderRows(store, tree, kRootNode);
  SortRows(store, rows, ResultColumn::Modified, true, FileSystemKind::Fat32);
  EXPECT_EQ(Column(store, rows, ResultColumn::Name, FileSystemKind::Fat16), (Names{"earlier-day", "later-day", "later-same-day"}));
}

// root ─ a ─ a1 ─ a1x ─ deep.txt
//          └ a2
//      └ b
class TickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    a = AddFolder(store, u"a", kRoot, 100);
    b = AddFolder(store, u"b", kRoot, 101);
    a1 = AddFolder(store, u"a1", 100, 102);
    a2 = AddFolder(store, u"a2", 100, 103);
    a1x = AddFolder(store, u"a1x", 102, 104);
    deep = AddFile(store, u"deep.txt", 104);
    a2File = AddFile(store, u"a2.txt", 103);
    rootFile = AddFile(store, u"root.txt", kRoot);
    tree.Build(store, FileSystemKind::Ntfs);
  }
  TreeNodeIndex Node(FolderId folder) const { return *tree.NodeOfFolder(folder); }
  bool Ticked(FolderId folder) const { return NodeTicked(store, tree, Node(folder)); }
  bool Selected(FileId file) const { return store.file(file).selected == kFlagYes; }

  Store store;
  ResultsTree tree;
  FolderId a = 0, b = 0, a1 = 0, a2 = 0, a1x = 0;
  FileId deep = 0, a2File = 0, rootFile = 0;
};

TEST_F(TickTest, TheRootTicksAndUnticksEverything) {
  TickNode(store, tree, kRootNode, true);
  EXPECT_TRUE(NodeTicked(store, tree, kRootNode));
  for (const FolderId folder : {a, b, a1, a2, a1x}) EXPECT_TRUE(Ticked(folder));
  for (const FileId file : {deep, a2File, rootFile}) EXPECT_TRUE(Selected(file));
  TickNode(store, tree, kRootNode, false);
  EXPECT_FALSE(NodeTicked(store, tree, kRootNode));
  for (const FolderId folder : {a, b, a1, a2, a1x}) EXPECT_FALSE(Ticked(folder));
  EXPECT_FALSE(Selected(deep));
}

TEST_F(TickTest, UntickingADeepFolderUnticksItsParentOnlyWithoutASelectedSibling) {
  TickNode(store, tree, Node(a), true);
  TickNode(store, tree, Node(a1), false);
  EXPECT_FALSE(Ticked(a1));
  EXPECT_FALSE(Ticked(a1x));
  EXPECT_FALSE(Selected(deep));
  EXPECT_TRUE(Ticked(a)) << "a2 is still ticked";
  EXPECT_TRUE(NodeTicked(store, tree, kRootNode));

  TickNode(store, tree, Node(a2), false);
  EXPECT_FALSE(Ticked(a));
  EXPECT_FALSE(NodeTicked(store, tree, kRootNode));
}

TEST_F(TickTest, ATickedFileDeepDownKeepsItsAncestorsTicked) {
  TickNode(store, tree, Node(a2), true);
  TickFile(store, tree, deep, true);
  EXPECT_TRUE(Ticked(a1x));
  EXPECT_TRUE(Ticked(a1));
  // Unticking the sibling must leave "a" ticked: it still leads to deep.txt.
  TickNode(store, tree, Node(a2), false);
  EXPECT_TRUE(Ticked(a));
  EXPECT_TRUE(NodeTicked(store, tree, kRootNode));
  TickFile(store, tree, deep, false);
  for (const FolderId folder : {a, a1, a1x}) EXPECT_FALSE(Ticked(folder));
  EXPECT_FALSE(NodeTicked(store, tree, kRootNode));
}

TEST_F(TickTest, TickingAFileTicksItsAncestorsAndTheRoot) {
  TickFile(store, tree, deep, true);
  EXPECT_TRUE(Selected(deep));
  for (const FolderId folder : {a1x, a1, a}) EXPECT_TRUE(Ticked(folder));
  EXPECT_FALSE(Ticked(a2));
  EXPECT_FALSE(Ticked(b));
  EXPECT_TRUE(NodeTicked(store, tree, kRootNode));
  EXPECT_TRUE(RowSelected(store, {false, deep}));
}

TEST(TickLostTest, AMadeUpLostFollowsItsChildren) {
  Store store;
  const FolderId self = AddFolder(store, u"self", 200, 200);
  const FileId inside = AddFile(store, u"inside.txt", 200);
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Ntfs);
  const TreeNodeIndex lost = *tree.lostNode();
  TickNode(store, tree, lost, true);
  EXPECT_TRUE(NodeTicked(store, tree, lost));
  EXPECT_EQ(store.folder(self).selected, kFlagYes);
  EXPECT_EQ(store.file(inside).selected, kFlagYes);
  TickNode(store, tree, lost, false);
  EXPECT_FALSE(NodeTicked(store, tree, lost));
  EXPECT_FALSE(NodeTicked(store, tree, kRootNode));
}

}  // namespace
}  // namespace korv

namespace korv {
namespace {

// The command line lists what the results view shows: its listing is the
// tree's rows, node after node breadth first, with the labels as paths.
TEST(ResultsTreeListingTest, TheCommandLineListsTheRowsTheTreeShows) {
  Store store;
  AddFolder(store, u"docs", kRoot, 100);
  AddFolder(store, u"letters", 100, 101);
  AddFolder(store, u"zero", kRoot, 0);
  AddFolder(store, u"ring-a", 201, 200);
  AddFolder(store, u"ring-b", 200, 201);
  AddFolder(store, u"orphan", 300, 301);
  AddFolder(store, u"elsewhere", kRoot, 102, 1);
  AddFile(store, u"root.txt", kRoot);
  AddFile(store, u"nobody.txt", 0);
  AddFile(store, u"letter.txt", 101);
  AddFile(store, u"in-ring.txt", 201);
  ResultsTree tree;
  tree.Build(store, FileSystemKind::Ntfs);

  std::vector<std::string> shown;
  std::vector<std::pair<TreeNodeIndex, std::string>> pending{{kRootNode, ""}};
  for (std::size_t next = 0; next < pending.size(); ++next) {
    const auto [node, prefix] = pending[next];
    for (const TreeNodeIndex child : tree.node(node).children) {
      const std::string path = prefix + tree.node(child).text;
      if (tree.node(child).folder) shown.push_back("D " + path);
      pending.emplace_back(child, path + "/");
    }
    for (const ResultRow& row : FolderRows(store, tree, node)) {
      if (!row.folder) shown.push_back("F " + prefix + RowText(store, row, ResultColumn::Name, FileSystemKind::Ntfs));
    }
  }
  std::vector<std::string> listed;
  for (const FoundTreeEntry& entry : ListFoundTree(store, kRoot, ShownVolume(store))) {
    listed.push_back((entry.folder ? "D " : "F ") + entry.path);
  }
  EXPECT_EQ(listed, shown);
  EXPECT_EQ(listed.size(), 9u);
}

}  // namespace
}  // namespace korv
