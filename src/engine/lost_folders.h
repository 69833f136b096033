// Folders and files whose parent folder was not found go under "Lost", so
// every item found can be reached from the root.
#pragma once

#include <cstdint>

#include "engine/analysis_job.h"

namespace korv {

// Adds the folder "Lost" to the root of an NTFS volume (volume 0).
void AddLostFolder(Store& store);
// Adds the folder "Lost" to the root of a FAT volume, named in 8-bit text as
// FAT names are.
void AddFatLostFolder(Store& store, std::uint16_t volume = 0);

// The lost-folder pass of volume `volume` whose root folder is `rootNumber`:
// a folder whose parent is not a folder of the store, and every folder that
// cannot be reached from the root (parents that loop), moves under "Lost";
// so do files whose parent is not a folder of the store. Shows its status
// texts and percentage, opening with `status`; honours pause and Back.
void AssignLostItems(AnalysisJob& job, std::uint32_t rootNumber, std::uint16_t volume,
                     std::string_view status = kStatusSearchingLostFolders);

}  // namespace korv
