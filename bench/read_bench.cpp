// Sequential read throughput of a virtual disk through ReadSectors.
//
//   korv_read_bench IMAGE
//
// Opens IMAGE as the session's source and reads it from sector 0 in runs of
// 1,000 sectors, up to the end of the disk or 1 GiB, whichever comes first.
// Prints one line a script can parse:
//
//   bytes 1073741824 seconds 0.512345 MB/s 2095.7 fold 3c
//
// (MB = 10^6 bytes; fold is an XOR of bytes read.) Exit status 2 when the
// file is refused, 1 when a read failed.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <new>
#include <span>
#include <string_view>

#include "app/session.h"
#include "common/prompts.h"

namespace {

constexpr std::uint32_t kRunSectors = 1000;
constexpr std::uint64_t kMaxBytes = std::uint64_t{1} << 30;

// The run buffer starts on a page boundary. copy_to_user from the page cache
// is up to half as fast into a buffer that sits a few bytes off a cache line
// (as a large std::vector does: malloc puts 16 bytes of header before it), and
// that would measure the allocator rather than the reader.
constexpr std::size_t kBufferAlign = 4096;

class AlignedBuffer {
 public:
  explicit AlignedBuffer(std::size_t size)
      : bytes_(static_cast<std::uint8_t*>(::operator new(size, std::align_val_t{kBufferAlign}))), size_(size) {}
  ~AlignedBuffer() { ::operator delete(bytes_, std::align_val_t{kBufferAlign}); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;

  std::span<std::uint8_t> span() { return {bytes_, size_}; }

 private:
  std::uint8_t* bytes_;
  std::size_t size_;
};

// Nobody is there to ask: bad sectors are skipped, questions answered No.
class UnattendedPrompts final : public korv::Prompts {
 public:
  korv::BadSectorAnswer AskBadSector(std::string_view) override { return korv::BadSectorAnswer::SkipAll; }
  bool AskYesNo(std::string_view) override { return false; }
  void ShowMessage(std::string_view message) override { std::cerr << message << '\n'; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: korv_read_bench IMAGE\n";
    return 2;
  }
  UnattendedPrompts prompts;
  korv::Session session(prompts);
  const korv::VirtualFileSelection selection = session.OpenVirtualFile(argv[1]);
  if (!selection.accepted) {
    std::cerr << argv[1] << ": " << selection.message << '\n';
    return 2;
  }

  const std::uint32_t sectorBytes = session.sectors.sectorBytes();
  const std::uint64_t diskBytes = session.source.virtualDisk->facts().diskSizeBytes;
  const std::uint64_t totalSectors = std::min(diskBytes, kMaxBytes) / sectorBytes;
  AlignedBuffer storage(std::size_t{kRunSectors} * sectorBytes);
  const std::span<std::uint8_t> buffer = storage.span();

  // Folding a byte of every run into the result keeps the reads observable.
  std::uint64_t failed = 0;
  std::uint8_t fold = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint64_t sector = 0; sector < totalSectors; sector += kRunSectors) {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kRunSectors, totalSectors - sector));
    if (session.sectors.ReadCurrent(sector, count, buffer) == 0) ++failed;
    fold ^= buffer[sector % buffer.size()];
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

  const std::uint64_t bytes = totalSectors * sectorBytes;
  const double seconds = elapsed.count();
  std::printf("bytes %llu seconds %.6f MB/s %.1f fold %02x\n", static_cast<unsigned long long>(bytes), seconds,
              seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0, fold);
  if (failed != 0) {
    std::cerr << failed << " runs failed to read\n";
    return 1;
  }
  return 0;
}
