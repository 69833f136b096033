// The disk inventory: every physical disk found and the open virtual disk,
// under the key "KorvGeometry" and its seven subkeys, one string value per
// disk named "Disk" + its number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/inventory_store.h"
#include "storage/current_source.h"
#include "storage/virtual_disk.h"

namespace korv {

inline constexpr std::string_view kInventoryKey = "KorvGeometry";
inline constexpr std::string_view kInventoryCylinder = "Cylinder";
inline constexpr std::string_view kInventoryHead = "Head";
inline constexpr std::string_view kInventoryMediaType = "MediaType";
inline constexpr std::string_view kInventoryModel = "Model";
inline constexpr std::string_view kInventorySectorsPerTrack = "SectorsPerTrack";
inline constexpr std::string_view kInventorySize = "Size";
inline constexpr std::string_view kInventoryBytesPerSector = "BytesPerSector";

// The value under "KorvGeometry" that marks the virtual disk entry.
inline constexpr std::string_view kInventoryVirtualMark = "VMM";
inline constexpr std::string_view kInventoryFixedMark = "HDD";
inline constexpr std::string_view kInventoryRemovableMark = "ZIP";
inline constexpr std::string_view kMediaTypeFixed = "Fixed hard disk media";
inline constexpr std::string_view kMediaTypeRemovable = "Removable media other than floppy";
inline constexpr std::string_view kVirtualMediaPrefix = "Virtual File";

// Disks are numbered 0 to 25.
constexpr int kMaxInventoryDisks = 26;

std::string DiskValueName(int diskNumber);
// "KorvGeometry" for an empty subkey, else "KorvGeometry\" + subkey.
std::string InventoryKeyPath(std::string_view subkey);

struct InventoryRefresh {
  bool saved = false;              // the store file was written
  std::vector<int> physicalDisks;  // numbers of the disks that answered
  int virtualDiskNumber = -1;      // -1 when no virtual disk is open
};

// Rebuilds the whole inventory: the disks in the device table that answer the
// geometry query, then the open virtual disk (if any) numbered after the last
// of them (0 when none answered).
// The open disk file is a virtual disk or an image folder; its facts are
// what the inventory records about it.
InventoryRefresh RefreshDiskInventory(InventoryStore& store, const DevicePathTable& devices,
                                      const VirtualDiskFacts* openDisk);

// The value `valueName` under the subkey (empty: the key itself); empty text
// when the key or the value is missing.
std::string ReadInventoryValue(const InventoryStore& store, std::string_view subkey, const std::string& valueName);

// The byte count registered under "Size" for disk N; 0 when it is missing or
// not a decimal number that fits 64 bits.
std::uint64_t RegisteredDiskBytes(const InventoryStore& store, int diskNumber);

}  // namespace korv
