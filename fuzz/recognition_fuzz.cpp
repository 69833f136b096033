// The recognition of a picked file, as Browse and OK (and the command line's
// probe) run it: a ".vbox" machine file resolved to the disk it names, the
// formats tried in their probe order, VMDK tried last with its descriptor
// text, and the acceptance checks. The first byte picks the file's
// extension (".vbox", each extension of the format table, or none). An
// input that begins as text ('#' or '<') ends at its first NUL byte; what
// follows is written beside it as "disk.img", for a machine file or a
// descriptor to name. An accepted disk is read over its first sectors with
// the reader oracle.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "vdisk/formats.h"
#include "vdisk/selection.h"

namespace {

// Sectors read from an accepted disk: the descriptor's extents and the
// first tables, not the whole disk (the container target reads those).
constexpr std::uint64_t kMaxReadSectors = 64;

std::vector<std::string> KnownExtensions() {
  std::vector<std::string> extensions = {".vbox", ""};
  for (const korv::ContainerFormat& format : korv::ContainerFormats()) {
    for (const std::string_view extension : format.extensions) extensions.emplace_back(extension);
  }
  return extensions;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::vector<std::string> extensions = KnownExtensions();
  const std::string& extension = extensions[data[0] % extensions.size()];
  std::span<const std::uint8_t> file(data + 1, size - 1);
  std::span<const std::uint8_t> companion;
  if (!file.empty() && (file[0] == '#' || file[0] == '<')) {
    const auto end = std::find(file.begin(), file.end(), std::uint8_t{0});
    const auto length = static_cast<std::size_t>(end - file.begin());
    if (length < file.size()) companion = file.subspan(length + 1);
    file = file.first(length);
  }

  const auto folder = korv::fuzz::EmptyScratchFolder("probe");
  const auto picked = folder / ("picked" + extension);
  korv::fuzz::WriteBytes(picked, file);
  korv::fuzz::WriteBytes(folder / "disk.img", companion);

  korv::VirtualFileSelection selection = korv::SelectVirtualFile(picked);
  if (!selection.accepted) {
    korv::fuzz::Require(!selection.message.empty() && !selection.reader, "a refusal without its message");
    return 0;
  }
  korv::fuzz::Require(selection.reader != nullptr, "an accepted file without a reader");
  std::uint64_t seed = size;
  for (std::size_t i = 0; i < size && i < 64; ++i) seed = seed * 131 + data[i];
  korv::fuzz::ReadWholeDiskChecked(*selection.reader, seed, kMaxReadSectors);
  return 0;
}
