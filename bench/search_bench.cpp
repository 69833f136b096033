// The search worker over a large store: 1,000,000 files in 100,000 folders
// (bench/large_store.h), every match handed over in batches and gathered
// as the dialog's list gathers them; and the same search feeding the
// dialog's model a batch at a time, with the top rows read as a view would
// paint them. The target is under 1 s a search.
//
//   korv_search_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "large_store.h"
#include "search/search_criteria.h"
#include "search/search_worker.h"
#include "ui/logic/results_tree.h"
#include "ui/qt/search/search_results_model.h"

namespace {

constexpr std::uint32_t kFolders = 100'000;
constexpr std::uint32_t kFiles = 1'000'000;

korv::Store& LargeStore() {
  static const std::unique_ptr<korv::Store> store = [] {
    auto made = std::make_unique<korv::Store>();
    std::mt19937 random(20261210);
    korv::bench::AddFolders(*made, kFolders, random);
    korv::bench::AddFiles(*made, kFiles, kFolders, random);
    return made;
  }();
  return *store;
}

void Search(benchmark::State& state, const korv::SearchCriteria& criteria) {
  const korv::Store& store = LargeStore();
  const korv::SearchMatcher matcher(criteria, korv::FileSystemKind::Ntfs);
  std::size_t matches = 0;
  for (auto _ : state) {
    korv::WorkerControl control;
    std::vector<korv::SearchMatch> listed;
    korv::RunSearch(store, matcher, control, [&](std::vector<korv::SearchMatch>&& batch) {
      listed.insert(listed.end(), batch.begin(), batch.end());
    });
    matches = listed.size();
    benchmark::DoNotOptimize(listed.data());
  }
  state.counters["matches"] = static_cast<double>(matches);
  state.counters["items/s"] =
      benchmark::Counter(static_cast<double>(kFolders + kFiles), benchmark::Counter::kIsIterationInvariantRate);
}

// The tree the dialog's paths are read from, built once.
const korv::ResultsTree& LargeTree() {
  static const std::unique_ptr<korv::ResultsTree> tree = [] {
    auto built = std::make_unique<korv::ResultsTree>();
    built->Build(LargeStore(), korv::FileSystemKind::Ntfs);
    return built;
  }();
  return *tree;
}

// What the dialog does with each batch: one insertion at the top, then the
// rows on the screen are drawn.
void SearchIntoList(benchmark::State& state, const korv::SearchCriteria& criteria) {
  constexpr int kRowsOnScreen = 40;
  const korv::Store& store = LargeStore();
  const korv::ResultsTree& tree = LargeTree();
  const korv::SearchMatcher matcher(criteria, korv::FileSystemKind::Ntfs);
  int rows = 0;
  for (auto _ : state) {
    korv::WorkerControl control;
    korv::SearchResultsModel model(store, tree);
    korv::RunSearch(store, matcher, control, [&](std::vector<korv::SearchMatch>&& batch) {
      model.Add(batch);
      for (int row = 0; row < std::min(kRowsOnScreen, model.rowCount()); ++row) {
        for (int column = 0; column < model.columnCount(); ++column) {
          benchmark::DoNotOptimize(model.data(model.index(row, column), Qt::DisplayRole));
        }
      }
    });
    rows = model.rowCount();
  }
  state.counters["rows"] = rows;
}

korv::SearchCriteria Named(std::u16string name) {
  korv::SearchCriteria criteria;
  criteria.name = std::move(name);
  return criteria;
}

korv::SearchCriteria SizedAndDated() {
  korv::SearchCriteria criteria = Named(u"*");
  criteria.deleted = korv::DeletedChoice::Include;
  criteria.date = korv::DateBounds{korv::DateKind::Modified, {1601, 1, 1}, {2030, 12, 31}};
  criteria.size = korv::SizeBounds{1 << 10, 1 << 20};
  return criteria;
}

// Every item matches: the most the list is ever handed.
BENCHMARK_CAPTURE(Search, everything, Named(u"*"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, extension, Named(u"*.DAT"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, part_of_name, Named(u"000123"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, many_stars, Named(u"*0*1*2*3*4*x"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Search, size_and_date, SizedAndDated())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchIntoList, everything, Named(u"*"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SearchIntoList, extension, Named(u"*.DAT"))->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
