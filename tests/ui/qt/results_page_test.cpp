// The results page over real Deleted Data Recovery runs of the sample disk
// (NTFS partition 1, FAT32 partition 2), driven as a user drives it: the
// tree and the list against the store, navigation, ticks, sorting, rename,
// preview and open, Back, the switch to formatted recovery, and a full save
// through the Save button and its dialogs.
#include "ui/qt/pages/results_page.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QBrush>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QRegularExpression>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "engine/analysis_job.h"
#include "engine/analysis_progress.h"
#include "qt_test_support.h"
#include "save/save_walk.h"
#include "scripted_host.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "ui/logic/preview_rules.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/qt_prompts.h"
#include "ui/qt/results/file_opener.h"
#include "ui/qt/results/preview_pane.h"
#include "ui/qt/wizard_host.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::ClickNamed;
using test::DialogText;
using test::WaitUntil;
using test::WhenDialogOpens;

const fs::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";
constexpr int kNtfsPartition = 1;
constexpr int kFatPartition = 2;

using FakeHost = test::ScriptedHost;

QString Q(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }

QColor ForegroundOf(const QModelIndex& index) {
  const QVariant value = index.data(Qt::ForegroundRole);
  if (value.typeId() == QMetaType::QColor) return value.value<QColor>();
  return value.value<QBrush>().color();
}

bool Checked(const QModelIndex& index) { return index.data(Qt::CheckStateRole).toInt() == Qt::Checked; }

// A double-click as the window system delivers it: press, release, then
// the double-click.
void DoubleClick(QAbstractItemView* view, const QModelIndex& index) {
  const QPoint at = view->visualRect(index).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, at);
}

// Clicks OK on the message dialog that shows `text`, whenever it opens.
void AcknowledgeWhenShown(std::string text, bool* acknowledged) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || DialogText(modal) != text) return;
    timer->stop();
    timer->deleteLater();
    *acknowledged = true;
    ClickNamed(modal, "okButton");
  });
  timer->start(20);
}

class ResultsPageTest : public ::testing::Test {
 protected:
  // A Deleted Data Recovery of `partition`, then the page opened over it.
  void OpenAfterDeletedRun(int partition, std::size_t backgroundItems = kBackgroundItemCount) {
    Session& session = host.session();
    test::RunDeletedRecovery(session, kSampleDisk, partition);
    if (HasFatalFailure()) return;
    OpenPage(backgroundItems);
  }

  // The page opened over what the store holds now.
  void OpenPage(std::size_t backgroundItems = kBackgroundItemCount) {
    page = std::make_unique<ViewDataInControls>(host);
    page->SetBackgroundItemCount(backgroundItems);
    page->resize(1000, 640);
    page->show();
    page->Open();
    ASSERT_TRUE(WaitUntil([&] { return !page->busy() && list()->model()->rowCount() > 0; }));
    tree = page->findChild<QTreeView*>(QStringLiteral("folderTree"));
    ASSERT_NE(tree, nullptr);
  }

  Store& store() { return host.session().store; }
  QTableView* list() const { return page->findChild<QTableView*>(QStringLiteral("itemList")); }
  QAbstractItemModel* rows() const { return list()->model(); }
  PreviewPane* pane() const { return page->findChild<PreviewPane*>(QStringLiteral("previewPane")); }

  QStringList ListNames() const {
    QStringList names;
    for (int row = 0; row < rows()->rowCount(); ++row) names << rows()->index(row, 0).data().toString();
    return names;
  }
  int RowNamed(const QString& name) const {
    const int row = static_cast<int>(ListNames().indexOf(name));
    EXPECT_GE(row, 0) << name.toStdString();
    return row;
  }
  QString Cell(const QString& name, ResultColumn column) const {
    return rows()->index(RowNamed(name), static_cast<int>(column)).data().toString();
  }

  QModelIndex RootIndex() const { return tree->model()->index(0, 0); }
  // A tree node by its labels below the root.
  QModelIndex NodeAt(const QStringList& path) const {
    QModelIndex at = RootIndex();
    for (const QString& label : path) {
      QModelIndex next;
      for (int row = 0; row < tree->model()->rowCount(at); ++row) {
        const QModelIndex child = tree->model()->index(row, 0, at);
        if (child.data().toString() == label) next = child;
      }
      EXPECT_TRUE(next.isValid()) << label.toStdString();
      at = next;
    }
    return at;
  }
  void ClickNode(const QStringList& path) {
    const QModelIndex node = NodeAt(path);
    tree->scrollTo(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(node).center());
  }
  // What a click on a check box asks of its model.
  void SetChecked(QAbstractItemModel* model, const QModelIndex& index, bool checked) {
    model->setData(index, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
  }
  void SelectRow(const QString& name) {
    list()->setCurrentIndex(rows()->index(RowNamed(name), 0));
    ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
  }

  const FoundFile* StoreFile(std::u16string_view name) {
    for (FileId id = 0; id < static_cast<FileId>(store().fileCount()); ++id) {
      if (store().file(id).name == name) return &store().file(id);
    }
    return nullptr;
  }
  const FoundFolder* StoreFolder(std::u16string_view name) {
    for (const FolderId id : store().FoldersInOrder()) {
      if (store().folder(id).name == name) return &store().folder(id);
    }
    return nullptr;
  }

  FakeHost host;
  std::unique_ptr<ViewDataInControls> page;
  QTreeView* tree = nullptr;
};

TEST_F(ResultsPageTest, OpensOnTheNtfsRootWithTheStoresFoldersAndRows) {
  OpenAfterDeletedRun(kNtfsPartition);
  EXPECT_EQ(host.session().wizard.activePage, ActivePage::Results);
  EXPECT_EQ(page->currentNode(), kRootNode);

  // The tree: "This PC", below it the store's root folders in list order.
  ASSERT_EQ(tree->model()->rowCount(), 1);
  EXPECT_EQ(RootIndex().data().toString(), QString::fromUtf8(kResultsRootText.data()));
  QStringList storeRootFolders;
  for (const FolderId id : store().ChildFolders(NtfsRootNumber)) {
    if (store().folder(id).volumeNumber == store().currentVolume) storeRootFolders << Q(store().folder(id).name);
  }
  QStringList treeRootFolders;
  for (int row = 0; row < tree->model()->rowCount(RootIndex()); ++row) {
    treeRootFolders << tree->model()->index(row, 0, RootIndex()).data().toString();
  }
  EXPECT_EQ(treeRootFolders, storeRootFolders);
  EXPECT_TRUE(tree->isExpanded(RootIndex()));
  EXPECT_EQ(NodeAt({"Documents", "Letters"}).data().toString(), QStringLiteral("Letters"));

  // The list: the root's folders and files with their texts; deleted rows red.
  EXPECT_EQ(rows()->columnCount(), kResultColumnCount);
  EXPECT_EQ(Cell("notes.txt", ResultColumn::Type), QStringLiteral("File"));
  EXPECT_EQ(Cell("notes.txt", ResultColumn::Size), QStringLiteral("31"));
  EXPECT_EQ(Cell("Documents", ResultColumn::Type), QStringLiteral("Folder"));
  EXPECT_EQ(Cell("Documents", ResultColumn::Size), QStringLiteral("0"));
  EXPECT_EQ(Cell("Photos", ResultColumn::Type), QStringLiteral("Deleted Folder"));
  const QRegularExpression ntfsDate(QStringLiteral("^\\d\\d-[A-Z][a-z]{2}-\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
  EXPECT_TRUE(ntfsDate.match(Cell("notes.txt", ResultColumn::Modified)).hasMatch());
  EXPECT_TRUE(ntfsDate.match(Cell("notes.txt", ResultColumn::Accessed)).hasMatch());
  EXPECT_EQ(ForegroundOf(rows()->index(RowNamed("Photos"), 0)), QColor(art::kDeletedInk));
  EXPECT_EQ(ForegroundOf(rows()->index(RowNamed("notes.txt"), 3)), QColor(art::kInk));
  EXPECT_EQ(list()->columnWidth(0), ResultColumnWidth(ResultColumn::Name));

  // Only after Deleted Data Recovery: the hint to try formatted recovery.
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages.front(), kMsgTryFormatted);
}

TEST_F(ResultsPageTest, FatDatesDeletedFilesAndNavigation) {
  OpenAfterDeletedRun(kFatPartition);
  EXPECT_EQ(Cell("README.TXT", ResultColumn::Size), QStringLiteral("26"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d-[A-Z][a-z]{2}-\\d{4} \\d\\d:\\d\\d$"))
                  .match(Cell("README.TXT", ResultColumn::Modified))
                  .hasMatch());
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d-[A-Z][a-z]{2}-\\d{4}$"))
                  .match(Cell("README.TXT", ResultColumn::Accessed))
                  .hasMatch());
  // The first fill widens the columns to their texts: no date is cut.
  const int modified = static_cast<int>(ResultColumn::Modified);
  EXPECT_GE(list()->columnWidth(modified),
            list()->fontMetrics().horizontalAdvance(Cell("README.TXT", ResultColumn::Modified)));

  // A click on a node shows its rows; Up comes back to the root.
  ClickNode({"Projects"});
  EXPECT_TRUE(ListNames().contains(QStringLiteral("invoices.txt")));
  EXPECT_FALSE(ListNames().contains(QStringLiteral("README.TXT")));
  const int deleted = RowNamed(QStringLiteral("Old Archive List.txt"));
  EXPECT_EQ(rows()->index(deleted, 1).data().toString(), QStringLiteral("Deleted File"));
  EXPECT_EQ(ForegroundOf(rows()->index(deleted, 0)), QColor(art::kDeletedInk));

  ClickNamed(page.get(), "upButton");
  EXPECT_EQ(page->currentNode(), kRootNode);
  EXPECT_TRUE(ListNames().contains(QStringLiteral("README.TXT")));

  // Double-click on a folder row opens it in the tree.
  const QModelIndex projects = rows()->index(RowNamed("Projects"), 0);
  DoubleClick(list(), projects);
  ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
  EXPECT_EQ(tree->currentIndex(), NodeAt({"Projects"}));
  EXPECT_TRUE(ListNames().contains(QStringLiteral("invoices.txt")));
}

TEST_F(ResultsPageTest, TicksPropagateBetweenTreeListAndStore) {
  OpenAfterDeletedRun(kNtfsPartition);
  auto* treeModel = tree->model();

  // Ticking a node ticks its subtree, its files and its row in the list.
  SetChecked(treeModel, NodeAt({"Documents"}), true);
  EXPECT_TRUE(Checked(NodeAt({"Documents"})));
  EXPECT_TRUE(Checked(NodeAt({"Documents", "Letters"})));
  EXPECT_TRUE(Checked(rows()->index(RowNamed("Documents"), 0)));
  EXPECT_FALSE(Checked(rows()->index(RowNamed("Photos"), 0)));
  EXPECT_EQ(StoreFolder(u"Letters")->selected, kFlagYes);
  EXPECT_EQ(StoreFile(u"letter.txt")->selected, kFlagYes);
  EXPECT_EQ(StoreFile(u"minutes.rtf")->selected, kFlagYes);
  EXPECT_EQ(StoreFile(u"notes.txt")->selected, kFlagNo);

  // Unticking files: Letters goes only when nothing in it is selected;
  // Documents stays, it holds selected files of its own.
  ClickNode({"Documents", "Letters"});
  SetChecked(rows(), rows()->index(RowNamed("letter.txt"), 0), false);
  EXPECT_EQ(StoreFile(u"letter.txt")->selected, kFlagNo);
  EXPECT_TRUE(Checked(NodeAt({"Documents", "Letters"})));
  SetChecked(rows(), rows()->index(RowNamed("letters.zip"), 0), false);
  EXPECT_FALSE(Checked(NodeAt({"Documents", "Letters"})));
  EXPECT_EQ(StoreFolder(u"Letters")->selected, kFlagNo);
  EXPECT_TRUE(Checked(NodeAt({"Documents"})));

  // A ticked file ticks its folder again; a folder row ticks its subtree.
  SetChecked(rows(), rows()->index(RowNamed("letter.txt"), 0), true);
  EXPECT_TRUE(Checked(NodeAt({"Documents", "Letters"})));
  ClickNamed(page.get(), "upButton");
  ClickNamed(page.get(), "upButton");
  SetChecked(rows(), rows()->index(RowNamed("Photos"), 0), true);
  EXPECT_TRUE(Checked(NodeAt({"Photos"})));
  EXPECT_EQ(StoreFile(u"holiday.bmp")->selected, kFlagYes);
}

TEST_F(ResultsPageTest, BigStoresBuildAndTickOnAWorker) {
  OpenAfterDeletedRun(kNtfsPartition, /*backgroundItems=*/0);
  EXPECT_TRUE(NodeAt({"Documents", "Letters"}).isValid());
  EXPECT_TRUE(ListNames().contains(QStringLiteral("notes.txt")));

  SetChecked(tree->model(), RootIndex(), true);
  EXPECT_TRUE(list()->isEnabled());
  for (FileId id = 0; id < static_cast<FileId>(store().fileCount()); ++id) {
    EXPECT_EQ(store().file(id).selected, kFlagYes);
  }
  EXPECT_TRUE(Checked(rows()->index(RowNamed("notes.txt"), 0)));
  SetChecked(tree->model(), RootIndex(), false);
  EXPECT_EQ(StoreFile(u"notes.txt")->selected, kFlagNo);
}

TEST_F(ResultsPageTest, HeaderClicksSortAndFlipTheDirection) {
  OpenAfterDeletedRun(kNtfsPartition);
  ClickNode({"Documents"});
  QHeaderView* header = list()->horizontalHeader();
  const auto clickHeader = [&](ResultColumn column) {
    const int section = static_cast<int>(column);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
  };
  const auto sizes = [&] {
    std::vector<qulonglong> values;
    for (int row = 0; row < rows()->rowCount(); ++row) values.push_back(rows()->index(row, 2).data().toULongLong());
    return values;
  };

  clickHeader(ResultColumn::Size);
  const std::vector<qulonglong> first = sizes();
  const bool firstAscending = std::is_sorted(first.begin(), first.end());
  EXPECT_TRUE(firstAscending || std::is_sorted(first.rbegin(), first.rend()));
  clickHeader(ResultColumn::Size);
  const std::vector<qulonglong> second = sizes();
  if (firstAscending) {
    EXPECT_TRUE(std::is_sorted(second.rbegin(), second.rend()));
  } else {
    EXPECT_TRUE(std::is_sorted(second.begin(), second.end()));
  }
  EXPECT_NE(first, second);

  clickHeader(ResultColumn::Name);
  QStringList names = ListNames();
  QStringList sorted = names;
  std::sort(sorted.begin(), sorted.end(),
            [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  if (names != sorted) std::reverse(sorted.begin(), sorted.end());
  EXPECT_EQ(names, sorted);
}

TEST_F(ResultsPageTest, F2RenamesRowsAndNodesAndRefusesEmptyNames) {
  OpenAfterDeletedRun(kNtfsPartition);
  const auto editAndType = [&](QWidget* view, const QString& text) {
    QTest::keyClick(view, Qt::Key_F2);
    auto* editor = view->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->isVisible());
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Backspace);
    if (!text.isEmpty()) QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::qWait(20);
  };

  SelectRow(QStringLiteral("notes.txt"));
  editAndType(list(), QStringLiteral("renamed.txt"));
  EXPECT_NE(StoreFile(u"renamed.txt"), nullptr);
  EXPECT_TRUE(ListNames().contains(QStringLiteral("renamed.txt")));

  SelectRow(QStringLiteral("renamed.txt"));
  editAndType(list(), QString());
  EXPECT_NE(StoreFile(u"renamed.txt"), nullptr);
  EXPECT_TRUE(ListNames().contains(QStringLiteral("renamed.txt")));

  // A folder row: the record and its tree label.
  SelectRow(QStringLiteral("Photos"));
  editAndType(list(), QStringLiteral("Pictures"));
  EXPECT_NE(StoreFolder(u"Pictures"), nullptr);
  EXPECT_EQ(NodeAt({"Pictures"}).data().toString(), QStringLiteral("Pictures"));

  // The tree's current node when no single row is selected.
  ClickNode({"Documents"});
  list()->clearSelection();
  editAndType(tree, QStringLiteral("Papers"));
  EXPECT_NE(StoreFolder(u"Papers"), nullptr);
  EXPECT_EQ(NodeAt({"Papers"}).data().toString(), QStringLiteral("Papers"));
}

TEST_F(ResultsPageTest, PreviewShowsTheKindTheNameAsksFor) {
  OpenAfterDeletedRun(kNtfsPartition);
  ClickNode({"Documents"});
  SelectRow(QStringLiteral("minutes.rtf"));
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::RichText);
  SelectRow(QStringLiteral("report.txt"));
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::NoPreview);
  SelectRow(QStringLiteral("Letters"));
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::Idle);

  // Another folder's rows: the preview of a row no longer listed goes.
  SelectRow(QStringLiteral("minutes.rtf"));
  ClickNode({"Documents", "Letters"});
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::Idle);
  SelectRow(QStringLiteral("letters.zip"));
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::Archive);
  EXPECT_TRUE(list()->isEnabled());
  EXPECT_TRUE(page->findChild<QWidget*>(QStringLiteral("backButton"))->isEnabled());

  // Double-click opens any file, extracted whole, in the desktop's program.
  std::vector<QUrl> opened;
  page->fileOpener().defaultHandler = [](const QString&) { return QStringLiteral("viewer.desktop"); };
  page->fileOpener().openUrl = [&](const QUrl& url) {
    opened.push_back(url);
    return true;
  };
  const QModelIndex letter = rows()->index(RowNamed("letter.txt"), 0);
  SelectRow(QStringLiteral("letter.txt"));
  DoubleClick(list(), letter);
  ASSERT_TRUE(WaitUntil([&] { return !opened.empty() && !page->busy(); }));
  const fs::path extracted = opened.front().toLocalFile().toStdString();
  EXPECT_EQ(extracted.filename(), "letter.txt");
  EXPECT_EQ(fs::file_size(extracted), 55u);

  // The context menu's "&Open" on a selected row.
  QTimer::singleShot(50, [] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    auto* open = menu->findChild<QAction*>(QStringLiteral("openAction"));
    if (open != nullptr) QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(open).center());
  });
  const QPoint at = list()->visualRect(letter).center();
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list()->viewport(), &event);
  ASSERT_TRUE(WaitUntil([&] { return opened.size() == 2 && !page->busy(); }));
}

// "&Stop" while a preview is extracted: the question holds the end of the
// extraction; Yes shows nothing of it, No shows it.
TEST_F(ResultsPageTest, StopQuestionDecidesWhetherThePreviewShows) {
  OpenAfterDeletedRun(kNtfsPartition);
  ClickNode({"Documents"});
  host.whileAsking = [] { QTest::qWait(200); };
  const auto previewWithAnswer = [&](bool stop) {
    SelectRow(QStringLiteral("report.txt"));
    ASSERT_EQ(pane()->showing(), PreviewPane::Showing::NoPreview);
    host.answers = {stop};
    list()->setCurrentIndex(rows()->index(RowNamed("minutes.rtf"), 0));
    ASSERT_TRUE(page->busy());
    emit pane()->stopRequested();
    ASSERT_TRUE(WaitUntil([&] { return !page->busy(); }));
  };

  previewWithAnswer(true);
  EXPECT_EQ(host.questions.back(), kQuestionStopPreview);
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::NoPreview);
  EXPECT_TRUE(list()->isEnabled());

  previewWithAnswer(false);
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::RichText);
}

TEST_F(ResultsPageTest, PreviewOfAPictureOnFat) {
  OpenAfterDeletedRun(kFatPartition);
  ClickNode({"Projects"});
  const QString bmp = ListNames().filter(QRegularExpression(QStringLiteral("(?i)^holiday\\.bmp$"))).value(0);
  ASSERT_FALSE(bmp.isEmpty()) << ListNames().join(',').toStdString();
  SelectRow(bmp);
  EXPECT_EQ(pane()->showing(), PreviewPane::Showing::Picture);
}

TEST_F(ResultsPageTest, ListViewsShareTheRows) {
  OpenAfterDeletedRun(kNtfsPartition);
  auto* icons = page->findChild<QListView*>(QStringLiteral("iconList"));
  page->SetListView(MenuItem::LargeIcons);
  EXPECT_TRUE(icons->isVisible());
  EXPECT_FALSE(list()->isVisible());
  EXPECT_EQ(icons->viewMode(), QListView::IconMode);
  EXPECT_EQ(icons->model()->rowCount(), rows()->rowCount());
  page->SetListView(MenuItem::SmallIcons);
  EXPECT_EQ(icons->viewMode(), QListView::ListMode);
  EXPECT_LT(icons->iconSize().width(), 32);
  page->SetListView(MenuItem::Details);
  EXPECT_TRUE(list()->isVisible());
  EXPECT_EQ(page->listView(), MenuItem::Details);
}

TEST_F(ResultsPageTest, BackAsksAndEmptiesTheStoreOnYes) {
  OpenAfterDeletedRun(kNtfsPartition);
  const std::int32_t folders = store().folderCount();
  host.answers = {false};
  ClickNamed(page.get(), "backButton");
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions.back(), kQuestionGoBack);
  EXPECT_EQ(host.resultsClosed, 0);
  EXPECT_EQ(store().folderCount(), folders);

  host.answers = {true};
  ClickNamed(page.get(), "backButton");
  EXPECT_EQ(host.resultsClosed, 1);
  EXPECT_EQ(store().folderCount(), 0);
  EXPECT_EQ(store().fileCount(), 0);
  EXPECT_EQ(rows()->rowCount(), 0);
  EXPECT_FALSE(host.session().runFlags.logLoaded);
}

TEST_F(ResultsPageTest, SwitchToFormattedAsksThenRestarts) {
  OpenAfterDeletedRun(kNtfsPartition);
  host.answers = {false};
  page->SwitchToFormatted();
  EXPECT_EQ(host.formattedRestarts, 0);
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions.back(), std::string(kMsgSwitchingToFormatted) + "\n" + std::string(kQuestionStartProcess));

  host.answers = {true};
  page->SwitchToFormatted();
  EXPECT_EQ(host.formattedRestarts, 1);
  EXPECT_EQ(host.resultsClosed, 0);
  EXPECT_EQ(store().fileCount(), 0);
}

TEST_F(ResultsPageTest, SaveButtonSavesTheTickedFiles) {
  OpenAfterDeletedRun(kNtfsPartition);
  SetChecked(tree->model(), NodeAt({"Documents"}), true);
  test::TempDir out;
  bool verdictSeen = false;
  bool destinationAnswered = false;
  WhenDialogOpens(
      [&](QWidget* dialog) {
        auto* path = dialog->findChild<QLineEdit*>(QStringLiteral("pathEdit"));
        ASSERT_NE(path, nullptr);
        path->setText(QString::fromStdString(out.path().string()));
        AcknowledgeWhenShown(std::string(kMsgSavingCompleted), &verdictSeen);
        ClickNamed(dialog, "okButton");
      },
      &destinationAnswered);
  ClickNamed(page.get(), "saveButton");
  ASSERT_TRUE(WaitUntil([&] { return QApplication::activeModalWidget() == nullptr; }));
  EXPECT_TRUE(destinationAnswered);
  EXPECT_TRUE(verdictSeen);

  std::vector<std::string> saved;
  for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
    if (entry.is_regular_file()) saved.push_back(entry.path().filename().string());
  }
  std::sort(saved.begin(), saved.end());
  EXPECT_EQ(saved, (std::vector<std::string>{"budget.csv", "letter.txt", "letters.zip", "minutes.rtf", "report.txt"}));
  EXPECT_EQ(fs::file_size(out.path() / "Documents" / "report.txt"), 38893u);
}

// A file's alternate data streams and its second names are rows like any
// file's, deleted ones too, and are saved under their own names.
TEST_F(ResultsPageTest, StreamsAndHardLinksAreRowsSavedUnderTheirNames) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  test::TempDir scratch;
  const fs::path disk = scratch.path() / "streams.vhd";
  ASSERT_TRUE(test::QemuConvert(test::TestDisksDir() / "ntfs-volumes" / "ntfs-streams.raw", disk, "vpc"));
  Session& session = host.session();
  ASSERT_TRUE(session.OpenVirtualFile(disk).accepted);
  ASSERT_TRUE(session.SelectDisk());
  // The volume stands alone at sector 2048, without a partition table.
  session.range.firstSector = 2048;
  session.range.endSector = 2048 + 32768;
  session.range.fileSystem = FileSystemKind::Ntfs;
  ChooseMode(session.wizard, RecoveryMode::DeletedData);
  NullProgress sink;
  AnalysisProgress progress(sink);
  ASSERT_EQ(session.AnalyseSelectedRange(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
  OpenPage();

  ClickNode({"Streams"});
  ASSERT_TRUE(WaitUntil([&] { return !page->busy() && ListNames().contains(QStringLiteral("notes.txt:meta")); }));
  const QStringList names = ListNames();
  for (const char* name : {"notes.txt", "notes.txt:Zone.Identifier", "big.bin:payload", "linked.txt", "linked-too.txt",
                           "linked-too.txt:meta", "gone.txt", "gone.txt:blob"}) {
    EXPECT_TRUE(names.contains(QString::fromLatin1(name))) << name;
  }
  EXPECT_EQ(ForegroundOf(rows()->index(RowNamed(QStringLiteral("gone.txt:blob")), 0)),
            ForegroundOf(rows()->index(RowNamed(QStringLiteral("gone.txt")), 0)))
      << "a deleted file's streams show as deleted";

  SetChecked(tree->model(), NodeAt({"Streams"}), true);
  test::TempDir out;
  bool verdictSeen = false;
  bool destinationAnswered = false;
  WhenDialogOpens(
      [&](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("pathEdit"))->setText(QString::fromStdString(out.path().string()));
        AcknowledgeWhenShown(std::string(kMsgSavingCompleted), &verdictSeen);
        ClickNamed(dialog, "okButton");
      },
      &destinationAnswered);
  ClickNamed(page.get(), "saveButton");
  ASSERT_TRUE(WaitUntil([&] { return QApplication::activeModalWidget() == nullptr; }));
  EXPECT_TRUE(verdictSeen);
  const fs::path saved = out.path() / "Streams";
  EXPECT_EQ(fs::file_size(saved / "notes.txt:meta"), 100u);
  EXPECT_EQ(fs::file_size(saved / "big.bin:payload"), 300000u);
  EXPECT_EQ(fs::file_size(saved / "linked-too.txt"), 700u);
  EXPECT_EQ(fs::file_size(saved / "gone.txt:blob"), 40000u);
}

}  // namespace
}  // namespace korv
