#include "vdisk/backing_name.h"

#include <span>

#include "platform/bytes.h"

namespace korv {

std::string ReadBackingName(ReadHandle& file, std::uint64_t fileSize, std::uint64_t offset, std::uint32_t size) {
  if (offset == 0 || size == 0 || size > kMaxBackingNameBytes || !RangeFits(fileSize, offset, size)) return {};
  std::string name(size, '\0');
  const auto bytes = std::span(reinterpret_cast<std::uint8_t*>(name.data()), name.size());
  if (!file.ReadExactAt(offset, bytes)) return {};
  return name;
}

}  // namespace korv
