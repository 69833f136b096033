// $ATTRIBUTE_LIST: where the attributes of a file spread over several MFT
// records lie, and the record numbers it names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/boot_parameters.h"
#include "fs/ntfs/file_record.h"
#include "platform/bytes.h"
#include "platform/read_buffer.h"
#include "storage/sector_source.h"

namespace korv {

struct AttributeListEntry {
  std::uint32_t type = 0;
  std::uint8_t nameLength = 0;
  std::u16string name;  // empty when unnamed or when it does not lie whole in the entry
  std::uint64_t startingVcn = 0;
  std::uint32_t recordNumber = 0;  // low 32 bits of the segment reference
};

// The entries of an attribute list's value, in order. Ends at a type of 0
// or 0xFFFFFFFF, at an entry shorter than its fixed fields or running past
// the value, and at the value's end.
std::vector<AttributeListEntry> ParseAttributeList(ByteView value);

// Record numbers of the current file record and of the records its
// resident attribute list names, for finding a file's names.
struct ListedRecords {
  static constexpr std::size_t kCapacity = 50;
  std::array<std::uint32_t, kCapacity> numbers{};
  std::uint16_t count = 0;

  // Adds `number` unless it is already held or the list is full; false when
  // it was dropped for want of room.
  bool Add(std::uint32_t number);
  bool contains(std::uint32_t number) const;
};

// The value of an $ATTRIBUTE_LIST attribute: a resident one's value, or a
// non-resident one read through its runs (at most 256 KiB; a real list
// needs a few dozen bytes per attribute).
ReadBuffer ReadAttributeListValue(SectorSource& sectors, const BootParameters& parameters,
                                                 const Attribute& list);

// Appends the record numbers the record's first $ATTRIBUTE_LIST names, when
// that list is resident (every entry, whatever its type). Walks only the
// attribute's own value.
void CollectListedRecords(ByteView record, ListedRecords& listed);
// The same, reading a non-resident attribute list too (ntfs-3g writes every
// attribute list non-resident, so a name moved to an extension record is
// found only this way).
void CollectListedRecords(SectorSource& sectors, const BootParameters& parameters, ByteView record,
                          ListedRecords& listed);

}  // namespace korv
