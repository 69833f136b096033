#include "engine/ntfs_record_items.h"

#include <algorithm>
#include <cstdint>

#include "engine/analysis_step.h"

namespace korv {

namespace {

bool SameLink(const FileNameValue& a, const FileNameValue& b) {
  return a.parentNumber == b.parentNumber && a.name == b.name;
}

bool IsUserRecord(std::optional<std::uint32_t> number) { return !number || *number >= kFirstUserRecord; }

// One item per stream, beside the item `beside` in its folder.
void AppendStreamItems(const std::vector<NamedStream>& streams, const RecordItem& beside,
                       std::vector<RecordItem>& items) {
  for (const NamedStream& stream : streams) {
    RecordItem item = beside;
    item.name = StreamItemName(beside.name, stream.name);
    item.size = stream.size;
    item.stream = stream.name;
    items.push_back(std::move(item));
  }
}

}  // namespace

ItemTimes RecordTimes(ByteView record, ByteView base) {
  auto times = ReadStandardTimes(record);
  if (!times) times = ReadStandardTimes(base);
  return StandardItemTimes(times.value_or(StandardTimes{}));
}

std::optional<RecordLink> FindPreferredName(std::span<const ByteView> records) {
  if (records.empty()) return std::nullopt;
  for (const ByteView record : records) {
    if (auto name = ReadPreferredFileName(record)) return RecordLink{std::move(*name), RecordTimes(record, records[0])};
  }
  return std::nullopt;
}

std::vector<RecordLink> FindLinks(std::span<const ByteView> records) {
  std::vector<RecordLink> links;
  for (const ByteView record : records) {
    for (FileNameValue& name : ReadLinkNames(record)) {
      const bool held = std::any_of(links.begin(), links.end(),
                                    [&](const RecordLink& link) { return SameLink(link.name, name); });
      if (held) continue;
      const ItemTimes times = links.empty() ? RecordTimes(record, records[0]) : links.front().times;
      links.push_back(RecordLink{std::move(name), times});
    }
  }
  if (links.empty()) {
    if (auto only = FindPreferredName(records)) links.push_back(std::move(*only));
  }
  return links;
}

std::optional<std::uint64_t> FindDataSize(std::span<const ByteView> records) {
  for (const ByteView record : records) {
    if (const auto data = ReadDataSize(record)) return data->size;
  }
  return std::nullopt;
}

std::vector<NamedStream> FindStreams(std::span<const ByteView> records) {
  std::vector<NamedStream> streams;
  for (const ByteView record : records) {
    for (NamedStream& stream : ReadNamedStreams(record)) {
      if (static_cast<std::int64_t>(stream.size) < 0) continue;
      const bool held = std::any_of(streams.begin(), streams.end(),
                                    [&](const NamedStream& other) { return other.name == stream.name; });
      if (!held) streams.push_back(std::move(stream));
    }
  }
  return streams;
}

std::u16string NamelessRecordName(std::uint32_t number) {
  std::u16string name(kNamelessRecordPrefix);
  for (const char digit : std::to_string(number)) name.push_back(static_cast<char16_t>(digit));
  return name;
}

std::u16string StreamItemName(std::u16string_view fileName, std::u16string_view stream) {
  std::u16string name(fileName);
  name.push_back(kStreamSeparator);
  name.append(stream);
  return name;
}

std::vector<RecordItem> FileRecordItems(std::span<const ByteView> records, std::optional<std::uint32_t> number) {
  std::vector<RecordItem> items;
  if (records.empty()) return items;
  const std::vector<RecordLink> links = FindLinks(records);
  const auto size = FindDataSize(records);
  const std::vector<NamedStream> streams = IsUserRecord(number) ? FindStreams(records) : std::vector<NamedStream>{};
  for (const RecordLink& link : links) {
    items.push_back(RecordItem{link.name.name, link.name.parentNumber, link.times, size.value_or(0), {}});
    AppendStreamItems(streams, RecordItem(items.back()), items);
  }
  // A record whose names the file system dropped still holds its data: it
  // goes under "Lost", named by its number.
  if (links.empty() && size && number && IsUserRecord(number)) {
    items.push_back(RecordItem{NamelessRecordName(*number), LostNumber, RecordTimes(records[0], records[0]), *size, {}});
    AppendStreamItems(streams, RecordItem(items.back()), items);
  }
  return items;
}

std::vector<RecordItem> FolderStreamItems(std::span<const ByteView> records, const RecordLink& folder,
                                          std::optional<std::uint32_t> number) {
  std::vector<RecordItem> items;
  if (!IsUserRecord(number)) return items;
  AppendStreamItems(FindStreams(records), RecordItem{folder.name.name, folder.name.parentNumber, folder.times, 0, {}},
                    items);
  return items;
}

}  // namespace korv
