// The results view's models over a store of the size of a large volume,
// headless: no window is shown, the models are driven as the page drives
// them.
//
//   korv_results_bench [FILES [FOLDERS]]      (default 1000000 100000)
//
// Builds an NTFS-like store: FOLDERS folders ten levels deep, each level
// about three times the one above, each folder under a random folder of
// the level above; one folder of the third level holds 10,000 files; the
// other files lie in random folders. Names mix case and extensions, sizes
// run past 4 GiB, one item in ten is deleted. Then measures, each the
// median of three runs:
//
//   tree        ResultsTree::Build and FolderTreeModel::Reload
//   switch      FolderRows, the first-shown folder order and ShowRows for the
//               folder of 10,000 items, then every role of its first 50 rows
//   sort <col>  ItemListModel::sort by each of the seven columns
//   tick root   TickNode on the root and the models' refreshes
//   untick deep TickNode off for a folder of the tenth level, everything
//               ticked before
//   untick top  the same for a folder of the first level (a tenth of all)
//
// and prints one table of figures against their targets. Exit status 1
// when a target is missed.
#include <QApplication>
#include <QByteArray>
#include <QModelIndex>
#include <QVariant>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/store.h"
#include "ui/logic/results_tree.h"
#include "ui/qt/results/folder_tree_model.h"
#include "ui/qt/results/item_list_model.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kFirstFolderNumber = 64;
constexpr int kLevels = 10;
constexpr std::uint32_t kBigFolderFiles = 10'000;
constexpr int kTouchedRows = 50;
constexpr int kRuns = 3;

double Milliseconds(const std::function<void()>& work) {
  const Clock::time_point start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double MedianOfRuns(const std::function<void()>& prepare, const std::function<void()>& work) {
  std::array<double, kRuns> times{};
  for (double& time : times) {
    if (prepare) prepare();
    time = Milliseconds(work);
  }
  std::sort(times.begin(), times.end());
  return times[kRuns / 2];
}

std::u16string Ascii(const std::string& text) { return {text.begin(), text.end()}; }

// The folders of each level, as numbers, level 0 being the root.
using Levels = std::vector<std::vector<std::uint32_t>>;

std::vector<std::uint32_t> LevelSizes(std::uint32_t folders) {
  std::vector<std::uint32_t> sizes;
  std::uint32_t size = 10;
  std::uint32_t left = folders;
  for (int level = 1; level <= kLevels && left > 0; ++level) {
    const std::uint32_t remainingLevels = static_cast<std::uint32_t>(kLevels - level);
    std::uint32_t take = level == kLevels ? left : std::min(size, left);
    // Keep something for the levels below when the next would take it all.
    if (remainingLevels > 0 && take == left && left > remainingLevels) take = left - remainingLevels;
    sizes.push_back(take);
    left -= take;
    size *= 3;
  }
  return sizes;
}

Levels AddFolders(korv::Store& store, std::uint32_t folders, std::mt19937& random) {
  static constexpr std::array<const char*, 6> kWords = {"Documents", "photos", "Backup", "projects", "MUSIC", "misc"};
  Levels levels{{korv::NtfsRootNumber}};
  std::uint32_t number = kFirstFolderNumber;
  for (const std::uint32_t size : LevelSizes(folders)) {
    const std::vector<std::uint32_t>& above = levels.back();
    std::uniform_int_distribution<std::size_t> anyParent(0, above.size() - 1);
    std::vector<std::uint32_t> level;
    for (std::uint32_t i = 0; i < size; ++i, ++number) {
      const std::string name = std::string(kWords[random() % kWords.size()]) + " " + std::to_string(random() % 100000);
      store.AddFolder({.name = {.wide = Ascii(name)},
                       .deleted = random() % 10 == 0 ? korv::kFlagYes : korv::kFlagNo,
                       .parentNumber = above[anyParent(random)],
                       .ownNumber = number});
      level.push_back(number);
    }
    levels.push_back(std::move(level));
  }
  return levels;
}

korv::ItemTimes RandomNtfsTimes(std::mt19937_64& random) {
  korv::ItemTimes times{};
  for (std::size_t word = 0; word < times.size(); word += 2) {
    const std::uint64_t ticks = 130'000'000'000'000'000ULL + random() % 5'000'000'000'000'000ULL;
    times[word] = static_cast<std::uint32_t>(ticks);
    times[word + 1] = static_cast<std::uint32_t>(ticks >> 32);
  }
  return times;
}

void AddFiles(korv::Store& store, std::uint32_t files, const Levels& levels, std::uint32_t bigFolder,
              std::uint32_t firstNumber) {
  static constexpr std::array<const char*, 10> kExtensions = {".txt", ".JPG", ".docx", ".pdf", ".zip",
                                                              ".bmp", ".dat", ".Mp3",  ".rtf", ""};
  std::mt19937_64 random(20240612);
  std::vector<std::uint32_t> everyFolder;
  for (std::size_t level = 1; level < levels.size(); ++level) {
    everyFolder.insert(everyFolder.end(), levels[level].begin(), levels[level].end());
  }
  std::uniform_int_distribution<std::size_t> anyFolder(0, everyFolder.size() - 1);
  for (std::uint32_t i = 0; i < files; ++i) {
    const std::uint32_t parent = i < kBigFolderFiles ? bigFolder : everyFolder[anyFolder(random)];
    const std::string name = (random() % 2 ? "File " : "image_") + std::to_string(random() % 10'000'000) +
                             kExtensions[random() % kExtensions.size()];
    store.AddFile({.name = {.wide = Ascii(name)},
                   .deleted = random() % 10 == 0 ? korv::kFlagYes : korv::kFlagNo,
                   .size = random() % (1ULL << 33),
                   .parentNumber = parent,
                   .ownNumber = firstNumber + i,
                   .times = RandomNtfsTimes(random)});
  }
}

// What a view asks of the rows it shows first.
void TouchRows(const korv::ItemListModel& model, int rows) {
  static constexpr std::array<int, 6> kRoles = {Qt::DisplayRole,    Qt::DecorationRole, Qt::ForegroundRole,
                                                Qt::CheckStateRole, Qt::FontRole,       Qt::TextAlignmentRole};
  const int shown = std::min(rows, model.rowCount());
  for (int row = 0; row < shown; ++row) {
    for (int column = 0; column < korv::kResultColumnCount; ++column) {
      const QModelIndex index = model.index(row, column);
      for (const int role : kRoles) (void)model.data(index, role);
    }
  }
}

struct Figure {
  std::string what;
  double milliseconds;
  double targetMilliseconds;  // 0: reported only
};

std::uint32_t Argument(int argc, char** argv, int index, std::uint32_t fallback) {
  if (argc <= index) return fallback;
  return static_cast<std::uint32_t>(std::strtoul(argv[index], nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  QApplication application(argc, argv);
  const std::uint32_t files = std::max<std::uint32_t>(kBigFolderFiles, Argument(argc, argv, 1, 1'000'000));
  const std::uint32_t folders = std::max<std::uint32_t>(kLevels * 3, Argument(argc, argv, 2, 100'000));

  korv::Store store;
  std::mt19937 random(20240611);
  const Clock::time_point fillStart = Clock::now();
  const Levels levels = AddFolders(store, folders, random);
  const std::uint32_t bigFolder = levels[3].front();
  AddFiles(store, files, levels, bigFolder, kFirstFolderNumber + folders);
  const double fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();
  std::printf("store: %d folders, %d files, %zu levels, filled in %.2f s\n", store.folderCount(), store.fileCount(),
              levels.size() - 1, fillSeconds);

  korv::ResultsTree tree;
  korv::FolderTreeModel treeModel(store, tree);
  korv::ItemListModel listModel(store);
  std::vector<Figure> figures;

  figures.push_back({"tree (Build + Reload)",
                     MedianOfRuns({},
                                  [&] {
                                    tree.Build(store, FileSystemKind::Ntfs, [](int) {});
                                    treeModel.Reload();
                                  }),
                     3000});

  const korv::TreeNodeIndex bigNode = *tree.NodeOfFolder(*store.FindFolder(bigFolder, 0));
  const korv::TreeNodeIndex otherNode = *tree.NodeOfFolder(*store.FindFolder(levels[1].front(), 0));
  const auto show = [&](korv::TreeNodeIndex node) {
    std::vector<korv::ResultRow> rows = korv::FolderRows(store, tree, node);
    korv::SortFolderRows(store, rows, listModel.ascending());
    listModel.ShowRows(std::move(rows), tree.fileSystem());
    TouchRows(listModel, kTouchedRows);
  };
  figures.push_back({"switch to 10,000 items", MedianOfRuns([&] { show(otherNode); }, [&] { show(bigNode); }), 200});
  const int bigRows = listModel.rowCount();

  for (int column = 0; column < korv::kResultColumnCount; ++column) {
    const std::string heading(korv::ResultColumnHeading(static_cast<korv::ResultColumn>(column)));
    figures.push_back({"sort by " + heading,
                       MedianOfRuns({},
                                    [&] {
                                      listModel.sort(column);
                                      TouchRows(listModel, kTouchedRows);
                                    }),
                       200});
  }

  const auto refresh = [&] {
    treeModel.RefreshChecks();
    listModel.RefreshAll();
  };
  figures.push_back({"tick the root",
                     MedianOfRuns([&] { korv::TickNode(store, tree, korv::kRootNode, false); },
                                  [&] {
                                    korv::TickNode(store, tree, korv::kRootNode, true);
                                    refresh();
                                  }),
                     1000});

  const korv::TreeNodeIndex deepNode = *tree.NodeOfFolder(*store.FindFolder(levels.back().back(), 0));
  const korv::TreeNodeIndex topNode = otherNode;
  const auto untick = [&](korv::TreeNodeIndex node) {
    return MedianOfRuns([&] { korv::TickNode(store, tree, korv::kRootNode, true); },
                        [&] {
                          korv::TickNode(store, tree, node, false);
                          refresh();
                        });
  };
  figures.push_back({"untick a deep folder", untick(deepNode), 0});
  figures.push_back({"untick a top folder", untick(topNode), 0});

  std::printf("folder of %d rows; median of %d runs\n\n", bigRows, kRuns);
  std::printf("%-28s %12s %12s  %s\n", "step", "ms", "target ms", "verdict");
  bool allMet = true;
  for (const Figure& figure : figures) {
    if (figure.targetMilliseconds <= 0) {
      std::printf("%-28s %12.2f %12s  %s\n", figure.what.c_str(), figure.milliseconds, "-", "reported");
      continue;
    }
    const bool met = figure.milliseconds < figure.targetMilliseconds;
    allMet = allMet && met;
    std::printf("%-28s %12.2f %12.0f  %s\n", figure.what.c_str(), figure.milliseconds, figure.targetMilliseconds,
                met ? "met" : "MISSED");
  }
  return allMet ? 0 : 1;
}
