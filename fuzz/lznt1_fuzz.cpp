// The LZNT1 decompressor on the input as a compression unit; the first byte
// picks how many chunks the output holds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/ntfs/lznt1.h"
#include "platform/bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t chunks = data[0] % 17;
  std::vector<std::uint8_t> out(chunks * korv::kLznt1ChunkBytes, 0xA5);
  korv::DecompressLznt1(korv::ByteView(data + 1, size - 1), out);
  return 0;
}
