// The found items as the user sees them: a tree hanging from the volume's
// root folder. The results view, the command line, ticking and saving all
// walk it with the one walk here, so each shows and takes the same folders.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system_kind.h"
#include "engine/store.h"

namespace korv {

// The root folder's number, the parent number of the root's items: 5 on
// NTFS, 0 on FAT.
std::uint32_t RootNumberOf(FileSystemKind fileSystem);

// The volume whose folders the tree shows.
std::uint16_t ShownVolume(const Store& store);
// The folders of `volume` (the shown one unless named) whose parent is
// `number`, in list order.
std::vector<FolderId> ChildrenInTree(const Store& store, std::uint32_t number);
std::vector<FolderId> ChildrenInTree(const Store& store, std::uint32_t number, std::uint16_t volume);
// Whether a folder's number can have children and files of its own: the
// root's number and 0 belong to the root.
bool OwnsItsNumber(std::uint32_t number, std::uint32_t rootNumber);

// The label of a "Lost" the store holds no folder for.
inline constexpr std::string_view kMadeUpLostText = "Lost";

// Where the walk puts a folder: a handle its caller hands out (a node, a
// path), passed back as the parent of the folder's children.
using TreePlace = std::uint32_t;
// The place of the root, which has no record.
inline constexpr TreePlace kRootPlace = 0;

// What the walk does after a folder: goes into it, placing its children
// under `place`; passes it by with everything below it; or ends.
struct AfterFolder {
  enum class Step { Enter, Pass, End };
  Step step = Step::Pass;
  TreePlace place = kRootPlace;

  static AfterFolder Enter(TreePlace place) { return {Step::Enter, place}; }
  static AfterFolder Pass() { return {Step::Pass, kRootPlace}; }
  static AfterFolder End() { return {Step::End, kRootPlace}; }
};

struct FoundTreeVisitor {
  // A folder placed below `parent`. A folder that does not own its number
  // (OwnsItsNumber) is never entered, whatever this returns.
  std::function<AfterFolder(FolderId folder, TreePlace parent)> folder;
  // When set, folders the root cannot reach (parents missing or looping)
  // are walked too, below "Lost": the store's "Lost" folder (placed below
  // the root when it is out of reach itself), or else the place this gives
  // for a "Lost" that has no record. Unset, they are left out.
  std::function<TreePlace()> madeUpLost;
};

// Walks the folders of `volume` from the root: depth first, each folder
// before its children, children in list order, iteratively. Each folder is
// taken once, so parent numbers that loop end the walk.
void WalkFoundTree(const Store& store, std::uint32_t rootNumber, std::uint16_t volume, const FoundTreeVisitor& visitor);

// The same walk in the shown volume from `top` (placed below kRootPlace)
// down, without "Lost".
void WalkFolderSubtree(const Store& store, std::uint32_t rootNumber, FolderId top, const FoundTreeVisitor& visitor);

struct FoundTreeEntry {
  bool folder = false;
  std::uint32_t id = 0;  // FolderId or FileId
  // "/"-separated, relative to the volume's root; UTF-8.
  std::string path;
};

// Every folder and file of the walk with "Lost", as the command line lists
// them: breadth first, each folder's subfolders in tree order, then its
// files in the order added (none for a folder that does not own its number).
// A "Lost" that has no record gets no entry of its own; what it holds is
// listed below "Lost/".
std::vector<FoundTreeEntry> ListFoundTree(const Store& store, std::uint32_t rootNumber, std::uint16_t volume);
// The same entries in the same order, handed to `each` one at a time as the
// listing reaches them, so that a caller can write them out without holding
// them all.
void VisitFoundTreeEntries(const Store& store, std::uint32_t rootNumber, std::uint16_t volume,
                           const std::function<void(const FoundTreeEntry&)>& each);

}  // namespace korv
