// The process-wide state of one run of the program. The program makes one
// Session; every test makes its own. Functions below the front ends take the
// narrowest part of it they need, never the Session itself.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "common/prompts.h"
#include "common/recovery_mode.h"
#include "common/wizard_state.h"
#include "common/worker_control.h"
#include "engine/analysis_driver.h"
#include "engine/recovery_log.h"
#include "engine/scan_list.h"
#include "engine/store.h"
#include "fs/boot_parameters.h"
#include "platform/file.h"
#include "platform/inventory_store.h"
#include "save/save_filters.h"
#include "save/save_state.h"
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

  // Makes the picked virtual disk file, or image folder (the folder or its
  // "DiskImage0.dmg"), the current source when it is accepted; the previous
  // source stays as it was otherwise.
  VirtualFileSelection OpenVirtualFile(const std::filesystem::path& path);
  // OK of the file selection dialog: the acceptance checks of a file probed
  // on Browse; an accepted file becomes the current source.
  VirtualFileSelection AcceptVirtualFile(VirtualFileProbe probe);
  // The image folder at `path` (or holding it), or the raw disk image at
  // `path`, as the current source.
  VirtualFileSelection OpenImage(const std::filesystem::path& path);
  // What the inventory records about the open disk file; nothing before one
  // is open.
  std::optional<VirtualDiskFacts> OpenDiskFacts() const;

  // Fills the source tree and selects partition `number` (from 1, as the
  // tree numbers them) of the open virtual disk, as a click does. False when
  // the disk has no such partition.
  bool SelectPartition(int number);
  // Fills the source tree and selects the open virtual disk's own node.
  bool SelectDisk();

  // Next on the source page in a partition mode (Deleted or Formatted Data
  // Recovery), then the analysis on the calling thread: the checks of Next,
  // the boot parameters of the selected partition, the run. A refusal is
  // shown through the prompts and gives NoWorker.
  AnalysisOutcome Analyse(RecoveryMode mode, AnalysisProgress& progress);
  // The part of Analyse after the checks of Next, for a range already
  // selected: the boot parameters, then the run.
  AnalysisOutcome AnalyseSelectedRange(RecoveryMode mode, AnalysisProgress& progress);
  AnalysisJob MakeAnalysisJob(AnalysisProgress& progress);

  // Partition Data Recovery on the typed range already selected: the scan
  // that lists the volumes the range holds in volumeCandidates
  // (CloseForVolumeList when it ran to its end).
  AnalysisOutcome ScanRangeForVolumes(AnalysisProgress& progress);
  // The volume list's Next: volume `number` (from 1) of the list is picked,
  // its geometry becomes the boot words, and its finds are copied into the
  // store. A number that is not one of the list picks nothing (NoWorker).
  AnalysisOutcome CopyFoundVolume(std::int64_t number, AnalysisProgress& progress);
  // Back from the volume list: the scan's lists, the store and the list of
  // volumes are freed.
  void LeaveVolumeList();

  // "Save Log": the analysis as it stands written to the chosen file (with
  // ".kvfr" appended to its name when it lacks it); from the volume list
  // with the scan lists. The message when it could not be written.
  std::optional<std::string_view> SaveLog(const std::filesystem::path& chosen, bool fromVolumeList);
  // "Load log": the header of the log at `path` restores the selection, the
  // words, the mode and the volumes, for ReplayLog to load the lists. The
  // message when refused; nothing changes then.
  std::optional<std::string_view> LoadLogHeader(const std::filesystem::path& path);
  // The analysis run of a loaded log: its lists instead of an analysis.
  AnalysisOutcome ReplayLog(AnalysisProgress& progress);
  RecoveryLogState MakeLogState();

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
  VolumeCandidateList volumeCandidates;
  WizardState wizard;
  AnalysisRunFlags runFlags;
  AnalysisParameters analysisParameters;
  SaveFilters saveFilters;  // the save's "Settings...", for the whole process
  SaveState saveState;
  LoadedLog loadedLog;  // the log whose header was loaded last

 private:
  const SourceNode* FillTreeAndFindDisk();

  std::unique_ptr<VirtualDisk> virtualDisk_;
};

}  // namespace korv
