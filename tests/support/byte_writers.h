// Writers for building disk buffers in tests and fixtures: the counterparts
// of ByteView's readers. Each returns false, writing nothing, when the value
// does not fit.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace korv {

bool StoreU16LE(std::span<std::uint8_t> out, std::uint64_t offset, std::uint16_t value);
bool StoreU32LE(std::span<std::uint8_t> out, std::uint64_t offset, std::uint32_t value);
bool StoreU64LE(std::span<std::uint8_t> out, std::uint64_t offset, std::uint64_t value);
bool StoreU16BE(std::span<std::uint8_t> out, std::uint64_t offset, std::uint16_t value);
bool StoreU32BE(std::span<std::uint8_t> out, std::uint64_t offset, std::uint32_t value);
bool StoreU64BE(std::span<std::uint8_t> out, std::uint64_t offset, std::uint64_t value);
bool StoreAscii(std::span<std::uint8_t> out, std::uint64_t offset, std::string_view ascii);

}  // namespace korv
