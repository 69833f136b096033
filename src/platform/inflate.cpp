#include "platform/inflate.h"

#include <zlib.h>

#include <climits>

namespace korv {

std::optional<std::size_t> Inflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                                   DeflateWrapping wrapping) {
  // zlib counts in 32-bit unsigned integers.
  if (in.size() > UINT_MAX || out.size() > UINT_MAX) return std::nullopt;
  z_stream stream{};
  const int windowBits = wrapping == DeflateWrapping::Raw ? -15 : 15;
  if (inflateInit2(&stream, windowBits) != Z_OK) return std::nullopt;
  stream.next_in = const_cast<Bytef*>(in.data());
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  const std::size_t produced = out.size() - stream.avail_out;
  inflateEnd(&stream);
  // A full buffer is success even when the stream goes on (QCOW stores a
  // compressed cluster in whole sectors, so trailing bytes are normal).
  if (status == Z_STREAM_END || (status == Z_BUF_ERROR && stream.avail_out == 0) ||
      (status == Z_OK && stream.avail_out == 0)) {
    return produced;
  }
  return std::nullopt;
}

}  // namespace korv
