// Cost of the store of found items at the size of a large volume.
//
//   korv_store_bench [FILES [FOLDERS]]      (default 1000000 100000)
//
// Adds FOLDERS folders in the order of their numbers, as an MFT walk reports
// them, each under a random earlier folder (the first under the NTFS root),
// then FILES files under random folders, with 14-character names. Then looks
// up every folder's parent by number, as the lost-folder pass does, and
// lists every folder's child folders and files, as the results view does.
// Prints one line a script can parse:
//
//   add 0.61 lookup 0.01 list 0.09 total 0.71 seconds cpu 0.70 seconds peak_rss_mb 180.2 children 1100000
//
// (wall-clock seconds per phase; cpu is the user and system time of the
// three phases together.)
//
// Exit status 1 when the listing does not account for every item.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "engine/store.h"
#include "large_store.h"

namespace {

using korv::bench::AddFiles;
using korv::bench::AddFolders;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// User and system time of the process so far: on a machine shared with
// other work, closer to what the store costs than the wall clock.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakRssMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

// Folders whose parent is not held, as the lost-folder pass finds them.
std::uint64_t CountOrphans(const korv::Store& store) {
  std::uint64_t orphans = 0;
  for (const korv::FolderId id : store.FoldersInOrder()) {
    const korv::FoundFolder& folder = store.folder(id);
    if (folder.parentNumber == korv::NtfsRootNumber) continue;
    if (!store.FindFolder(folder.parentNumber, folder.volumeNumber)) ++orphans;
  }
  return orphans;
}

// Every child of every folder (and of the root), touching each record.
std::uint64_t ListEveryFolder(const korv::Store& store, std::uint64_t& bytes) {
  std::uint64_t children = 0;
  auto list = [&](std::uint32_t number) {
    for (const korv::FolderId child : store.ChildFolders(number)) {
      children += store.folder(child).name.empty() ? 0 : 1;
    }
    for (const korv::FileId child : store.ChildFiles(number)) {
      bytes += store.file(child).size;
      ++children;
    }
  };
  list(korv::NtfsRootNumber);
  for (const korv::FolderId id : store.FoldersInOrder()) list(store.folder(id).ownNumber);
  return children;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t files = korv::bench::CountArgument(argc, argv, 1, 1'000'000);
  const std::uint32_t folders = std::max<std::uint32_t>(1, korv::bench::CountArgument(argc, argv, 2, 100'000));
  std::mt19937 random(20240611);
  korv::Store store;

  const Clock::time_point start = Clock::now();
  const double cpuStart = CpuSeconds();
  AddFolders(store, folders, random);
  AddFiles(store, files, folders, random);
  const double addSeconds = SecondsSince(start);

  const Clock::time_point lookupStart = Clock::now();
  const std::uint64_t orphans = CountOrphans(store);
  const double lookupSeconds = SecondsSince(lookupStart);

  const Clock::time_point listStart = Clock::now();
  std::uint64_t bytes = 0;
  const std::uint64_t children = ListEveryFolder(store, bytes);
  const double listSeconds = SecondsSince(listStart);

  const double totalSeconds = SecondsSince(start);
  std::printf("add %.3f lookup %.3f list %.3f total %.3f seconds cpu %.3f seconds peak_rss_mb %.1f children %llu\n",
              addSeconds, lookupSeconds, listSeconds, totalSeconds, CpuSeconds() - cpuStart, PeakRssMegabytes(),
              static_cast<unsigned long long>(children));
  const bool complete = children == std::uint64_t{files} + folders && orphans == 0 && bytes == store.totalFileBytes();
  if (!complete) std::fprintf(stderr, "store_bench: the listing missed items\n");
  return complete ? 0 : 1;
}
