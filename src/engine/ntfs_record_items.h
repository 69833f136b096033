// The items one NTFS file makes, from the records it spreads over (its base
// record first, then its extension records): one per hard link, each
// followed by one per alternate data stream, named "file:stream"; or, for a
// record that has lost every name but still holds data, one under "Lost"
// named "Record <number>". Both NTFS scans, the MFT walk and the signature
// scan, make their items here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/store.h"
#include "fs/ntfs/record_values.h"
#include "platform/bytes.h"

namespace korv {

// NTFS keeps the records below this for itself: mkntfs leaves several of
// them in use with an empty $DATA and no name, and the named streams of its
// metafiles ($BadClus:$Bad spans the whole volume) are no user data.
inline constexpr std::uint32_t kFirstUserRecord = 24;

// What a file whose record lost every name is called under "Lost".
inline constexpr std::u16string_view kNamelessRecordPrefix = u"Record ";
// Stands between a file's name and its stream's name.
inline constexpr char16_t kStreamSeparator = u':';

// One name of a file, with the times of the record that holds it.
struct RecordLink {
  FileNameValue name;
  ItemTimes times{};
};

// One item to report: a file's name, a stream of it, or a nameless record.
struct RecordItem {
  std::u16string name;
  std::uint32_t parentNumber = 0;
  ItemTimes times{};
  std::uint64_t size = 0;
  std::u16string stream;  // empty for the file's own data
};

// The times of a record; extension records carry no $STANDARD_INFORMATION,
// so the base record's times stand in for theirs.
ItemTimes RecordTimes(ByteView record, ByteView base);

// The first name in kFileNameSpaceOrder found in the records, in record
// order.
std::optional<RecordLink> FindPreferredName(std::span<const ByteView> records);

// Every hard link of the file, each (parent, name) once, with the times of
// the record that held the first one. A file with only a DOS name keeps
// that one name.
std::vector<RecordLink> FindLinks(std::span<const ByteView> records);

// The size of the file's unnamed $DATA, or nothing when no record holds one.
std::optional<std::uint64_t> FindDataSize(std::span<const ByteView> records);

// The file's named streams over all its records, each name once. Sizes past
// 2^63 are damage, not data, and such streams are left out.
std::vector<NamedStream> FindStreams(std::span<const ByteView> records);

std::u16string NamelessRecordName(std::uint32_t number);
std::u16string StreamItemName(std::u16string_view fileName, std::u16string_view stream);

// The items of a file's records. `number` is the record's number when it is
// known: without it a record that lost its names makes no item, and with a
// number below kFirstUserRecord neither does a stream. Empty when the file
// has no name and no data.
std::vector<RecordItem> FileRecordItems(std::span<const ByteView> records, std::optional<std::uint32_t> number);

// The streams of a folder, as items beside it (in the folder's parent).
std::vector<RecordItem> FolderStreamItems(std::span<const ByteView> records, const RecordLink& folder,
                                          std::optional<std::uint32_t> number);

}  // namespace korv
