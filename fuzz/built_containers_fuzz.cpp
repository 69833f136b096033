// Container files built from the input with the tests' own builders, for
// the layouts an input of the fuzzer's size cannot spell out itself:
// VHDX disks with data blocks (the builder puts the tables megabytes into
// the file) and differencing VHD chains of up to three files, where a file
// may name one of its own children as its parent. The input picks the
// sizes, the blocks with their states and data, the fields the builders let
// a test damage, and then patches of raw bytes anywhere in the files.
//
// The child is opened as the program opens a picked file and read as the
// container target reads: a run must read exactly as one sector at a time.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures/vhd_builder.h"
#include "fixtures/vhdx_builder.h"
#include "fuzz_support.h"
#include "vdisk/formats.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr int kMaxBlocks = 4;
constexpr int kMaxPatches = 12;
constexpr std::uint64_t kMaxReadSectors = 2048;
const char* const kChainNames[] = {"base.vhd", "middle.vhd", "child.vhd"};

std::vector<std::uint8_t> BlockData(FuzzedDataProvider& input) {
  return input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 600));
}

// Raw bytes written over the built file at places the input picks.
void Patch(FuzzedDataProvider& input, std::vector<std::uint8_t>& file) {
  if (file.empty()) return;
  const int patches = input.ConsumeIntegralInRange<int>(0, kMaxPatches);
  for (int i = 0; i < patches; ++i) {
    const auto at = input.ConsumeIntegralInRange<std::size_t>(0, file.size() - 1);
    const auto bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(1, 16));
    std::copy_n(bytes.begin(), std::min(bytes.size(), file.size() - at), file.begin() + static_cast<std::ptrdiff_t>(at));
  }
}

fs::path BuildVhdx(FuzzedDataProvider& input, const fs::path& folder) {
  const std::uint64_t diskSize = input.ConsumeIntegralInRange<std::uint64_t>(1, 4) * kMiB -
                                 input.ConsumeIntegralInRange<std::uint64_t>(0, 8) * 512;
  const std::uint32_t blockSize = static_cast<std::uint32_t>(kMiB << input.ConsumeIntegralInRange<int>(0, 1));
  const std::uint32_t logicalSector = input.ConsumeBool() ? 4096 : 512;
  korv::test::VhdxBuilder builder(diskSize, blockSize, logicalSector);
  const std::uint64_t blocks = (diskSize + blockSize - 1) / blockSize;
  const int added = input.ConsumeIntegralInRange<int>(0, kMaxBlocks);
  for (int i = 0; i < added; ++i) builder.AddBlock(input.ConsumeIntegralInRange<std::uint64_t>(0, blocks), BlockData(input));
  const int states = input.ConsumeIntegralInRange<int>(0, kMaxBlocks);
  for (int i = 0; i < states; ++i) {
    builder.SetState(input.ConsumeIntegralInRange<std::uint64_t>(0, blocks + 1), input.ConsumeIntegral<std::uint8_t>());
  }
  if (input.ConsumeBool()) {
    builder.header1.sequence = input.ConsumeIntegral<std::uint64_t>();
    builder.header2.sequence = input.ConsumeIntegral<std::uint64_t>();
    builder.header2.valid = input.ConsumeBool();
    builder.header1.version = input.ConsumeIntegral<std::uint16_t>();
  }
  if (input.ConsumeBool()) {
    builder.blockSizeField = input.ConsumeIntegral<std::uint32_t>();
    builder.diskSizeField = input.ConsumeIntegral<std::uint64_t>();
    builder.logicalSectorField = input.ConsumeIntegral<std::uint32_t>();
    builder.parameterFlags = input.ConsumeIntegral<std::uint32_t>();
  }
  std::vector<std::uint8_t> file = builder.Build();
  Patch(input, file);
  const fs::path path = folder / "disk.vhdx";
  korv::fuzz::WriteBytes(path, file);
  return path;
}

korv::test::VhdBuilder VhdLevel(FuzzedDataProvider& input, int level, std::uint64_t diskSize, std::uint32_t blockSize) {
  if (level == 0 && input.ConsumeBool()) return korv::test::VhdBuilder::Dynamic(diskSize, blockSize);
  // A parent is one level down, or (a loop a damaged chain can hold) the
  // file itself or one above it.
  const int parent = input.ConsumeIntegralInRange<int>(0, 7) == 0 ? input.ConsumeIntegralInRange<int>(level, 2)
                                                                  : std::max(level - 1, 0);
  const std::string name = kChainNames[parent];
  return korv::test::VhdBuilder::Differencing(diskSize, std::u16string(name.begin(), name.end()), blockSize);
}

fs::path BuildVhdChain(FuzzedDataProvider& input, const fs::path& folder) {
  const std::uint64_t diskSize = input.ConsumeIntegralInRange<std::uint64_t>(1, 8) * 512 * 1024;
  const std::uint32_t blockSize = input.ConsumeBool() ? 512 * 1024 : korv::test::kVhdDefaultBlockSize;
  const int levels = input.ConsumeIntegralInRange<int>(1, 3);
  const std::uint32_t blocks = static_cast<std::uint32_t>((diskSize + blockSize - 1) / blockSize);
  for (int level = 0; level < levels; ++level) {
    korv::test::VhdBuilder builder = VhdLevel(input, level, diskSize, blockSize);
    const int added = input.ConsumeIntegralInRange<int>(0, kMaxBlocks);
    for (int i = 0; i < added; ++i) builder.AddBlock(input.ConsumeIntegralInRange<std::uint32_t>(0, blocks - 1), BlockData(input));
    if (added > 0 && input.ConsumeBool()) {
      const std::uint64_t sectors = diskSize / 512;
      builder.SetPresent(input.ConsumeIntegralInRange<std::uint64_t>(0, sectors - 1),
                         input.ConsumeIntegralInRange<std::uint64_t>(1, 64), false);
    }
    if (input.ConsumeBool()) builder.damage.maxTableEntries = input.ConsumeIntegral<std::uint32_t>();
    if (input.ConsumeBool()) builder.damage.blockSize = input.ConsumeIntegral<std::uint32_t>();
    if (input.ConsumeBool()) builder.damage.tableOffset = input.ConsumeIntegral<std::uint64_t>();
    std::vector<std::uint8_t> file = builder.Build();
    Patch(input, file);
    korv::fuzz::WriteBytes(folder / kChainNames[level], file);
  }
  return folder / kChainNames[levels - 1];
}

const korv::ContainerFormat& FormatOf(char letter) {
  const auto formats = korv::ContainerFormats();
  return *std::find_if(formats.begin(), formats.end(), [&](const auto& format) { return format.letter == letter; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const fs::path folder = korv::fuzz::EmptyScratchFolder("built");
  const bool vhdx = input.ConsumeBool();
  fs::path path;
  try {
    path = vhdx ? BuildVhdx(input, folder) : BuildVhdChain(input, folder);
  } catch (const std::invalid_argument&) {
    return 0;  // the input asked a builder for what it does not make (a block twice, say)
  }
  auto attempt = FormatOf(vhdx ? korv::VirtualFormat::Vhdx : korv::VirtualFormat::Vhd).open(path);
  if (!attempt.reader) return 0;
  korv::fuzz::ReadWholeDiskChecked(*attempt.reader, size, kMaxReadSectors);
  return 0;
}
