// The store of found items: every folder and file an analysis reports, for
// the results view, search, saving and the recovery log.
//
// Items are tied together only by numbers: each carries its own number and
// the number of the folder it lies in (MFT record numbers on NTFS, first
// clusters on FAT). Both lists are kept in ascending order of the parent's
// number, items with equal parents in the order they were added, so the
// children of one folder are found without walking the others.
//
// Records live in stable storage and are named by their index there
// (FolderId, FileId), which never changes until ClearStore. Folders have an
// ordered index by (parent, order of adding) and a hash index by (own number,
// volume); files, which never move, a hash index by parent holding each
// parent's files in the order added. Every operation is logarithmic or
// constant.
//
// Threads: one worker writes the store at a time; while it runs, the UI
// thread reads only folderCount(), fileCount() and totalFileBytes(). Every
// other read happens after the worker has ended.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/store_names.h"

namespace korv {

// Parent number of the items in the root folder of an NTFS volume.
inline constexpr std::uint32_t NtfsRootNumber = 5;
// Parent number of the items in the root folder of a FAT volume.
inline constexpr std::uint32_t FatRootNumber = 0;
// Own number of the folder "Lost", and the parent of every folder whose
// parent was not found.
inline constexpr std::uint32_t LostNumber = 0x0FFFFFFF;

inline constexpr char kFlagYes = 'y';
inline constexpr char kFlagNo = 'n';
inline constexpr char kKindFolder = 'D';
inline constexpr char kKindFile = 'F';

// NTFS: modification, creation and access time, each a 64-bit count of
// 100-ns intervals since 1601, low word first. FAT: last-write date and time,
// creation date and time, last-access date, 0.
using ItemTimes = std::array<std::uint32_t, 6>;

// The 64-bit NTFS time held in two words of ItemTimes, low word first.
inline std::uint64_t NtfsTimeAt(const ItemTimes& times, std::size_t lowWord) {
  return std::uint64_t{times[lowWord + 1]} << 32 | times[lowWord];
}

using FolderId = std::uint32_t;
using FileId = std::uint32_t;

struct FoundFolder {
  std::u16string name;
  bool nameIsEightBit = false;  // arrived as 8-bit text; see store_names.h
  char deleted = kFlagNo;
  char kind = kKindFolder;
  ItemTimes times{};
  std::uint32_t treeItem = 0;  // the results view's handle of the folder's tree node
  std::uint32_t parentNumber = 0;
  std::uint32_t ownNumber = 0;
  std::uint64_t recordSector = 0;  // MFT record found by signature scan; 0 otherwise
  std::uint16_t volumeNumber = 0;
  char selected = kFlagNo;
};

struct FoundFile {
  std::u16string name;
  bool nameIsEightBit = false;
  char deleted = kFlagNo;
  char kind = kKindFile;
  ItemTimes times{};
  std::uint32_t insertionNumber = 0;  // fileCount just before the file was added
  std::uint64_t size = 0;
  std::uint32_t parentNumber = 0;
  std::uint32_t ownNumber = 0;
  std::uint64_t recordSector = 0;
  char selected = kFlagNo;
  // NTFS: the name of the alternate data stream this item stands for (the
  // named $DATA of the record ownNumber or recordSector names); empty for a
  // file's own data.
  std::u16string stream;
};

// What an analysis reports for a folder. `deleted` is 'y' or 'n'; any other
// value counts as 'n'.
struct NewFolder {
  ItemName name;
  char deleted = kFlagNo;
  std::uint32_t parentNumber = 0;
  std::uint32_t ownNumber = 0;
  std::uint64_t recordSector = 0;
  ItemTimes times{};
  std::uint16_t volumeNumber = 0;
};

struct NewFile {
  ItemName name;
  char deleted = kFlagNo;
  std::uint64_t size = 0;
  std::uint32_t parentNumber = 0;
  std::uint32_t ownNumber = 0;
  std::uint64_t recordSector = 0;
  ItemTimes times{};
  std::u16string stream;  // see FoundFile::stream
};

enum class AddOutcome {
  Added,     // a new folder
  Replaced,  // a deleted folder with the same number and volume was overwritten
  Dropped,   // a folder with the same number and volume was kept instead
};

struct AddFolderResult {
  AddOutcome outcome;
  FolderId id;  // the folder that now holds the number (the kept one when dropped)
};

class Store {
  using OrderKey = std::pair<std::uint32_t, std::uint64_t>;  // parent, order of adding
  using FolderOrder = std::map<OrderKey, FolderId>;

 public:
  // Folders in list order: by parent number, equal parents in the order added.
  class FolderRange {
   public:
    class iterator {
     public:
      using iterator_category = std::bidirectional_iterator_tag;
      using value_type = FolderId;
      using difference_type = std::ptrdiff_t;
      using pointer = const FolderId*;
      using reference = const FolderId&;
      iterator() = default;
      explicit iterator(FolderOrder::const_iterator at) : at_(at) {}
      reference operator*() const { return at_->second; }
      pointer operator->() const { return &at_->second; }
      iterator& operator++() {
        ++at_;
        return *this;
      }
      iterator operator++(int) {
        iterator before = *this;
        ++at_;
        return before;
      }
      iterator& operator--() {
        --at_;
        return *this;
      }
      iterator operator--(int) {
        iterator before = *this;
        --at_;
        return before;
      }
      bool operator==(const iterator&) const = default;

     private:
      FolderOrder::const_iterator at_;
    };
    FolderRange(iterator first, iterator last) : first_(first), last_(last) {}
    iterator begin() const { return first_; }
    iterator end() const { return last_; }
    bool empty() const { return first_ == last_; }

   private:
    iterator first_;
    iterator last_;
  };

  Store() = default;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Adds a folder in its ordered place. A folder with a nonzero own number
  // whose number and volume are already held is a duplicate: a held deleted
  // folder is overwritten by a new one that is not deleted (every field
  // replaced, selection cleared, moved to the place of its new parent as the
  // last one added there); in every other case the newcomer is dropped.
  // folderCount counts only added folders.
  AddFolderResult AddFolder(const NewFolder& folder);

  // Adds a file in its ordered place, gives it insertionNumber = fileCount,
  // and adds its size to totalFileBytes.
  FileId AddFile(const NewFile& file);

  // Frees every folder and file; counts and totalFileBytes back to 0.
  // currentVolume is left as it is.
  void ClearStore();

  std::int32_t folderCount() const { return folderCount_.load(std::memory_order_relaxed); }
  std::int32_t fileCount() const { return fileCount_.load(std::memory_order_relaxed); }
  std::uint64_t totalFileBytes() const { return totalFileBytes_.load(std::memory_order_relaxed); }

  // The volume whose folders the results view shows (set by the formatted
  // NTFS and partition scans; 0 otherwise).
  std::atomic<std::int32_t> currentVolume{0};

  const FoundFolder& folder(FolderId id) const { return folders_[id]; }
  const FoundFile& file(FileId id) const { return files_[id]; }

  // The folder with this own number in this volume; own number 0 is never
  // found (such folders are not told apart).
  std::optional<FolderId> FindFolder(std::uint32_t ownNumber, std::uint16_t volumeNumber) const;

  // The file whose insertionNumber is `number`, or null.
  const FoundFile* FileByInsertionNumber(std::uint32_t number) const;

  // The folders of every volume whose parent is `parentNumber`, in list
  // order; the caller picks the volume it shows. Ranges and spans stay valid
  // until the store is next changed.
  FolderRange ChildFolders(std::uint32_t parentNumber) const;
  // The files whose parent is `parentNumber`, in the order added.
  std::span<const FileId> ChildFiles(std::uint32_t parentNumber) const;

  // Every folder in list order.
  FolderRange FoldersInOrder() const;
  // Calls visit(FileId) for every file in list order.
  template <typename Visit>
  void ForEachFileInOrder(Visit&& visit) const {
    for (const std::uint32_t parent : FileParentsInOrder()) {
      for (const FileId id : filesByParent_.at(parent)) visit(id);
    }
  }

  // Cursor over the folder list that stays valid while folders are added or
  // moved: a folder added or moved behind the current one is still visited.
  std::optional<FolderId> FirstFolder() const;
  std::optional<FolderId> FolderAfter(FolderId id) const;

  // Gives the folder a new parent; it takes its ordered place as the last
  // one added under that parent.
  void MoveFolder(FolderId id, std::uint32_t parentNumber);
  // Puts a folder whose parent was not found under "Lost".
  void MoveFolderUnderLost(FolderId id) { MoveFolder(id, LostNumber); }
  // Gives every file of parent `from` the parent `to`; they follow the files
  // `to` already holds, in their own order.
  void MoveFilesOfParent(std::uint32_t from, std::uint32_t to);
  // The parent numbers that hold files, ascending.
  std::vector<std::uint32_t> FileParentsInOrder() const;

  // The fields readers may change. Flags are 'y' or 'n'.
  void SetFolderSelected(FolderId id, char selected);
  void SetFileSelected(FileId id, char selected);
  void SetFolderDeleted(FolderId id, char deleted);
  void SetFolderTreeItem(FolderId id, std::uint32_t treeItem) { folders_[id].treeItem = treeItem; }
  // A new name; an empty name is refused (false). A name held as 8-bit text
  // stays 8-bit when every character has a Windows-1252 byte.
  bool RenameFolder(FolderId id, std::u16string_view name);
  bool RenameFile(FileId id, std::u16string_view name);

 private:
  FolderId AppendFolder(const NewFolder& folder);
  void PlaceFolder(FolderId id);
  void OverwriteFolder(FolderId id, const NewFolder& folder);

  std::deque<FoundFolder> folders_;
  std::deque<FoundFile> files_;

  FolderOrder folderOrder_;
  // Where each folder stands in folderOrder_, by FolderId.
  std::vector<FolderOrder::const_iterator> folderPlace_;
  // (own number << 16 | volume) -> folder, for own numbers other than 0.
  std::unordered_map<std::uint64_t, FolderId> folderByNumber_;
  // Files are only ever added, so each parent's files stay in the order
  // added; a hash map keeps adding constant, and the rare walk of every file
  // sorts the parents instead.
  std::unordered_map<std::uint32_t, std::vector<FileId>> filesByParent_;
  std::uint64_t nextOrder_ = 0;

  std::atomic<std::int32_t> folderCount_{0};
  std::atomic<std::int32_t> fileCount_{0};
  std::atomic<std::uint64_t> totalFileBytes_{0};
};

}  // namespace korv
