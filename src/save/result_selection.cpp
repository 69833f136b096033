#include "save/result_selection.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/found_tree.h"
#include "platform/bytes.h"
#include "save/safe_names.h"

namespace korv {

namespace {

bool HoldsSelection(const Store& store, std::uint32_t number) {
  for (const FolderId child : ChildrenInTree(store, number)) {
    if (IsTicked(store.folder(child))) return true;
  }
  const auto files = store.ChildFiles(number);
  return std::any_of(files.begin(), files.end(), [&](FileId id) { return store.file(id).selected == kFlagYes; });
}

// Ticking ticks every ancestor; unticking unticks them while they hold
// nothing selected.
void UpdateAncestors(Store& store, std::uint32_t rootNumber, std::uint32_t parentNumber, char flag) {
  std::unordered_set<FolderId> seen;
  for (std::uint32_t number = parentNumber; number != rootNumber;) {
    const auto id = store.FindFolder(number, ShownVolume(store));
    if (!id || !seen.insert(*id).second) return;
    if (flag != kFlagYes && HoldsSelection(store, number)) return;
    store.SetFolderSelected(*id, flag);
    number = store.folder(*id).parentNumber;
  }
}

std::optional<FolderId> ChildFolderNamed(const Store& store, std::uint32_t number, std::string_view name) {
  for (const FolderId id : ChildrenInTree(store, number)) {
    if (Utf16ToUtf8(store.folder(id).name) == name) return id;
  }
  return std::nullopt;
}

std::optional<FileId> ChildFileNamed(const Store& store, std::uint32_t number, std::string_view name) {
  for (const FileId id : store.ChildFiles(number)) {
    if (Utf16ToUtf8(store.file(id).name) == name) return id;
  }
  return std::nullopt;
}

std::vector<std::string_view> PathParts(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const auto slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

}  // namespace

void SelectEverything(Store& store, char flag) {
  for (const FolderId id : store.FoldersInOrder()) store.SetFolderSelected(id, flag);
  store.ForEachFileInOrder([&](FileId id) { store.SetFileSelected(id, flag); });
}

void SelectFolderTree(Store& store, std::uint32_t rootNumber, FolderId folder, char flag) {
  FoundTreeVisitor visitor;
  visitor.folder = [&](FolderId id, TreePlace) {
    store.SetFolderSelected(id, flag);
    const std::uint32_t number = store.folder(id).ownNumber;
    if (OwnsItsNumber(number, rootNumber)) {
      for (const FileId file : store.ChildFiles(number)) store.SetFileSelected(file, flag);
    }
    return AfterFolder::Enter(kRootPlace);
  };
  WalkFolderSubtree(store, rootNumber, folder, visitor);
  UpdateAncestors(store, rootNumber, store.folder(folder).parentNumber, flag);
}

void SelectFile(Store& store, std::uint32_t rootNumber, FileId file, char flag) {
  store.SetFileSelected(file, flag);
  UpdateAncestors(store, rootNumber, store.file(file).parentNumber, flag);
}

bool SelectPath(Store& store, std::uint32_t rootNumber, std::string_view path) {
  const std::vector<std::string_view> parts = PathParts(path);
  if (parts.empty()) {
    SelectEverything(store);
    return true;
  }
  std::uint32_t number = rootNumber;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const auto folder = ChildFolderNamed(store, number, parts[i]);
    if (!folder || !OwnsItsNumber(store.folder(*folder).ownNumber, rootNumber)) return false;
    number = store.folder(*folder).ownNumber;
  }
  if (const auto folder = ChildFolderNamed(store, number, parts.back())) {
    SelectFolderTree(store, rootNumber, *folder);
    return true;
  }
  if (const auto file = ChildFileNamed(store, number, parts.back())) {
    SelectFile(store, rootNumber, *file);
    return true;
  }
  return false;
}

void WalkTickedFolders(const Store& store, std::uint32_t rootNumber,
                       const std::function<bool(const TreeFolder&)>& visit) {
  if (!visit(TreeFolder{std::nullopt, rootNumber, {}, true})) return;
  // The paths from the root down to the folder entered last. The walk is
  // done with a folder's children before it leaves the folder, so a place
  // is the depth of its path here, and deeper paths are finished.
  std::vector<std::filesystem::path> paths{{}};
  FoundTreeVisitor visitor;
  visitor.folder = [&](FolderId id, TreePlace parent) {
    const FoundFolder& folder = store.folder(id);
    if (!IsTicked(folder)) return AfterFolder::Pass();
    paths.resize(std::size_t{parent} + 1);
    const TreeFolder node{id, folder.ownNumber, paths[parent] / SafeHostName(folder.name, folder.ownNumber),
                          OwnsItsNumber(folder.ownNumber, rootNumber)};
    if (!visit(node)) return AfterFolder::End();
    paths.push_back(node.relativePath);
    return AfterFolder::Enter(static_cast<TreePlace>(paths.size() - 1));
  };
  WalkFoundTree(store, rootNumber, ShownVolume(store), visitor);
}

}  // namespace korv
