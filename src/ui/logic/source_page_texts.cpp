#include "ui/logic/source_page_texts.h"

#include <charconv>

#include "common/size_text.h"
#include "storage/inventory.h"

namespace korv {

namespace {

// A decimal byte count as the inventory keeps it; 0 when it is not one.
std::uint64_t ParseByteCount(const std::string& text) {
  std::uint64_t bytes = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, bytes);
  if (error != std::errc() || stop != end) return 0;
  return bytes;
}

}  // namespace

DiskFacts ReadDiskFacts(const InventoryStore& inventory, int diskNumber) {
  const std::string name = DiskValueName(diskNumber);
  DiskFacts disk;
  disk.diskNumber = diskNumber;
  disk.model = ReadInventoryValue(inventory, kInventoryModel, name);
  disk.mediaType = ReadInventoryValue(inventory, kInventoryMediaType, name);
  disk.sizeBytes = ParseByteCount(ReadInventoryValue(inventory, kInventorySize, name));
  return disk;
}

InformationLines BareInformationLines() {
  return {std::string(kLabelDiskNumber), std::string(kLabelModel), std::string(kLabelMediaType),
          std::string(kLabelDiskSize)};
}

InformationLines DiskInformationLines(const DiskFacts& disk) {
  return {
      std::string(kValueLabelDiskNumber) + std::to_string(disk.diskNumber),
      std::string(kValueLabelModel) + disk.model,
      std::string(kValueLabelMediaType) + disk.mediaType,
      std::string(kValueLabelDiskSize) + FormatSizeText(disk.sizeBytes, "0"),
  };
}

int FileSystemItem(std::string_view fileSystem) {
  for (std::size_t item = 0; item < kFileSystemItems.size(); ++item) {
    if (kFileSystemItems[item] == fileSystem) return static_cast<int>(item);
  }
  return kUnknownFileSystemItem;
}

}  // namespace korv
