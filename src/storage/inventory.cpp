#include "storage/inventory.h"

#include <charconv>

#include "platform/block_devices.h"

namespace korv {

namespace {

constexpr std::string_view kSubkeys[] = {kInventoryCylinder,        kInventoryHead, kInventoryMediaType, kInventoryModel,
                                         kInventorySectorsPerTrack, kInventorySize, kInventoryBytesPerSector};

void Set(InventoryStore& store, std::string_view subkey, const std::string& name, const std::string& value) {
  store.SetValue(InventoryKeyPath(subkey), name, value);
}

void WritePhysicalDisk(InventoryStore& store, int number, const DiskGeometry& geometry, const std::string& model) {
  const std::string name = DiskValueName(number);
  const bool fixed = geometry.mediaType == kMediaFixedHardDisk;
  Set(store, "", name, std::string(fixed ? kInventoryFixedMark : kInventoryRemovableMark));
  Set(store, kInventoryMediaType, name, std::string(fixed ? kMediaTypeFixed : kMediaTypeRemovable));
  // The cylinder text keeps the low 32 bits; the size uses all of them.
  Set(store, kInventoryCylinder, name, std::to_string(static_cast<std::uint32_t>(geometry.cylinders)));
  Set(store, kInventoryHead, name, std::to_string(geometry.tracksPerCylinder));
  Set(store, kInventorySectorsPerTrack, name, std::to_string(geometry.sectorsPerTrack));
  const std::uint64_t size = static_cast<std::uint64_t>(geometry.cylinders) * geometry.tracksPerCylinder *
                             geometry.sectorsPerTrack * geometry.bytesPerSector;
  Set(store, kInventorySize, name, std::to_string(size));
  if (!model.empty()) Set(store, kInventoryModel, name, model);
}

void WriteVirtualDisk(InventoryStore& store, int number, const VirtualDiskFacts& facts) {
  const std::string name = DiskValueName(number);
  Set(store, "", name, std::string(kInventoryVirtualMark));
  Set(store, kInventoryMediaType, name, facts.mediaTypeText);
  if (facts.geometry) {
    Set(store, kInventoryCylinder, name, facts.geometry->cylinders);
    Set(store, kInventoryHead, name, facts.geometry->heads);
    Set(store, kInventorySectorsPerTrack, name, facts.geometry->sectorsPerTrack);
  }
  Set(store, kInventorySize, name, std::to_string(facts.inventorySizeBytes));
  if (!facts.diskTypeText.empty()) Set(store, kInventoryModel, name, facts.diskTypeText);
}

}  // namespace

std::string DiskValueName(int diskNumber) { return "Disk" + std::to_string(diskNumber); }

std::string InventoryKeyPath(std::string_view subkey) {
  if (subkey.empty()) return std::string(kInventoryKey);
  return std::string(kInventoryKey) + "\\" + std::string(subkey);
}

InventoryRefresh RefreshDiskInventory(InventoryStore& store, const DevicePathTable& devices,
                                      const VirtualDiskFacts* openDisk) {
  for (const std::string_view subkey : kSubkeys) store.DeleteKey(InventoryKeyPath(subkey));
  store.DeleteKey(InventoryKeyPath(""));
  store.CreateKey(InventoryKeyPath(""));
  for (const std::string_view subkey : kSubkeys) store.CreateKey(InventoryKeyPath(subkey));

  InventoryRefresh refresh;
  for (int number = 0; number < kDevicePathSlots; ++number) {
    const std::string& path = devices.paths[static_cast<std::size_t>(number)];
    if (path.empty()) continue;
    const auto geometry = QueryDiskGeometry(path);
    if (!geometry) continue;  // a disk that does not answer is left out
    WritePhysicalDisk(store, number, *geometry, QueryDiskModel(path));
    refresh.physicalDisks.push_back(number);
  }
  if (openDisk) {
    refresh.virtualDiskNumber = refresh.physicalDisks.empty() ? 0 : refresh.physicalDisks.back() + 1;
    WriteVirtualDisk(store, refresh.virtualDiskNumber, *openDisk);
  }
  refresh.saved = store.Save();
  return refresh;
}

std::string ReadInventoryValue(const InventoryStore& store, std::string_view subkey, const std::string& valueName) {
  return store.GetValue(InventoryKeyPath(subkey), valueName).value_or("");
}

std::uint64_t RegisteredDiskBytes(const InventoryStore& store, int diskNumber) {
  const std::string text = ReadInventoryValue(store, kInventorySize, DiskValueName(diskNumber));
  std::uint64_t bytes = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, bytes);
  if (error != std::errc() || stop != end) return 0;
  return bytes;
}

}  // namespace korv
