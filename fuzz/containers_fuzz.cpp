// Every container reader opened on the input as a file (the first byte picks
// the format, the rest is the file), read over its disk in runs of mixed
// lengths; a run must read exactly as one sector at a time.
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.h"
#include "vdisk/formats.h"

namespace {
// Sectors read from the start of each disk: a header can claim any size.
constexpr std::uint64_t kMaxReadSectors = 1024;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const auto formats = korv::ContainerFormats();
  const korv::ContainerFormat& format = formats[data[0] % formats.size()];
  const std::span<const std::uint8_t> image(data + 1, size - 1);
  const auto path = korv::fuzz::InputAsFile(image, format.extensions.empty() ? "" : format.extensions.front());
  auto attempt = format.open(path);
  if (!attempt.reader) return 0;
  std::uint64_t seed = size;
  for (std::size_t i = 0; i < size && i < 64; ++i) seed = seed * 131 + data[i];
  korv::fuzz::ReadWholeDiskChecked(*attempt.reader, seed, kMaxReadSectors);
  return 0;
}
