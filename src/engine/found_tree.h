// The found items as the user sees them: a tree hanging from the volume's
// root folder, each item with its path. The results view and the command
// line both show this tree; saving walks it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/store.h"

namespace korv {

struct FoundTreeEntry {
  bool folder = false;
  std::uint32_t id = 0;  // FolderId or FileId
  // "/"-separated, relative to the volume's root; UTF-8.
  std::string path;
};

// The root folder's number: 5 on NTFS, 0 on FAT.
std::uint32_t RootNumberOf(std::string_view fileSystem);

// Visits every folder and file reachable from the root `rootNumber` among
// the folders of `volume`, breadth first: each folder's subfolders in list
// order, then its files in the order added. A folder number met twice (a
// loop) is walked once.
void WalkFoundTree(const Store& store, std::uint32_t rootNumber, std::uint16_t volume,
                   const std::function<void(const FoundTreeEntry&)>& visit);

}  // namespace korv
