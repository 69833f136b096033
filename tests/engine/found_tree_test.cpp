#include "engine/found_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "engine/item_time.h"

namespace korv {
namespace {

constexpr std::uint32_t kRoot = NtfsRootNumber;

FolderId AddFolder(Store& store, std::u16string_view name, std::uint32_t parent, std::uint32_t own,
                   std::uint16_t volume = 0) {
  return store.AddFolder({.name = {.wide = name}, .parentNumber = parent, .ownNumber = own, .volumeNumber = volume}).id;
}

void AddFile(Store& store, std::u16string_view name, std::uint32_t parent) {
  store.AddFile({.name = {.wide = name}, .parentNumber = parent});
}

// The listing as "D path" / "F path" lines.
std::vector<std::string> Listing(const Store& store, std::uint16_t volume = 0) {
  std::vector<std::string> lines;
  for (const FoundTreeEntry& entry : ListFoundTree(store, kRoot, volume)) {
    lines.push_back((entry.folder ? "D " : "F ") + entry.path);
  }
  return lines;
}

TEST(ListFoundTreeTest, BreadthFirstFoldersBeforeFilesOfTheShownVolumeOnly) {
  Store store;
  AddFolder(store, u"docs", kRoot, 100);
  AddFolder(store, u"pics", kRoot, 101);
  AddFolder(store, u"other volume", kRoot, 102, 1);
  AddFolder(store, u"letters", 100, 103);
  AddFile(store, u"a.txt", kRoot);
  AddFile(store, u"b.txt", 100);
  AddFile(store, u"c.txt", 103);
  AddFile(store, u"d.bmp", 101);
  EXPECT_EQ(Listing(store), (std::vector<std::string>{"D docs", "D pics", "F a.txt", "D docs/letters", "F docs/b.txt",
                                                      "F pics/d.bmp", "F docs/letters/c.txt"}));
  // Files carry no volume: the root's files belong to every volume's root.
  EXPECT_EQ(Listing(store, 1), (std::vector<std::string>{"D other volume", "F a.txt"}));
}

TEST(ListFoundTreeTest, UnreachableBranchesAreListedBelowLostAndLoopsEnd) {
  Store store;
  AddFolder(store, u"kept", kRoot, 100);
  // A loop of parents the root never reaches, and a folder whose parent is missing.
  AddFolder(store, u"ring-a", 201, 200);
  AddFolder(store, u"ring-b", 200, 201);
  AddFolder(store, u"orphan", 300, 301);
  AddFile(store, u"in-ring.txt", 201);
  // A folder numbered 0 owns nothing, though files name 0 as their parent.
  AddFolder(store, u"zero", kRoot, 0);
  AddFile(store, u"nobody.txt", 0);

  const std::vector<std::string> made = Listing(store);
  EXPECT_EQ(made, (std::vector<std::string>{"D kept", "D zero", "D Lost/ring-a", "D Lost/orphan",
                                            "D Lost/ring-a/ring-b", "F Lost/ring-a/ring-b/in-ring.txt"}));

  // With a "Lost" folder of its own, the same branches hang below it.
  AddFolder(store, u"Lost", kRoot, LostNumber);
  const std::vector<std::string> held = Listing(store);
  EXPECT_EQ(held.front(), "D kept");
  EXPECT_NE(std::find(held.begin(), held.end(), "D Lost"), held.end());
  EXPECT_NE(std::find(held.begin(), held.end(), "D Lost/orphan"), held.end());
  EXPECT_NE(std::find(held.begin(), held.end(), "F Lost/ring-a/ring-b/in-ring.txt"), held.end());
}

TEST(WalkFoundTreeTest, PassedFoldersHideTheirSubtreeAndEndStopsTheWalk) {
  Store store;
  const FolderId first = AddFolder(store, u"first", kRoot, 100);
  AddFolder(store, u"below-first", 100, 101);
  const FolderId second = AddFolder(store, u"second", kRoot, 102);
  AddFolder(store, u"third", kRoot, 103);
  std::vector<FolderId> seen;
  FoundTreeVisitor visitor;
  visitor.folder = [&](FolderId id, TreePlace) {
    seen.push_back(id);
    if (id == first) return AfterFolder::Pass();
    if (id == second) return AfterFolder::End();
    return AfterFolder::Enter(kRootPlace);
  };
  WalkFoundTree(store, kRoot, 0, visitor);
  EXPECT_EQ(seen, (std::vector<FolderId>{first, second}));
}

TEST(ItemTimeTest, NtfsReadsThreeWideTimesAndFatWordPairsWithoutAnAccessTime) {
  const ItemTimes times{0x11111111, 0x22, 0x33333333, 0x44, 0x55555555, 0x66};
  const auto ntfs = [&](ItemTimeKind kind) {
    return std::get<NtfsItemTime>(ReadItemTime(times, kind, FileSystemKind::Ntfs)).ticks;
  };
  EXPECT_EQ(ntfs(ItemTimeKind::Modified), 0x2211111111ULL);
  EXPECT_EQ(ntfs(ItemTimeKind::Created), 0x4433333333ULL);
  EXPECT_EQ(ntfs(ItemTimeKind::Accessed), 0x6655555555ULL);
  for (const FileSystemKind fat : {FileSystemKind::Fat12, FileSystemKind::Fat16, FileSystemKind::Fat32}) {
    const auto created = std::get<FatItemTime>(ReadItemTime(times, ItemTimeKind::Created, fat));
    EXPECT_EQ(created.date, 0x3333);
    EXPECT_EQ(created.time, 0x44);
    EXPECT_TRUE(created.hasTime);
    const auto accessed = std::get<FatItemTime>(ReadItemTime(times, ItemTimeKind::Accessed, fat));
    EXPECT_EQ(accessed.date, 0x5555);
    EXPECT_FALSE(accessed.hasTime);
  }
}

}  // namespace
}  // namespace korv
