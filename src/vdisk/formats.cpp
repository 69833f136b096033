#include "vdisk/formats.h"

#include <algorithm>
#include <array>
#include <vector>

#include "vdisk/parallels.h"
#include "vdisk/qcow.h"
#include "vdisk/qed.h"
#include "vdisk/vdi.h"
#include "vdisk/vhd.h"
#include "vdisk/vhdx.h"
#include "vdisk/vmdk.h"

namespace korv {

namespace {

template <typename Reader>
OpenAttempt<VirtualDisk> OpenAs(const std::filesystem::path& path) {
  return Reader::Open(path);
}

constexpr std::array<std::string_view, 1> kVmdkExtensions = {".vmdk"};
constexpr std::array<std::string_view, 1> kVhdExtensions = {".vhd"};
constexpr std::array<std::string_view, 1> kVhdxExtensions = {".vhdx"};
constexpr std::array<std::string_view, 1> kVdiExtensions = {".vdi"};
constexpr std::array<std::string_view, 2> kParallelsExtensions = {".hdd", ".hds"};
constexpr std::array<std::string_view, 1> kQedExtensions = {".qed"};
constexpr std::array<std::string_view, 1> kQcowExtensions = {".qcow"};

constexpr std::array<ContainerFormat, 7> kFormats = {{
    {VirtualFormat::Vmdk, "VMDK", kVmdkExtensions, 7, Acceptance::TriedLast, OpenAs<VmdkReader>},
    {VirtualFormat::Vhd, "VHD", kVhdExtensions, 5, Acceptance::WithParents, OpenAs<VhdReader>},
    {VirtualFormat::Vhdx, "VHDX", kVhdxExtensions, 6, Acceptance::AsOpened, OpenAs<VhdxReader>},
    {VirtualFormat::Vdi, "VDI", kVdiExtensions, 4, Acceptance::AsOpened, OpenAs<VdiReader>},
    {VirtualFormat::Parallels, "HDD", kParallelsExtensions, 3, Acceptance::AsOpened, OpenAs<ParallelsReader>},
    {VirtualFormat::Qed, "QED", kQedExtensions, 2, Acceptance::AsOpened, OpenAs<QedReader>},
    {VirtualFormat::Qcow, "QCOW", kQcowExtensions, 1, Acceptance::AsOpened, OpenAs<QcowReader>},
}};

// A picked ".vbox" machine file names the disk to open.
constexpr std::string_view kMachineFilePattern = "*.vbox";

// Every format's extensions as patterns ("*.vmdk"), joined by `separator`.
std::string FormatPatterns(std::string_view separator) {
  std::string text;
  for (const ContainerFormat& format : kFormats) {
    for (const std::string_view extension : format.extensions) {
      if (!text.empty()) text += separator;
      text += '*';
      text += extension;
    }
  }
  return text;
}

}  // namespace

std::span<const ContainerFormat> ContainerFormats() { return kFormats; }

std::span<const ContainerFormat* const> ProbedFormats() {
  static const std::vector<const ContainerFormat*> probed = [] {
    std::vector<const ContainerFormat*> order;
    for (const ContainerFormat& format : kFormats) {
      if (format.acceptance != Acceptance::TriedLast) order.push_back(&format);
    }
    std::sort(order.begin(), order.end(),
              [](const ContainerFormat* a, const ContainerFormat* b) { return a->probeOrder < b->probeOrder; });
    return order;
  }();
  return probed;
}

const ContainerFormat& LastTriedFormat() {
  const auto last = std::find_if(kFormats.begin(), kFormats.end(),
                                 [](const ContainerFormat& format) { return format.acceptance == Acceptance::TriedLast; });
  return *last;
}

const ContainerFormat* FormatOfLetter(char letter) {
  const auto found = std::find_if(kFormats.begin(), kFormats.end(),
                                  [letter](const ContainerFormat& format) { return format.letter == letter; });
  return found == kFormats.end() ? nullptr : &*found;
}

std::string_view FormatName(char letter) {
  const ContainerFormat* format = FormatOfLetter(letter);
  return format ? format->name : std::string_view();
}

std::string VirtualFileFilter() {
  const std::string machineFilesFirst = std::string(kMachineFilePattern) + ";";
  return "Virtual Files (*.*)|*.*|Virtual Files (" + machineFilesFirst + FormatPatterns(";") + ")|" +
         machineFilesFirst + FormatPatterns("; ") + "||";
}

}  // namespace korv
