#include "engine/found_tree.h"

#include <algorithm>
#include <deque>
#include <unordered_set>

#include "platform/bytes.h"

namespace korv {

namespace {

// The folders the walk has taken, by FolderId.
class TakenFolders {
 public:
  explicit TakenFolders(std::size_t expected) : taken_(expected, false) {}
  bool Has(FolderId id) const { return id < taken_.size() && taken_[id]; }
  // False when the folder was taken before.
  bool Take(FolderId id) {
    if (id >= taken_.size()) taken_.resize(std::size_t{id} + 1, false);
    if (taken_[id]) return false;
    taken_[id] = true;
    return true;
  }

 private:
  std::vector<bool> taken_;
};

class FoundTreeWalk {
 public:
  FoundTreeWalk(const Store& store, std::uint32_t rootNumber, std::uint16_t volume, const FoundTreeVisitor& visitor,
                std::size_t expected)
      : store_(store), rootNumber_(rootNumber), volume_(volume), visitor_(visitor), taken_(expected) {}

  // Walks `top` and everything below it, depth first, with an explicit
  // stack so that no depth of nesting can exhaust the call stack. A folder
  // is taken as it is queued.
  void Subtree(FolderId top, TreePlace parent) {
    if (ended_ || !taken_.Take(top)) return;
    std::vector<Pending> pending{{top, parent}};
    while (!pending.empty() && !ended_) {
      const Pending next = pending.back();
      pending.pop_back();
      const AfterFolder after = Visit(next.id, next.parent);
      if (after.step != AfterFolder::Step::Enter) continue;
      const std::uint32_t number = store_.folder(next.id).ownNumber;
      if (!OwnsItsNumber(number, rootNumber_)) continue;
      const std::vector<FolderId> children = ChildrenInTree(store_, number, volume_);
      // Reversed, so that the first child is taken first.
      for (auto child = children.rbegin(); child != children.rend(); ++child) {
        if (taken_.Take(*child)) pending.push_back({*child, after.place});
      }
    }
  }

  void FromRoot() {
    for (const FolderId child : ChildrenInTree(store_, rootNumber_, volume_)) Subtree(child, kRootPlace);
  }

  // Folders the root cannot reach go below "Lost", each branch with its
  // shape kept from its highest folder not yet placed.
  void Unreachable() {
    std::optional<TreePlace> lost;
    if (const auto folder = store_.FindFolder(LostNumber, volume_); folder && lostPlace_) lost = lostPlace_;
    for (const FolderId id : store_.FoldersInOrder()) {
      if (ended_) return;
      if (store_.folder(id).volumeNumber != volume_ || taken_.Has(id)) continue;
      if (!lost) lost = PlaceLost();
      if (!lost || taken_.Has(id)) continue;  // no place for them, or the "Lost" folder itself
      Subtree(TopOfUnreachableBranch(id), *lost);
    }
  }

 private:
  struct Pending {
    FolderId id;
    TreePlace parent;
  };

  AfterFolder Visit(FolderId id, TreePlace parent) {
    const AfterFolder after = visitor_.folder(id, parent);
    if (after.step == AfterFolder::Step::End) ended_ = true;
    if (after.step == AfterFolder::Step::Enter && store_.folder(id).ownNumber == LostNumber) lostPlace_ = after.place;
    return after;
  }

  // The store's "Lost" folder (walked below the root when the root does not
  // reach it), else a place made up for it.
  std::optional<TreePlace> PlaceLost() {
    const auto lost = store_.FindFolder(LostNumber, volume_);
    if (!lost) return visitor_.madeUpLost();
    if (!taken_.Has(*lost)) Subtree(*lost, kRootPlace);
    return lostPlace_;
  }

  // The highest folder above `start` not taken yet, following parent
  // numbers until a parent is missing, already taken, or met before (a loop).
  FolderId TopOfUnreachableBranch(FolderId start) const {
    std::unordered_set<FolderId> climbed{start};
    FolderId top = start;
    for (;;) {
      const auto parent = store_.FindFolder(store_.folder(top).parentNumber, volume_);
      if (!parent || taken_.Has(*parent) || !climbed.insert(*parent).second) return top;
      top = *parent;
    }
  }

  const Store& store_;
  std::uint32_t rootNumber_;
  std::uint16_t volume_;
  const FoundTreeVisitor& visitor_;
  TakenFolders taken_;
  std::optional<TreePlace> lostPlace_;
  bool ended_ = false;
};

}  // namespace

std::uint32_t RootNumberOf(FileSystemKind fileSystem) {
  return fileSystem == FileSystemKind::Ntfs ? NtfsRootNumber : FatRootNumber;
}

std::uint16_t ShownVolume(const Store& store) { return static_cast<std::uint16_t>(store.currentVolume.load()); }

std::vector<FolderId> ChildrenInTree(const Store& store, std::uint32_t number) {
  return ChildrenInTree(store, number, ShownVolume(store));
}

std::vector<FolderId> ChildrenInTree(const Store& store, std::uint32_t number, std::uint16_t volume) {
  std::vector<FolderId> children;
  for (const FolderId id : store.ChildFolders(number)) {
    if (store.folder(id).volumeNumber == volume) children.push_back(id);
  }
  return children;
}

bool OwnsItsNumber(std::uint32_t number, std::uint32_t rootNumber) { return number != rootNumber && number != 0; }

void WalkFoundTree(const Store& store, std::uint32_t rootNumber, std::uint16_t volume,
                   const FoundTreeVisitor& visitor) {
  FoundTreeWalk walk(store, rootNumber, volume, visitor, static_cast<std::size_t>(std::max(0, store.folderCount())));
  walk.FromRoot();
  if (visitor.madeUpLost) walk.Unreachable();
}

void WalkFolderSubtree(const Store& store, std::uint32_t rootNumber, FolderId top, const FoundTreeVisitor& visitor) {
  FoundTreeWalk walk(store, rootNumber, ShownVolume(store), visitor, 0);
  walk.Subtree(top, kRootPlace);
}

std::vector<FoundTreeEntry> ListFoundTree(const Store& store, std::uint32_t rootNumber, std::uint16_t volume) {
  std::vector<FoundTreeEntry> entries;
  VisitFoundTreeEntries(store, rootNumber, volume, [&](const FoundTreeEntry& entry) { entries.push_back(entry); });
  return entries;
}

void VisitFoundTreeEntries(const Store& store, std::uint32_t rootNumber, std::uint16_t volume,
                           const std::function<void(const FoundTreeEntry&)>& each) {
  struct Node {
    std::optional<FolderId> folder;  // nullopt for the root and a "Lost" without a record
    std::uint32_t number = 0;
    std::string path;
    std::vector<TreePlace> children;
  };
  std::vector<Node> nodes{{std::nullopt, rootNumber, "", {}}};
  const auto add = [&](TreePlace parent, std::optional<FolderId> folder, std::uint32_t number, std::string name) {
    std::string path = parent == kRootPlace ? std::move(name) : nodes[parent].path + "/" + name;
    nodes.push_back({folder, number, std::move(path), {}});
    const auto place = static_cast<TreePlace>(nodes.size() - 1);
    nodes[parent].children.push_back(place);
    return place;
  };
  FoundTreeVisitor visitor;
  visitor.folder = [&](FolderId id, TreePlace parent) {
    const FoundFolder& folder = store.folder(id);
    return AfterFolder::Enter(add(parent, id, folder.ownNumber, Utf16ToUtf8(folder.name)));
  };
  visitor.madeUpLost = [&] { return add(kRootPlace, std::nullopt, LostNumber, std::string(kMadeUpLostText)); };
  WalkFoundTree(store, rootNumber, volume, visitor);

  std::deque<TreePlace> pending{kRootPlace};
  while (!pending.empty()) {
    const TreePlace place = pending.front();
    pending.pop_front();
    for (const TreePlace child : nodes[place].children) {
      if (const auto folder = nodes[child].folder) each({true, *folder, nodes[child].path});
      pending.push_back(child);
    }
    const Node& node = nodes[place];
    if (place != kRootPlace && !OwnsItsNumber(node.number, rootNumber)) continue;
    const std::string prefix = place == kRootPlace ? "" : node.path + "/";
    for (const FileId id : store.ChildFiles(node.number)) {
      each({false, id, prefix + Utf16ToUtf8(store.file(id).name)});
    }
  }
}

}  // namespace korv
