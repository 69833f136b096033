#include "ui/logic/source_page_texts.h"

#include "common/size_text.h"
#include "storage/inventory.h"

namespace korv {

DiskFacts ReadDiskFacts(const InventoryStore& inventory, int diskNumber) {
  const std::string name = DiskValueName(diskNumber);
  DiskFacts disk;
  disk.diskNumber = diskNumber;
  disk.model = ReadInventoryValue(inventory, kInventoryModel, name);
  disk.mediaType = ReadInventoryValue(inventory, kInventoryMediaType, name);
  disk.sizeBytes = RegisteredDiskBytes(inventory, diskNumber);
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

int FileSystemItem(FileSystemKind fileSystem) {
  for (std::size_t item = 0; item < kFileSystemItems.size(); ++item) {
    if (kFileSystemItems[item] == fileSystem) return static_cast<int>(item);
  }
  return kUnknownFileSystemItem;
}

}  // namespace korv
