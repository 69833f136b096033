#include "engine/store.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "engine/store_memory.h"

namespace korv {

static_assert(std::bidirectional_iterator<Store::FolderRange::iterator>);

namespace {

constexpr std::size_t kFirstSiblingRoom = 8;

char NormalisedFlag(char flag) { return flag == kFlagYes ? kFlagYes : kFlagNo; }

std::uint64_t NumberKey(std::uint32_t ownNumber, std::uint16_t volumeNumber) {
  return (static_cast<std::uint64_t>(ownNumber) << 16) | volumeNumber;
}

// Counts are signed 32-bit; a store that would pass them is out of room.
void EnsureRoomForOneMore(std::int32_t count) {
  if (count == std::numeric_limits<std::int32_t>::max()) ReportOutOfMemory();
}

FoundFolder MakeFolder(const NewFolder& folder) {
  StoredName name = ChooseName(folder.name);
  FoundFolder made;
  made.name = std::move(name.text);
  made.nameIsEightBit = name.eightBit;
  made.deleted = NormalisedFlag(folder.deleted);
  made.times = folder.times;
  made.parentNumber = folder.parentNumber;
  made.ownNumber = folder.ownNumber;
  made.recordSector = folder.recordSector;
  made.volumeNumber = folder.volumeNumber;
  return made;
}

FoundFile MakeFile(const NewFile& file, std::uint32_t insertionNumber) {
  StoredName name = ChooseName(file.name);
  FoundFile made;
  made.name = std::move(name.text);
  made.nameIsEightBit = name.eightBit;
  made.deleted = NormalisedFlag(file.deleted);
  made.times = file.times;
  made.insertionNumber = insertionNumber;
  made.size = file.size;
  made.parentNumber = file.parentNumber;
  made.ownNumber = file.ownNumber;
  made.recordSector = file.recordSector;
  made.stream = file.stream;
  return made;
}

// Replaces a held name, keeping the 8-bit form where the new text allows it.
template <typename Item>
bool Rename(Item& item, std::u16string_view name) {
  if (name.empty()) return false;
  return GuardAllocation([&] {
    item.name.assign(name);
    item.nameIsEightBit = item.nameIsEightBit && Utf16ToEightBit(name).has_value();
    return true;
  });
}

// The newcomer wins only when it is a live copy of a deleted folder.
bool ReplacesHeld(const FoundFolder& held, const NewFolder& newcomer) {
  return held.deleted == kFlagYes && NormalisedFlag(newcomer.deleted) == kFlagNo;
}

}  // namespace

AddFolderResult Store::AddFolder(const NewFolder& folder) {
  return GuardAllocation([&]() -> AddFolderResult {
    if (const std::optional<FolderId> held = FindFolder(folder.ownNumber, folder.volumeNumber)) {
      if (!ReplacesHeld(folders_[*held], folder)) return {AddOutcome::Dropped, *held};
      OverwriteFolder(*held, folder);
      return {AddOutcome::Replaced, *held};
    }
    return {AddOutcome::Added, AppendFolder(folder)};
  });
}

FolderId Store::AppendFolder(const NewFolder& folder) {
  EnsureRoomForOneMore(folderCount());
  const auto id = static_cast<FolderId>(folders_.size());
  folders_.push_back(MakeFolder(folder));
  folderPlace_.emplace_back();
  PlaceFolder(id);
  if (folder.ownNumber != 0) folderByNumber_.emplace(NumberKey(folder.ownNumber, folder.volumeNumber), id);
  folderCount_.fetch_add(1, std::memory_order_relaxed);
  return id;
}

void Store::OverwriteFolder(FolderId id, const NewFolder& folder) {
  FoundFolder replacement = MakeFolder(folder);
  folderOrder_.erase(folderPlace_[id]);
  folders_[id] = std::move(replacement);
  PlaceFolder(id);
}

// Files the folder under its parent behind every folder placed there before.
void Store::PlaceFolder(FolderId id) {
  const OrderKey key{folders_[id].parentNumber, nextOrder_++};
  folderPlace_[id] = folderOrder_.emplace(key, id).first;
}

FileId Store::AddFile(const NewFile& file) {
  return GuardAllocation([&] {
    EnsureRoomForOneMore(fileCount());
    const auto id = static_cast<FileId>(files_.size());
    files_.push_back(MakeFile(file, static_cast<std::uint32_t>(fileCount())));
    std::vector<FileId>& siblings = filesByParent_[file.parentNumber];
    // Starting with room for several files spares most folders the run of
    // small reallocations that would otherwise cost more than the adding.
    if (siblings.empty()) siblings.reserve(kFirstSiblingRoom);
    siblings.push_back(id);
    fileCount_.fetch_add(1, std::memory_order_relaxed);
    totalFileBytes_.fetch_add(file.size, std::memory_order_relaxed);
    return id;
  });
}

void Store::ClearStore() {
  // Swapping with empty containers hands their memory back, which clear()
  // does not do for the hash index or the place table.
  std::deque<FoundFolder>().swap(folders_);
  std::deque<FoundFile>().swap(files_);
  FolderOrder().swap(folderOrder_);
  std::vector<FolderOrder::const_iterator>().swap(folderPlace_);
  std::unordered_map<std::uint64_t, FolderId>().swap(folderByNumber_);
  std::unordered_map<std::uint32_t, std::vector<FileId>>().swap(filesByParent_);
  nextOrder_ = 0;
  folderCount_.store(0, std::memory_order_relaxed);
  fileCount_.store(0, std::memory_order_relaxed);
  totalFileBytes_.store(0, std::memory_order_relaxed);
}

std::vector<std::uint32_t> Store::FileParentsInOrder() const {
  return GuardAllocation([&] {
    std::vector<std::uint32_t> parents;
    parents.reserve(filesByParent_.size());
    for (const auto& [parent, ids] : filesByParent_) parents.push_back(parent);
    std::sort(parents.begin(), parents.end());
    return parents;
  });
}

std::optional<FolderId> Store::FindFolder(std::uint32_t ownNumber, std::uint16_t volumeNumber) const {
  if (ownNumber == 0) return std::nullopt;
  const auto held = folderByNumber_.find(NumberKey(ownNumber, volumeNumber));
  if (held == folderByNumber_.end()) return std::nullopt;
  return held->second;
}

const FoundFile* Store::FileByInsertionNumber(std::uint32_t number) const {
  // Files are never removed one by one, so a file's insertion number is its
  // place in files_.
  if (number >= files_.size()) return nullptr;
  return &files_[number];
}

Store::FolderRange Store::ChildFolders(std::uint32_t parentNumber) const {
  // One search for the first child; the end is found by stepping over the
  // children, which the caller walks anyway.
  const auto first = folderOrder_.lower_bound({parentNumber, 0});
  auto last = first;
  while (last != folderOrder_.end() && last->first.first == parentNumber) ++last;
  return {FolderRange::iterator(first), FolderRange::iterator(last)};
}

std::span<const FileId> Store::ChildFiles(std::uint32_t parentNumber) const {
  const auto children = filesByParent_.find(parentNumber);
  if (children == filesByParent_.end()) return {};
  return children->second;
}

Store::FolderRange Store::FoldersInOrder() const {
  return {FolderRange::iterator(folderOrder_.begin()), FolderRange::iterator(folderOrder_.end())};
}

std::optional<FolderId> Store::FirstFolder() const {
  if (folderOrder_.empty()) return std::nullopt;
  return folderOrder_.begin()->second;
}

std::optional<FolderId> Store::FolderAfter(FolderId id) const {
  auto next = std::next(folderPlace_[id]);
  if (next == folderOrder_.end()) return std::nullopt;
  return next->second;
}

void Store::MoveFolder(FolderId id, std::uint32_t parentNumber) {
  GuardAllocation([&] {
    folderOrder_.erase(folderPlace_[id]);
    folders_[id].parentNumber = parentNumber;
    PlaceFolder(id);
  });
}

void Store::MoveFilesOfParent(std::uint32_t from, std::uint32_t to) {
  if (from == to) return;
  const auto moving = filesByParent_.find(from);
  if (moving == filesByParent_.end()) return;
  GuardAllocation([&] {
    std::vector<FileId> ids = std::move(moving->second);
    filesByParent_.erase(moving);
    std::vector<FileId>& target = filesByParent_[to];
    for (const FileId id : ids) {
      files_[id].parentNumber = to;
      target.push_back(id);
    }
  });
}

void Store::SetFolderSelected(FolderId id, char selected) { folders_[id].selected = NormalisedFlag(selected); }

void Store::SetFileSelected(FileId id, char selected) { files_[id].selected = NormalisedFlag(selected); }

void Store::SetFolderDeleted(FolderId id, char deleted) { folders_[id].deleted = NormalisedFlag(deleted); }

bool Store::RenameFolder(FolderId id, std::u16string_view name) { return Rename(folders_[id], name); }

bool Store::RenameFile(FileId id, std::u16string_view name) { return Rename(files_[id], name); }

}  // namespace korv
