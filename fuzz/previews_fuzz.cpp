// The preview pane's own decoders on a found file's bytes: the first byte
// picks the RTF reader or the ZIP listing (which reads a file, so the input
// is written to one first).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "ui/logic/preview_rules.h"

namespace {

// One scratch file per process, removed when the run ends.
struct ScratchFile {
  std::string path = "/tmp/korvane-previews-fuzz-" + std::to_string(getpid()) + ".zip";
  ~ScratchFile() { std::remove(path.c_str()); }
};

const std::string& ScratchZip() {
  static const ScratchFile file;
  return file.path;
}

void ListZip(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(ScratchZip().c_str(), "wb");
  if (file == nullptr) return;
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return;
  korv::ListZipEntries(ScratchZip());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t choice = data[0];
  ++data;
  --size;
  if (choice % 2 == 0) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    korv::ReadRtf(document);
    korv::RtfPlainText(document);
    return 0;
  }
  ListZip(data, size);
  return 0;
}
