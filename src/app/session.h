// The process-wide state of one run of the program. The program makes one
// Session; every test makes its own. Functions below the front ends take the
// narrowest part of it they need, never the Session itself.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "common/prompts.h"
#include "common/worker_control.h"
#include "platform/file.h"
#include "storage/current_source.h"
#include "storage/sector_source.h"
#include "storage/virtual_disk.h"
#include "vdisk/selection.h"

namespace korv {

class Session {
 public:
  explicit Session(Prompts& prompts);
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

 private:
  std::unique_ptr<VirtualDisk> virtualDisk_;
};

}  // namespace korv
