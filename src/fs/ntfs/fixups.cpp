#include "fs/ntfs/fixups.h"

#include <algorithm>

#include "fs/ntfs/file_record.h"
#include "platform/bytes.h"

namespace korv {

namespace {

constexpr std::uint64_t kArrayOffsetField = 0x04;
constexpr std::uint64_t kArrayCountField = 0x06;

// The bytes the fixups may touch: a "FILE" record is also held to its own
// record size rule.
std::size_t FixupLimit(ByteView record, std::size_t length) {
  if (!HasFileSignature(record)) return length;
  return std::min(length, FileRecordBytes(record));
}

}  // namespace

bool ApplyFixups(std::span<std::uint8_t> record, std::size_t length) {
  length = std::min(length, record.size());
  const ByteView view(record.first(length));
  const std::size_t limit = FixupLimit(view, length);
  const auto arrayOffset = view.u16le(kArrayOffsetField);
  const auto count = view.u16le(kArrayCountField);
  if (!arrayOffset || !count || *count < 2) return false;
  if (!RangeFits(limit, *arrayOffset, 2 * std::uint64_t{*count})) return false;

  const std::uint16_t sequenceNumber = *view.u16le(*arrayOffset);
  const std::size_t strides = std::min<std::size_t>(*count - 1u, limit / kFixupStride);
  bool consistent = true;
  for (std::size_t i = 0; i < strides; ++i) {
    const std::size_t tail = (i + 1) * kFixupStride - 2;
    if (*view.u16le(tail) != sequenceNumber) consistent = false;
    const std::size_t saved = *arrayOffset + 2 * (i + 1);
    record[tail] = record[saved];
    record[tail + 1] = record[saved + 1];
  }
  return consistent;
}

}  // namespace korv
