// The results view's models over real Deleted Data Recovery runs of the
// sample disk's NTFS and FAT32 partitions: the tree and the list show the
// store as it is, check boxes follow the store's flags, and user actions
// come out as requests rather than changes.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QSignalSpy>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "app/session.h"
#include "common/progress.h"
#include "engine/analysis_progress.h"
#include "support/test_support.h"
#include "ui/logic/results_tree.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/folder_tree_model.h"
#include "ui/qt/results/item_list_model.h"

namespace korv {
namespace {

const std::filesystem::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";

// Qt's model checker over a model while it lives, counting its complaints.
class CheckedModel {
 public:
  explicit CheckedModel(QAbstractItemModel* model) : previous_(qInstallMessageHandler(Count)) {
    complaints_ = 0;
    tester_ =
        std::make_unique<QAbstractItemModelTester>(model, QAbstractItemModelTester::FailureReportingMode::Warning);
  }
  ~CheckedModel() {
    tester_.reset();
    qInstallMessageHandler(previous_);
  }
  int complaints() const { return complaints_; }

 private:
  static void Count(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (context.category != nullptr && QByteArray(context.category) == "qt.modeltest") {
      ++complaints_;
      ADD_FAILURE() << message.toStdString();
    }
  }
  static inline int complaints_ = 0;
  QtMessageHandler previous_;
  std::unique_ptr<QAbstractItemModelTester> tester_;
};

// What each partition of the sample holds (samples/sample.json).
struct SamplePartition {
  int number;
  const char* name;
  QString folder;       // a folder in the root
  QString subfolder;    // a folder in it, empty when none
  QString deletedFile;  // a deleted file in it
  QString deletedSize;
};

void PrintTo(const SamplePartition& partition, std::ostream* out) { *out << partition.name; }

const SamplePartition kNtfs{1, "Ntfs", "Documents", "Letters", "budget.csv", "4392"};
const SamplePartition kFat{2, "Fat32", "Projects", "", "Old Archive List.txt", "12492"};

class ResultsModelsTest : public ::testing::TestWithParam<SamplePartition> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session.OpenVirtualFile(kSampleDisk).accepted);
    ASSERT_TRUE(session.SelectPartition(GetParam().number));
    NullProgress sink;
    AnalysisProgress progress(sink);
    session.Analyse(RecoveryMode::DeletedData, progress);
    ASSERT_GT(session.store.folderCount(), 0);
    fileSystem = session.range.fileSystem;
    tree.Build(session.store, fileSystem);
    treeModel = std::make_unique<FolderTreeModel>(session.store, tree);
    listModel = std::make_unique<ItemListModel>(session.store);
    treeModel->Reload();
  }

  Store& store() { return session.store; }
  QModelIndex RootIndex() const { return treeModel->index(0, 0); }
  // The tree index of the root's child labelled `label`.
  QModelIndex ChildNamed(const QModelIndex& parent, const QString& label) const {
    for (int row = 0; row < treeModel->rowCount(parent); ++row) {
      const QModelIndex child = treeModel->index(row, 0, parent);
      if (child.data(Qt::DisplayRole).toString() == label) return child;
    }
    return {};
  }
  void ShowNode(TreeNodeIndex node) { listModel->ShowRows(FolderRows(store(), tree, node), tree.fileSystem()); }
  int ListRowNamed(const QString& name) const {
    for (int row = 0; row < listModel->rowCount(); ++row) {
      if (listModel->index(row, 0).data().toString() == name) return row;
    }
    return -1;
  }

  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  FileSystemKind fileSystem = FileSystemKind::Unknown;
  ResultsTree tree;
  std::unique_ptr<FolderTreeModel> treeModel;
  std::unique_ptr<ItemListModel> listModel;
};

TEST_P(ResultsModelsTest, TheTreeHoldsEveryFolderOfTheVolumeOnceUnderItsParent) {
  const CheckedModel checked(treeModel.get());
  EXPECT_EQ(checked.complaints(), 0);

  ASSERT_EQ(treeModel->rowCount(), 1);
  EXPECT_EQ(RootIndex().data().toString(), "This PC");
  EXPECT_FALSE(treeModel->flags(RootIndex()) & Qt::ItemIsEditable);
  std::map<FolderId, int> seen;
  std::vector<QModelIndex> pending{RootIndex()};
  while (!pending.empty()) {
    const QModelIndex parent = pending.back();
    pending.pop_back();
    const ResultsTreeNode& parentNode = tree.node(treeModel->NodeOf(parent));
    for (int row = 0; row < treeModel->rowCount(parent); ++row) {
      const QModelIndex child = treeModel->index(row, 0, parent);
      EXPECT_EQ(child.parent(), parent);
      const ResultsTreeNode& node = tree.node(treeModel->NodeOf(child));
      ASSERT_TRUE(node.folder);
      const FoundFolder& folder = store().folder(*node.folder);
      ++seen[*node.folder];
      EXPECT_EQ(folder.parentNumber, parentNode.number);
      EXPECT_EQ(folder.treeItem, treeModel->NodeOf(child));
      EXPECT_EQ(child.data().toString(), ToQString(ShownName(folder.name, folder.nameIsEightBit)));
      EXPECT_TRUE(treeModel->flags(child) & Qt::ItemIsEditable);
      EXPECT_FALSE(child.data(Qt::DecorationRole).value<QIcon>().isNull());
      pending.push_back(child);
    }
  }
  int volumeFolders = 0;
  for (const FolderId id : store().FoldersInOrder()) {
    if (store().folder(id).volumeNumber != store().currentVolume) continue;
    ++volumeFolders;
    EXPECT_EQ(seen[id], 1) << "folder " << id;
  }
  EXPECT_EQ(static_cast<int>(seen.size()), volumeFolders);
  EXPECT_TRUE(ChildNamed(RootIndex(), GetParam().folder).isValid());
}

TEST_P(ResultsModelsTest, TheListShowsAFoldersRowsWithTextsColoursAndChecks) {
  const QModelIndex documents = ChildNamed(RootIndex(), GetParam().folder);
  ASSERT_TRUE(documents.isValid());
  const TreeNodeIndex node = treeModel->NodeOf(documents);
  ShowNode(node);
  const CheckedModel checked(listModel.get());

  const std::vector<ResultRow> rows = FolderRows(store(), tree, node);
  ASSERT_EQ(listModel->rowCount(), static_cast<int>(rows.size()));
  EXPECT_EQ(listModel->columnCount(), 7);
  for (int row = 0; row < listModel->rowCount(); ++row) {
    for (int column = 0; column < 7; ++column) {
      EXPECT_EQ(listModel->index(row, column).data().toString(),
                ToQString(RowText(store(), rows[static_cast<std::size_t>(row)], static_cast<ResultColumn>(column),
                                  tree.fileSystem())));
    }
    const QColor colour = listModel->index(row, 3).data(Qt::ForegroundRole).value<QColor>();
    EXPECT_EQ(colour, RowDeleted(store(), rows[static_cast<std::size_t>(row)]) ? QColor(art::kDeletedInk) : QColor(art::kInk));
    EXPECT_EQ(listModel->index(row, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_FALSE(listModel->index(row, 1).data(Qt::CheckStateRole).isValid());
    EXPECT_FALSE(listModel->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(listModel->index(row, 0).data(Qt::FontRole).value<QFont>().pointSize(), QApplication::font().pointSize());
  }
  const int deleted = ListRowNamed(GetParam().deletedFile);
  ASSERT_GE(deleted, 0);
  if (!GetParam().subfolder.isEmpty()) {
    EXPECT_LT(ListRowNamed(GetParam().subfolder), deleted) << "folders first";
  }
  EXPECT_EQ(listModel->index(deleted, 1).data().toString(), "Deleted File");
  EXPECT_EQ(listModel->index(deleted, 2).data().toString(), GetParam().deletedSize);
  EXPECT_EQ(listModel->index(deleted, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(art::kDeletedInk));
  EXPECT_EQ(listModel->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Modified Date");
  EXPECT_EQ(checked.complaints(), 0);
}

TEST_P(ResultsModelsTest, ChecksFollowTheStoreAfterATick) {
  const QModelIndex documents = ChildNamed(RootIndex(), GetParam().folder);
  ASSERT_TRUE(documents.isValid());
  const TreeNodeIndex node = treeModel->NodeOf(documents);
  ShowNode(node);
  EXPECT_EQ(documents.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_FALSE(documents.data(Qt::FontRole).value<QFont>().bold());

  const CheckedModel checked(treeModel.get());
  QSignalSpy layout(treeModel.get(), &QAbstractItemModel::layoutChanged);
  TickNode(store(), tree, node, true);
  treeModel->RefreshChecks();
  listModel->RefreshAll();
  EXPECT_EQ(layout.count(), 1);
  EXPECT_EQ(documents.data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_TRUE(documents.data(Qt::FontRole).value<QFont>().bold());
  EXPECT_EQ(RootIndex().data(Qt::CheckStateRole).toInt(), Qt::Checked);
  for (int row = 0; row < listModel->rowCount(); ++row) {
    EXPECT_EQ(listModel->index(row, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked) << row;
  }
  TickNode(store(), tree, node, false);
  EXPECT_EQ(documents.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(RootIndex().data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(checked.complaints(), 0);
}

TEST_P(ResultsModelsTest, ClicksAndEditsBecomeRequestsThatLeaveTheStoreAlone) {
  const QModelIndex documents = ChildNamed(RootIndex(), GetParam().folder);
  const TreeNodeIndex node = treeModel->NodeOf(documents);
  const FolderId folder = *tree.node(node).folder;
  QSignalSpy ticks(treeModel.get(), &FolderTreeModel::tickRequested);
  QSignalSpy renames(treeModel.get(), &FolderTreeModel::renameRequested);
  EXPECT_TRUE(treeModel->setData(documents, Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(treeModel->setData(documents, QStringLiteral("Papers"), Qt::EditRole));
  EXPECT_FALSE(treeModel->setData(RootIndex(), QStringLiteral("Root"), Qt::EditRole));
  ASSERT_EQ(ticks.count(), 1);
  EXPECT_EQ(ticks.at(0).at(0).toUInt(), node);
  EXPECT_TRUE(ticks.at(0).at(1).toBool());
  ASSERT_EQ(renames.count(), 1);
  EXPECT_EQ(renames.at(0).at(1).toString(), "Papers");
  EXPECT_EQ(store().folder(folder).selected, kFlagNo);
  EXPECT_EQ(documents.data().toString(), GetParam().folder);

  ShowNode(node);
  QSignalSpy rowTicks(listModel.get(), &ItemListModel::rowTickRequested);
  QSignalSpy rowRenames(listModel.get(), &ItemListModel::renameRequested);
  EXPECT_TRUE(listModel->setData(listModel->index(1, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(listModel->setData(listModel->index(1, 0), QStringLiteral("new.txt"), Qt::EditRole));
  EXPECT_FALSE(listModel->setData(listModel->index(1, 2), QStringLiteral("5"), Qt::EditRole));
  ASSERT_EQ(rowTicks.count(), 1);
  EXPECT_EQ(rowTicks.at(0).at(0).toInt(), 1);
  ASSERT_EQ(rowRenames.count(), 1);
  EXPECT_FALSE(RowSelected(store(), listModel->row(1)));
}

TEST_P(ResultsModelsTest, EachSortFlipsTheSharedDirection) {
  ShowNode(treeModel->NodeOf(ChildNamed(RootIndex(), GetParam().folder)));
  ASSERT_GE(listModel->rowCount(), 3);
  const CheckedModel checked(listModel.get());
  const auto sizes = [&] {
    std::vector<qulonglong> shown;
    for (int row = 0; row < listModel->rowCount(); ++row)
      shown.push_back(listModel->index(row, 2).data().toULongLong());
    return shown;
  };
  const QPersistentModelIndex first = listModel->index(0, 0);
  const ResultRow firstRow = listModel->row(0);
  listModel->sort(2);
  EXPECT_TRUE(listModel->ascending());
  std::vector<qulonglong> shown = sizes();
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_EQ(listModel->row(first.row()).id, firstRow.id) << "a held index follows its row";
  listModel->sort(2);
  EXPECT_FALSE(listModel->ascending());
  shown = sizes();
  EXPECT_TRUE(std::is_sorted(shown.rbegin(), shown.rend()));
  listModel->sort(0, Qt::DescendingOrder);  // the view's order is not what counts
  EXPECT_TRUE(listModel->ascending());
  EXPECT_EQ(checked.complaints(), 0);
}

INSTANTIATE_TEST_SUITE_P(SamplePartitions, ResultsModelsTest, ::testing::Values(kNtfs, kFat),
                         [](const ::testing::TestParamInfo<SamplePartition>& info) { return info.param.name; });

}  // namespace
}  // namespace korv
