#include "ui/logic/file_filter.h"

#include <vector>

#include "storage/disk_image.h"
#include "vdisk/formats.h"

namespace korv {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

// "*.vbox;*.vmdk; *.vhd" -> "*.vbox *.vmdk *.vhd".
std::string BlankSeparatedPatterns(std::string_view patterns) {
  std::string joined;
  for (const std::string_view pattern : Split(patterns, ';')) {
    const std::string_view trimmed = Trim(pattern);
    if (trimmed.empty()) continue;
    if (!joined.empty()) joined += ' ';
    joined += trimmed;
  }
  return joined;
}

// The description without the pattern list it shows in brackets: Qt reads
// the patterns from the brackets, so they are written afresh.
std::string_view DescriptionName(std::string_view description) {
  return Trim(description.substr(0, description.find('(')));
}

// Names a format's files go by besides the extensions the format table
// lists: qemu writes ".qcow2", and often ".img".
std::string_view MorePatternsOf(std::string_view formatName) {
  if (formatName == "QCOW") return " *.qcow2 *.img";
  return {};
}

std::string PatternsOf(const ContainerFormat& format) {
  std::string patterns;
  for (const std::string_view extension : format.extensions) {
    if (!patterns.empty()) patterns += ' ';
    patterns += '*';
    patterns += extension;
  }
  return patterns + std::string(MorePatternsOf(format.name));
}

constexpr std::string_view kRawPatterns = "*.img *.raw *.dd";

}  // namespace

std::string DiskFileFilter() {
  std::string every = "*.vbox";
  std::string each;
  for (const ContainerFormat& format : ContainerFormats()) {
    const std::string patterns = PatternsOf(format);
    every += ' ' + patterns;
    each += ";;" + std::string(format.name) + " (" + patterns + ")";
  }
  const std::string ownImage(kImageFirstPieceName);
  every += " " + std::string(kRawPatterns) + " " + ownImage;
  return "Disk files (" + every + ")" + each + ";;VirtualBox machines (*.vbox)" + ";;" +
         std::string(kRawImageFormatName) + "s (" + std::string(kRawPatterns) + ")" + ";;" +
         std::string(kImageFormatName) + "s (" + ownImage + ")" + ";;All files (*)";
}

std::string QtFileFilter(std::string_view pipeFilter) {
  const std::vector<std::string_view> parts = Split(pipeFilter, '|');
  std::string filter;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    // An empty description ends the list ("||").
    if (parts[i].empty()) break;
    if (!filter.empty()) filter += ";;";
    filter += DescriptionName(parts[i]);
    filter += " (" + BlankSeparatedPatterns(parts[i + 1]) + ")";
  }
  return filter;
}

}  // namespace korv
