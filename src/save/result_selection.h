// The results tree as a save sees it, without any window toolkit: the tree
// root (the volume's root folder, which has no record), below it the found
// folders of the shown volume by their numbers, each ticked or not, and the
// files, each selected or not.
//
// A folder's tick is its record's `selected` flag: 'y' ticked, 'n' not. The
// front ends keep to that when the user ticks, and build their selections
// with the operations here (the command line's --select, the wizard's
// ticks), so the evaluation and the save walk read the same thing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/found_tree.h"
#include "engine/store.h"

namespace korv {

// Ticks (or unticks) the root: every folder and file.
void SelectEverything(Store& store, char flag = kFlagYes);

// Ticks (or unticks) a folder with everything below it in the tree, files
// included. Ticking ticks its ancestors too (not their files); unticking
// unticks each ancestor that no longer holds a ticked folder or selected
// file directly, up to the first that still does.
void SelectFolderTree(Store& store, std::uint32_t rootNumber, FolderId folder, char flag = kFlagYes);

// Selects (or deselects) one file; its folder and their ancestors follow as
// for SelectFolderTree.
void SelectFile(Store& store, std::uint32_t rootNumber, FileId file, char flag = kFlagYes);

// Ticks what a "/"-separated path below the root names (names as the tree
// shows them, in UTF-8): a folder with its subtree, or a file. An empty path
// or "/" is the root. False when nothing has that path.
bool SelectPath(Store& store, std::uint32_t rootNumber, std::string_view path);

// A folder node the walk visits: the root (no record) or a found folder,
// with its path below the root as destination folder names.
struct TreeFolder {
  std::optional<FolderId> id;  // nullopt for the root
  std::uint32_t number = 0;    // the parent number of its files
  std::filesystem::path relativePath;
  // Whether its files are saved: never for a folder numbered 0 below the
  // root, which no file can belong to.
  bool holdsFiles = true;
};

// Visits the root, then its ticked children in the found tree's walk (depth
// first in the store's list order, each before its own children; folders
// the root cannot reach are left out). An unticked folder is not visited,
// nor is anything below it. The walk ends when `visit` returns false.
void WalkTickedFolders(const Store& store, std::uint32_t rootNumber,
                       const std::function<bool(const TreeFolder&)>& visit);

// The ticked-folder test of the walk.
inline bool IsTicked(const FoundFolder& folder) { return folder.selected == kFlagYes; }

}  // namespace korv
