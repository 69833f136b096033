// The search dialog's logic: the criteria its controls give, and the texts
// of its result rows, paths above all.
#include "ui/logic/search_results.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korv {
namespace {

constexpr std::uint32_t kRoot = NtfsRootNumber;

TEST(SearchFormTest, TheDefaultsGiveTheDialogsCriteria) {
  const SearchForm defaults;
  const SearchCriteria criteria = CriteriaOf(defaults);
  EXPECT_TRUE(criteria.name.empty()) << "an empty name finds nothing";
  EXPECT_EQ(criteria.deleted, DeletedChoice::Include);
  EXPECT_FALSE(criteria.date);
  EXPECT_FALSE(criteria.size);

  SearchForm ticked;
  ticked.name = "r\u00E9sum\u00E9*";
  ticked.typeTicked = false;
  ticked.dateTicked = true;
  ticked.sizeTicked = true;
  const SearchCriteria all = CriteriaOf(ticked);
  EXPECT_EQ(all.name, u"r\u00E9sum\u00E9*");
  EXPECT_FALSE(all.deleted);
  ASSERT_TRUE(all.date);
  EXPECT_EQ(all.date->kind, DateKind::Created);
  EXPECT_EQ(all.date->from, (CalendarDate{1970, 1, 1}));
  EXPECT_EQ(all.date->to, (CalendarDate{2030, 12, 31}));
  ASSERT_TRUE(all.size);
  EXPECT_EQ(all.size->from, 0u);
  EXPECT_EQ(all.size->to, 2ULL << 30) << "0 to 2 GB";
}

TEST(SearchFormTest, SizeFieldsAreReadAsUnsigned32BitNumbers) {
  struct Case {
    std::string text;
    std::uint32_t value;
  };
  for (const Case& c : {Case{"", 0}, Case{"0", 0}, Case{"1024", 1024}, Case{"12abc", 12}, Case{"x1", 0},
                        Case{"4294967295", 4294967295u}, Case{"4294967296", 4294967295u},
                        Case{"99999999999999999999", 4294967295u}}) {
    EXPECT_EQ(SizeFieldValue(c.text), c.value) << c.text;
  }
}

class SearchRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    documents = store.AddFolder({.name = {.wide = u"Documents"}, .parentNumber = kRoot, .ownNumber = 100}).id;
    letters = store.AddFolder({.name = {.wide = u"Letters"}, .deleted = kFlagYes, .parentNumber = 100, .ownNumber = 101}).id;
    orphan = store.AddFolder({.name = {.wide = u"orphan"}, .parentNumber = LostNumber, .ownNumber = 300}).id;
    letter = store.AddFile({.name = {.wide = u"letter.txt"}, .size = 55, .parentNumber = 101, .stream = {}});
    notes = store.AddFile({.name = {.wide = u"notes.txt"}, .size = 31, .parentNumber = kRoot, .stream = {}});
    stray = store.AddFile({.name = {.wide = u"stray.bin"}, .parentNumber = 999, .stream = {}});
    lost = store.AddFile({.name = {.wide = u"lost.bin"}, .parentNumber = LostNumber, .stream = {}});
    tree.Build(store, FileSystemKind::Ntfs);
  }

  std::string Cell(bool folder, std::uint32_t id, SearchColumn column) {
    return MatchCellText(store, tree, {folder, id}, column);
  }

  Store store;
  ResultsTree tree;
  FolderId documents = 0, letters = 0, orphan = 0;
  FileId letter = 0, notes = 0, stray = 0, lost = 0;
};

TEST_F(SearchRowsTest, PathsAreTheTreesLabelsDownToTheItemsFolder) {
  EXPECT_EQ(Cell(false, letter, SearchColumn::Path), "Documents/Letters/");
  EXPECT_EQ(Cell(true, letters, SearchColumn::Path), "Documents/");
  EXPECT_EQ(Cell(true, documents, SearchColumn::Path), "");
  EXPECT_EQ(Cell(false, notes, SearchColumn::Path), "");
  EXPECT_EQ(Cell(false, stray, SearchColumn::Path), "") << "a file the tree does not show";
  EXPECT_EQ(Cell(true, orphan, SearchColumn::Path), "Lost/");
  EXPECT_EQ(Cell(false, lost, SearchColumn::Path), "Lost/");
}

TEST_F(SearchRowsTest, OtherColumnsReadAsTheResultsList) {
  for (const auto& [folder, id] : std::vector<std::pair<bool, std::uint32_t>>{{false, letter}, {true, letters}}) {
    const ResultRow row{folder, id};
    EXPECT_EQ(Cell(folder, id, SearchColumn::Name), RowText(store, row, ResultColumn::Name, FileSystemKind::Ntfs));
    EXPECT_EQ(Cell(folder, id, SearchColumn::Type), RowText(store, row, ResultColumn::Type, FileSystemKind::Ntfs));
    EXPECT_EQ(Cell(folder, id, SearchColumn::Size), RowText(store, row, ResultColumn::Size, FileSystemKind::Ntfs));
    EXPECT_EQ(Cell(folder, id, SearchColumn::Created), RowText(store, row, ResultColumn::Created, FileSystemKind::Ntfs));
    EXPECT_EQ(Cell(folder, id, SearchColumn::Modified),
              RowText(store, row, ResultColumn::Modified, FileSystemKind::Ntfs));
    EXPECT_EQ(Cell(folder, id, SearchColumn::Accessed),
              RowText(store, row, ResultColumn::Accessed, FileSystemKind::Ntfs));
    EXPECT_EQ(Cell(folder, id, SearchColumn::Id), RowText(store, row, ResultColumn::Id, FileSystemKind::Ntfs));
  }
  EXPECT_EQ(Cell(true, letters, SearchColumn::Type), "Deleted Folder");
  EXPECT_EQ(Cell(true, letters, SearchColumn::Size), "0");
  EXPECT_EQ(Cell(false, letter, SearchColumn::Size), "55");
  std::vector<std::string_view> headings;
  for (int column = 0; column < kSearchColumnCount; ++column) {
    headings.push_back(SearchColumnHeading(static_cast<SearchColumn>(column)));
  }
  EXPECT_EQ(headings, (std::vector<std::string_view>{"File Name", "Type", "Path", "File Size", "Created Date",
                                                      "Modified Date", "Last Accessed", "ID"}));
  EXPECT_EQ(SearchColumnWidth(SearchColumn::Path), 350);
}

}  // namespace
}  // namespace korv
