// The carving scan over a range made of the input, every type ticked: the
// first byte turns exact ends on or off, the rest is the range. Carved files
// go to a scratch folder on a memory-backed file system, emptied for every
// input; the range is at most 64 KiB, so neither are they large.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "carve/raw_scan.h"
#include "fuzz_support.h"
#include "volume_support.h"

namespace {

class NoDestinationDialog final : public korv::CarveDestinationDialog {
 public:
  std::optional<std::filesystem::path> ChooseFolder() override { return std::nullopt; }
};

const std::vector<korv::CarveEntry>& EveryType() {
  static const std::vector<korv::CarveEntry> entries = korv::BuildCarveEntries(*korv::RowsNamed("all"));
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t rangeBytes = size - 1;
  const std::uint64_t sectors = rangeBytes / 512 + 1;
  korv::fuzz::VolumeSession volume(sectors);
  std::memcpy(volume.disk.bytes.data(), data + 1, rangeBytes);
  volume.SelectVolume(0, sectors, korv::FileSystemKind::Unknown);

  NoDestinationDialog dialog;
  korv::CarvedFileWriter writer(korv::fuzz::EmptyScratchFolder("carved"), volume.prompts, dialog,
                                [](const std::filesystem::path&) { return std::optional<std::uint64_t>(1ULL << 40); });
  korv::CarveJob job{volume.session.sectors, volume.session.worker, volume.sink, writer, EveryType(), 0, sectors,
                     (data[0] & 1) != 0};
  korv::RunRawScan(job);
  return 0;
}
