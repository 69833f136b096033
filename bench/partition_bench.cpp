// The partition scan of a typed range (phase 0), or the pairing of folders
// without a boot sector alone.
//
//   korv_partition_bench [--device] IMAGE FIRST END NTFS|FAT16|FAT32
//   korv_partition_bench --pairing COUNT
//
// The first form opens IMAGE as a virtual disk file, or with --device as a
// raw disk read the way the program reads a physical disk, and scans the
// range [FIRST, END) for volumes on the calling thread with nobody watching
// the progress. Prints one line a script can parse:
//
//   work 1.913 bytes 2147483648 MB/s 1122.6 folders 1002 volumes 1 outcome 3
//
// The second pairs COUNT folders (one volume's, in sector order, with every
// tenth a stray signature) and prints "pairing 0.412 folders 50000 volumes 1".
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <string_view>

#include "app/session.h"
#include "bench_support.h"
#include "engine/directory_pairing.h"

namespace {

using namespace korv::bench;

int Pairing(long count) {
  korv::ScanDirList folders;
  std::mt19937 random(7);
  for (long i = 0; i < count; ++i) {
    korv::ScanDirRecord folder;
    if (i % 10 == 9) {
      folder.ownNumber = static_cast<std::uint32_t>(random() % 1'000'000);
      folder.recordSector = random() % 100'000'000;
    } else {
      folder.ownNumber = static_cast<std::uint32_t>(2 + 3 * i);
      folder.recordSector = 4096 + 8ULL * folder.ownNumber;
    }
    folders.push_back(folder);
  }
  const Clock::time_point start = Clock::now();
  const auto volumes = korv::PairDirectories(folders, 1, {});
  std::cout << "pairing " << SecondsBetween(start, Clock::now()) << " folders " << count << " volumes "
            << volumes.size() << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--pairing") return Pairing(std::atol(argv[2]));
  int next = 1;
  const bool device = argc > 1 && std::string_view(argv[1]) == "--device";
  if (device) ++next;
  if (argc - next != 4) {
    std::cerr << "usage: korv_partition_bench [--device] IMAGE FIRST END FS | --pairing COUNT\n";
    return 2;
  }
  ScratchFolder scratch("korv-partition-bench");
  UnattendedPrompts prompts;
  korv::NullProgress sink;
  korv::AnalysisProgress progress(sink);
  korv::Session session(prompts, korv::SessionOptions{scratch.path() / "inventory.json", false});
  if (device) {
    session.source.kind = korv::SourceKind::PhysicalDisk;
    session.source.devices.paths[0] = argv[next];
  } else if (!session.OpenVirtualFile(argv[next]).accepted) {
    std::cerr << "korv_partition_bench: refused " << argv[next] << '\n';
    return 2;
  }
  session.range.firstSector = std::strtoull(argv[next + 1], nullptr, 10);
  session.range.endSector = std::strtoull(argv[next + 2], nullptr, 10);
  const auto fileSystem = korv::ParseFileSystemKind(argv[next + 3]);
  if (!fileSystem) return 2;
  session.range.fileSystem = *fileSystem;
  const Clock::time_point start = Clock::now();
  const korv::AnalysisOutcome outcome = session.ScanRangeForVolumes(progress);
  const double work = SecondsBetween(start, Clock::now());
  const std::uint64_t bytes = (session.range.endSector - session.range.firstSector) * 512;
  std::cout << "work " << work << " bytes " << bytes << " MB/s " << (work > 0 ? bytes / work / 1e6 : 0) << " folders "
            << session.scanLists.scanDirCount() << " volumes " << session.volumeCandidates.size() << " outcome "
            << static_cast<int>(outcome) << '\n';
  return 0;
}
