// The one selected source and the range being worked on.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "common/file_system_kind.h"
#include "platform/file.h"

namespace korv {

class VirtualDisk;

enum class SourceKind { PhysicalDisk, LogicalDrive, Floppy, DiskImage, VirtualDisk };

enum class BadSectorPolicy : std::int32_t { Retry = 0, Skip = 1, RetryAll = 2, SkipAll = 3 };

constexpr int kDevicePathSlots = 10;
// The floppy drive, read whatever path a caller passes while the selected
// item's name ends in "Floppy".
inline constexpr const char* kFloppyDevicePath = "/dev/fd0";

struct DevicePathTable {
  std::array<std::string, kDevicePathSlots> paths{};
  std::int16_t currentDevice = 0;

  const std::string& current() const;
};

// The device handle ReadSectors keeps open between calls: replaced when a
// read names another path, a failed open cached as no handle.
struct DeviceHandleCache {
  bool used = false;
  std::string path;
  std::unique_ptr<ReadHandle> handle;
};

struct CurrentSource {
  SourceKind kind = SourceKind::PhysicalDisk;
  std::string displayName;
  DevicePathTable devices;
  // The letter of the open virtual disk's format (the letters are listed
  // with the formats in vdisk/); none before a virtual disk is opened.
  char virtualFormat = '\0';
  std::filesystem::path imageFolder;
  // A raw disk image (from dd, or qemu-img convert): the one file read as
  // the image's only piece. Empty for an image folder.
  std::filesystem::path imageFile;
  bool imageSplit = false;
  std::int32_t bytesPerSector = 512;

  // Not owned: the open reader of the session, set with virtualFormat.
  VirtualDisk* virtualDisk = nullptr;
  // Not owned: devices and image pieces are opened through it.
  IoProvider* io = nullptr;
  DeviceHandleCache deviceHandle;

  // Bytes an image piece spans before the next one starts (2 GB). Only
  // tests change it, so that split images stay small.
  std::uint64_t imagePieceSpanBytes = 0x80000000ULL;

  bool isVirtual() const { return kind == SourceKind::VirtualDisk; }
  // The kind of the disk file the user opened: an image folder when one is
  // open, else a virtual disk. The source tree lists it among the virtual
  // disks either way.
  SourceKind openFileKind() const { return imageFolder.empty() ? SourceKind::VirtualDisk : SourceKind::DiskImage; }
  bool isImage() const { return kind == SourceKind::DiskImage; }
};

struct SelectedRange {
  std::uint64_t firstSector = 0;
  // The first sector after the range; 0 means no limit.
  std::uint64_t endSector = 0;
  FileSystemKind fileSystem = FileSystemKind::Unknown;
  std::int16_t diskNumber = 0;
  std::int16_t partitionIndex = -1;
  std::string selectedText;
  std::string partitionText;
  BadSectorPolicy badSectorPolicy = BadSectorPolicy::Retry;
};

}  // namespace korv
