// What the recovery takes from a file record: its times, its name and
// parent, and the size and place of its data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"

namespace korv {

// NTFS times count 100-ns intervals from 1601-01-01, UTC.
inline constexpr std::uint64_t kNtfsTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01 (a whole number of days).
inline constexpr std::int64_t kNtfsSecondsBefore1970 = 11644473600LL;

// 64-bit counts of 100-ns intervals since 1601, from $STANDARD_INFORMATION.
struct StandardTimes {
  std::uint64_t creation = 0;
  std::uint64_t modification = 0;
  std::uint64_t access = 0;

  bool operator==(const StandardTimes&) const = default;
};

// The first $STANDARD_INFORMATION's times, when its value lies whole in the
// record.
std::optional<StandardTimes> ReadStandardTimes(ByteView record);

namespace FileNameSpace {
constexpr std::uint8_t Posix = 0;
constexpr std::uint8_t Win32 = 1;
constexpr std::uint8_t Dos = 2;
constexpr std::uint8_t Win32AndDos = 3;
}  // namespace FileNameSpace

// The order in which a record's names are tried: the first hit is the name.
inline constexpr std::array<std::uint8_t, 4> kFileNameSpaceOrder = {FileNameSpace::Posix, FileNameSpace::Win32,
                                                                    FileNameSpace::Win32AndDos, FileNameSpace::Dos};

struct FileNameValue {
  std::uint32_t parentNumber = 0;  // low 32 bits of the parent reference
  std::u16string name;
  std::uint8_t nameSpace = 0;
};

// The first resident, unnamed $FILE_NAME in `nameSpace` whose name lies
// whole in its value.
std::optional<FileNameValue> ReadFileName(ByteView record, std::uint8_t nameSpace);
// ReadFileName over kFileNameSpaceOrder.
std::optional<FileNameValue> ReadPreferredFileName(ByteView record);
// Every hard link's name in the record, in attribute order: the resident,
// unnamed $FILE_NAMEs in the POSIX, Win32 and Win32&DOS namespaces. A DOS
// name is the short form of a Win32 link and never a link of its own.
std::vector<FileNameValue> ReadLinkNames(ByteView record);

enum class DataResidency : std::uint8_t { Resident = 1, NonResident = 2 };

struct DataAttributeInfo {
  std::uint64_t size = 0;
  DataResidency residency = DataResidency::Resident;
  std::size_t attributeOffset = 0;  // where the attribute starts in the record
  // Resident only: the value's place in the record.
  std::size_t valueOffset = 0;
  // Non-resident only: clusters per compression unit when the data is
  // compressed, else 0.
  std::uint32_t compressionUnitClusters = 0;
};

// The first unnamed $DATA (named streams are passed over): its data size
// (non-resident) or value length (resident), and where it lies. With a
// `stream` name, the $DATA of that name that starts in the record (resident,
// or non-resident from VCN 0) instead.
std::optional<DataAttributeInfo> ReadDataSize(ByteView record, std::u16string_view stream = {});

// A named $DATA attribute: an alternate data stream of the file.
struct NamedStream {
  std::u16string name;
  std::uint64_t size = 0;

  bool operator==(const NamedStream&) const = default;
};

// The named streams that start in the record (a resident value, or a
// non-resident attribute from VCN 0), in attribute order, each name once.
std::vector<NamedStream> ReadNamedStreams(ByteView record);

}  // namespace korv
