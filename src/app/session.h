// The process-wide state of one run of the program. The program makes one
// Session; every test makes its own. Functions below the front ends take the
// narrowest part of it they need, never the Session itself.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "common/prompts.h"
#include "common/worker_control.h"
#include "engine/scan_list.h"
#include "engine/store.h"
#include "fs/boot_parameters.h"
#include "platform/file.h"
#include "platform/inventory_store.h"
#include "storage/current_source.h"
#include "storage/sector_source.h"
#include "storage/virtual_disk.h"
#include "vdisk/selection.h"
#include "volumes/partition_table.h"
#include "volumes/source_tree.h"

namespace korv {

struct SessionOptions {
  // Where the disk inventory is kept; empty: the user's state folder.
  std::filesystem::path inventoryPath;
  // Fill the device table with the machine's disks. Tests leave it off and
  // put plain files in the table instead.
  bool findPhysicalDisks = true;
};

class Session {
 public:
  explicit Session(Prompts& prompts, SessionOptions options = {});
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Makes the picked virtual disk file the current source when it is
  // accepted; the previous source stays as it was otherwise.
  VirtualFileSelection OpenVirtualFile(const std::filesystem::path& path);

  Prompts& prompts;
  PosixIo io;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors;
  WorkerControl worker;
  InventoryStore inventory;
  DiskTable disks{};
  SourceTree sourceTree;
  BootParameters bootParameters;
  Store store;
  ScanLists scanLists;

 private:
  std::unique_ptr<VirtualDisk> virtualDisk_;
};

}  // namespace korv
