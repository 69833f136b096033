// The search dialog over a real Deleted Data Recovery run of the sample
// disk's NTFS volume, opened from the results page and driven as a user
// drives it: the criteria and their defaults, the list of matches, Stop and
// Cancel with their questions, ticking, Select/Unselect All, opening a
// folder on the page, and the criteria panel.
#include "ui/qt/search/advance_search_file.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <cwctype>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "app/session.h"
#include "engine/analysis_progress.h"
#include "qt_test_support.h"
#include "scripted_host.h"
#include "support/test_support.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/pages/results_page.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::WaitUntil;
using test::WhenDialogOpens;

const std::filesystem::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";

template <typename Widget>
Widget* Child(QWidget& parent, const char* name) {
  auto* child = parent.findChild<Widget*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

bool EndsWithIgnoringCase(std::u16string_view name, std::u16string_view end) {
  if (name.size() < end.size()) return false;
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (std::towlower(name[name.size() - end.size() + i]) != std::towlower(end[i])) return false;
  }
  return true;
}

class SearchDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session& session = host.session();
    test::RunDeletedRecovery(session, kSampleDisk, 1);
    if (HasFatalFailure()) return;
    page = std::make_unique<ViewDataInControls>(host);
    page->resize(1000, 640);
    page->show();
    page->Open();
    ASSERT_TRUE(WaitUntil([&] { return !page->busy() && page->currentNode().has_value(); }));
  }

  // Opens the dialog from the page and runs `body` in it; the dialog is
  // closed afterwards unless `body` left it searching.
  void WithDialog(const std::function<void(AdvanceSearchFile&)>& body) {
    bool opened = false;
    WhenDialogOpens(
        [&](QWidget* modal) {
          auto* dialog = qobject_cast<AdvanceSearchFile*>(modal);
          ASSERT_NE(dialog, nullptr);
          body(*dialog);
          if (dialog->isVisible() && !dialog->searching()) dialog->reject();
        },
        &opened);
    page->SearchData();
    EXPECT_TRUE(opened);
  }

  void Search(AdvanceSearchFile& dialog, const QString& name) {
    Child<QLineEdit>(dialog, "searchName")->setText(name);
    ASSERT_TRUE(ClickNamed(&dialog, "searchButton"));
    ASSERT_TRUE(WaitUntil([&] { return !dialog.searching(); }));
  }

  static QAbstractItemModel* Rows(AdvanceSearchFile& dialog) { return Child<QTableView>(dialog, "resultList")->model(); }

  static std::multiset<QString> Names(AdvanceSearchFile& dialog) {
    std::multiset<QString> names;
    QAbstractItemModel* rows = Rows(dialog);
    for (int row = 0; row < rows->rowCount(); ++row) names.insert(rows->index(row, 0).data().toString());
    return names;
  }

  static int RowNamed(AdvanceSearchFile& dialog, const QString& name) {
    QAbstractItemModel* rows = Rows(dialog);
    for (int row = 0; row < rows->rowCount(); ++row) {
      if (rows->index(row, 0).data().toString() == name) return row;
    }
    ADD_FAILURE() << name.toStdString();
    return 0;
  }

  static QString MatchFoundText(std::size_t count) {
    return QString::fromUtf8(kLabelMatchFound.data(), static_cast<qsizetype>(kLabelMatchFound.size())) +
           QString::number(count);
  }

  // The files (and folders of the shown volume) the store holds whose name
  // passes `keep`, by name.
  std::multiset<QString> StoreNames(const std::function<bool(std::u16string_view)>& keep, bool folders = true) {
    std::multiset<QString> names;
    const Store& store = host.session().store;
    if (folders) {
      for (const FolderId id : store.FoldersInOrder()) {
        const FoundFolder& folder = store.folder(id);
        if (folder.volumeNumber == store.currentVolume && keep(folder.name)) {
          names.insert(QString::fromStdU16String(folder.name));
        }
      }
    }
    store.ForEachFileInOrder([&](FileId id) {
      if (keep(store.file(id).name)) names.insert(QString::fromStdU16String(store.file(id).name));
    });
    return names;
  }

  const FoundFile* StoreFile(std::u16string_view name) {
    const Store& store = host.session().store;
    for (FileId id = 0; id < static_cast<FileId>(store.fileCount()); ++id) {
      if (store.file(id).name == name) return &store.file(id);
    }
    return nullptr;
  }

  test::ScriptedHost host;
  std::unique_ptr<ViewDataInControls> page;
};

TEST_F(SearchDialogTest, OpensWithItsDefaultsAndListsTheMatchesNewestFirst) {
  WithDialog([&](AdvanceSearchFile& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Search Data "));
    EXPECT_TRUE(Child<QCheckBox>(dialog, "typeBox")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>(dialog, "includeDeleted")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "dateBox")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "sizeBox")->isChecked());
    EXPECT_FALSE(Child<QComboBox>(dialog, "toYear")->isEnabled()) << "the date fields follow their box";
    EXPECT_EQ(Child<QComboBox>(dialog, "dateKind")->currentText(), QStringLiteral("Created Date"));
    for (const auto& [name, text] : std::vector<std::pair<const char*, const char*>>{
             {"fromDay", "01"}, {"fromMonth", "01"}, {"fromYear", "1970"},
             {"toDay", "31"}, {"toMonth", "12"}, {"toYear", "2030"}, {"sizeUnit", "GB"}}) {
      EXPECT_EQ(Child<QComboBox>(dialog, name)->currentText(), QString::fromLatin1(text)) << name;
    }
    EXPECT_EQ(Child<QLineEdit>(dialog, "sizeFrom")->text(), QStringLiteral("0"));
    EXPECT_EQ(Child<QLineEdit>(dialog, "sizeTo")->text(), QStringLiteral("2"));
    EXPECT_EQ(Child<QLineEdit>(dialog, "searchName")->placeholderText(), QStringLiteral("Example - *.xls"));

    // An empty name finds nothing.
    Search(dialog, {});
    EXPECT_EQ(Rows(dialog)->rowCount(), 0);
    EXPECT_EQ(Child<QLabel>(dialog, "matchFound")->text(), MatchFoundText(0));

    Search(dialog, QStringLiteral("*.TXT"));
    const auto expected = StoreNames([](std::u16string_view name) { return EndsWithIgnoringCase(name, u".txt"); });
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Names(dialog), expected);
    EXPECT_EQ(Child<QLabel>(dialog, "matchFound")->text(), MatchFoundText(expected.size()));
    EXPECT_TRUE(Child<QCheckBox>(dialog, "selectAll")->isEnabled());
    EXPECT_EQ(Child<CHoverButton>(dialog, "searchButton")->caption(), QStringLiteral("&Start Search"));

    // The last file found (in the order added) is on top.
    QString lastFound;
    const Store& store = host.session().store;
    for (FileId id = 0; id < static_cast<FileId>(store.fileCount()); ++id) {
      if (EndsWithIgnoringCase(store.file(id).name, u".txt")) lastFound = QString::fromStdU16String(store.file(id).name);
    }
    EXPECT_EQ(Rows(dialog)->index(0, 0).data().toString(), lastFound);

    const int letter = RowNamed(dialog, QStringLiteral("letter.txt"));
    EXPECT_EQ(Rows(dialog)->index(letter, static_cast<int>(SearchColumn::Path)).data().toString(),
              QStringLiteral("Documents/Letters/"));
    EXPECT_EQ(Rows(dialog)->index(letter, static_cast<int>(SearchColumn::Type)).data().toString(), QStringLiteral("File"));
    EXPECT_EQ(Rows(dialog)->index(letter, static_cast<int>(SearchColumn::Size)).data().toString(), QStringLiteral("55"));
    EXPECT_EQ(Rows(dialog)->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Path"));
  });
}

TEST_F(SearchDialogTest, FoldersAreListedUnlessTheSizeBoxIsTicked) {
  WithDialog([&](AdvanceSearchFile& dialog) {
    Search(dialog, QStringLiteral("documents"));
    const int folder = RowNamed(dialog, QStringLiteral("Documents"));
    EXPECT_EQ(Rows(dialog)->index(folder, static_cast<int>(SearchColumn::Type)).data().toString(), QStringLiteral("Folder"));
    EXPECT_EQ(Rows(dialog)->index(folder, static_cast<int>(SearchColumn::Size)).data().toString(), QStringLiteral("0"));
    EXPECT_EQ(Rows(dialog)->index(folder, static_cast<int>(SearchColumn::Path)).data().toString(), QString());

    Child<QCheckBox>(dialog, "sizeBox")->setChecked(true);
    Child<QLineEdit>(dialog, "sizeTo")->setText(QStringLiteral("0"));
    Search(dialog, QStringLiteral("*"));
    EXPECT_EQ(Names(dialog), StoreNames([](std::u16string_view name) { return !name.empty(); }, false))
        << "0 to 0 sets no limit, and lists no folder";

    Child<QLineEdit>(dialog, "sizeFrom")->setText(QStringLiteral("1"));
    Child<QLineEdit>(dialog, "sizeTo")->setText(QStringLiteral("5"));
    Child<QComboBox>(dialog, "sizeUnit")->setCurrentIndex(static_cast<int>(SizeUnit::KB));
    Search(dialog, QStringLiteral("*"));
    std::multiset<QString> sized;
    const Store& store = host.session().store;
    store.ForEachFileInOrder([&](FileId id) {
      if (store.file(id).size >= 1024 && store.file(id).size <= 5120 && !store.file(id).name.empty()) {
        sized.insert(QString::fromStdU16String(store.file(id).name));
      }
    });
    EXPECT_EQ(Names(dialog), sized);
    EXPECT_TRUE(sized.contains(QStringLiteral("budget.csv")));
  });
}

TEST_F(SearchDialogTest, StopAnsweredNoLetsTheSearchFinishAndYesEndsIt) {
  const auto everything = StoreNames([](std::u16string_view name) { return !name.empty(); });
  WithDialog([&](AdvanceSearchFile& dialog) {
    // The worker is held at its first checkpoint, so Stop finds it running.
    host.answers = {false};
    dialog.searchControl().RequestPause();
    Child<QLineEdit>(dialog, "searchName")->setText(QStringLiteral("*"));
    ASSERT_TRUE(ClickNamed(&dialog, "searchButton"));
    ASSERT_TRUE(WaitUntil([&] { return dialog.searchControl().parked(); }));
    EXPECT_EQ(Child<CHoverButton>(dialog, "searchButton")->caption(), QStringLiteral("&Stop Search"));
    EXPECT_FALSE(Child<QCheckBox>(dialog, "selectAll")->isEnabled());
    ASSERT_TRUE(ClickNamed(&dialog, "searchButton"));
    EXPECT_EQ(host.questions, std::vector<std::string>{std::string(kQuestionStopSearching)});
    ASSERT_TRUE(WaitUntil([&] { return !dialog.searching(); }));
    EXPECT_EQ(Child<QLabel>(dialog, "matchFound")->text(), MatchFoundText(everything.size()));
    EXPECT_EQ(Names(dialog), everything);

    host.answers = {true};
    dialog.searchControl().RequestPause();
    ASSERT_TRUE(ClickNamed(&dialog, "searchButton"));
    ASSERT_TRUE(WaitUntil([&] { return dialog.searchControl().parked(); }));
    ASSERT_TRUE(ClickNamed(&dialog, "searchButton"));
    EXPECT_FALSE(dialog.searching()) << "Yes ends the search at once";
    EXPECT_EQ(Rows(dialog)->rowCount(), 0);
    EXPECT_TRUE(Child<QCheckBox>(dialog, "selectAll")->isEnabled());
    EXPECT_EQ(Child<CHoverButton>(dialog, "searchButton")->caption(), QStringLiteral("&Start Search"));
  });
}

TEST_F(SearchDialogTest, CancelWhileSearchingAsksAndKeepsTheDialogOpen) {
  const auto everything = StoreNames([](std::u16string_view name) { return !name.empty(); });
  WithDialog([&](AdvanceSearchFile& dialog) {
    Child<QLineEdit>(dialog, "searchName")->setText(QStringLiteral("*"));
    for (const bool end : {false, true}) {
      host.answers = {end};
      dialog.searchControl().RequestPause();
      ASSERT_TRUE(ClickNamed(&dialog, "searchButton"));
      ASSERT_TRUE(WaitUntil([&] { return dialog.searchControl().parked(); }));
      dialog.reject();
      EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open either way";
      ASSERT_TRUE(WaitUntil([&] { return !dialog.searching(); }));
      EXPECT_EQ(Names(dialog).size(), end ? 0u : everything.size());
    }
    EXPECT_EQ(host.questions, (std::vector<std::string>(2, std::string(kQuestionStopSearchProcess))));
    // With no search running, Cancel closes.
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
  });
}

TEST_F(SearchDialogTest, RowsTickAsTheResultsPagesRowsAndFoldersOpenOnThePage) {
  WithDialog([&](AdvanceSearchFile& dialog) {
    Search(dialog, QStringLiteral("*"));
    QAbstractItemModel* rows = Rows(dialog);
    rows->setData(rows->index(RowNamed(dialog, QStringLiteral("letter.txt")), 0), Qt::Checked, Qt::CheckStateRole);
    ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
    EXPECT_EQ(StoreFile(u"letter.txt")->selected, kFlagYes);
    EXPECT_EQ(StoreFile(u"notes.txt")->selected, kFlagNo);
    EXPECT_EQ(rows->index(RowNamed(dialog, QStringLiteral("letter.txt")), 0).data(Qt::CheckStateRole).toInt(),
              Qt::Checked);
    const int letters = RowNamed(dialog, QStringLiteral("Letters"));
    EXPECT_EQ(rows->index(letters, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked) << "its folder follows";

    // Every row's record takes the flag.
    const auto flagsOfRows = [&](char flag) {
      for (int row = 0; row < rows->rowCount(); ++row) {
        const QModelIndex name = rows->index(row, 0);
        const bool folder = rows->index(row, static_cast<int>(SearchColumn::Type)).data().toString().endsWith(
            QStringLiteral("Folder"));
        if (folder) continue;
        const FoundFile* file = StoreFile(name.data().toString().toStdU16String());
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->selected, flag) << name.data().toString().toStdString();
        EXPECT_EQ(name.data(Qt::CheckStateRole).toInt(), flag == kFlagYes ? Qt::Checked : Qt::Unchecked);
      }
    };
    Child<QCheckBox>(dialog, "selectAll")->setChecked(true);
    ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
    flagsOfRows(kFlagYes);
    Child<QCheckBox>(dialog, "selectAll")->setChecked(false);
    ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
    flagsOfRows(kFlagNo);

    auto* view = Child<QTableView>(dialog, "resultList");
    emit view->doubleClicked(rows->index(RowNamed(dialog, QStringLiteral("Letters")), 0));
    ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
    ASSERT_TRUE(page->currentNode().has_value());
    EXPECT_NE(*page->currentNode(), kRootNode) << "the page shows the folder";

    auto* panelButton = Child<QPushButton>(dialog, "panelButton");
    auto* panel = Child<QWidget>(dialog, "criteriaPanel");
    EXPECT_EQ(panelButton->text(), QStringLiteral("<<"));
    QTest::mouseClick(panelButton, Qt::LeftButton);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panelButton->text(), QStringLiteral(">>"));
    QTest::mouseClick(panelButton, Qt::LeftButton);
    EXPECT_TRUE(panel->isVisible());
  });
}

}  // namespace
}  // namespace korv
