// Directory indexes: INDX records found by a signature scan, and the $I30
// index attributes of a directory's file record.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/bytes.h"

namespace korv {

inline constexpr std::string_view kIndexRecordSignature = "INDX";
inline constexpr std::u16string_view kDirectoryIndexName = u"$I30";

struct IndexRecordInfo {
  std::uint32_t vcn = 0;              // low 32 bits
  std::uint32_t directoryNumber = 0;  // the directory the record belongs to

  bool operator==(const IndexRecordInfo&) const = default;
};

// Reads an INDX record's VCN and the directory it belongs to, taken from
// the parent reference of its first entry's $FILE_NAME key. Looks only at
// the first 512 bytes. Nothing unless the signature, the sizes and the
// entry fit, and the directory number is at least 5 and not 0xFFFFFFFF.
std::optional<IndexRecordInfo> ParseIndexRecord(ByteView bytes);

// A directory's own record number, read from the parent reference of the
// first entry of its resident $INDEX_ROOT named "$I30"; 0 when there is no
// such entry (an empty root, an entry without a key, or one that does not
// fit).
std::uint32_t DirectoryNumberFromIndexRoot(ByteView record);

// The cluster of the first run of the directory's $INDEX_ALLOCATION named
// "$I30"; 0 when there is no such attribute or run.
std::uint32_t FirstIndexAllocationCluster(ByteView record);

}  // namespace korv
