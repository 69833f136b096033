#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "support/byte_writers.h"

namespace korv {
namespace {

TEST(ByteViewTest, ReadsBothByteOrdersAndRefusesWhatDoesNotFit) {
  const std::uint8_t raw[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  const ByteView view(raw, sizeof raw);
  EXPECT_EQ(view.u16le(0), 0x0201);
  EXPECT_EQ(view.u16be(0), 0x0102);
  EXPECT_EQ(view.u32le(4), 0x08070605u);
  EXPECT_EQ(view.u32be(4), 0x05060708u);
  EXPECT_EQ(view.u64be(0), 0x0102030405060708ULL);
  EXPECT_EQ(view.u64le(0), 0x0807060504030201ULL);
  EXPECT_FALSE(view.u32le(5));
  EXPECT_FALSE(view.u64le(1));
  EXPECT_FALSE(view.u8(8));
  // Offsets near the top of the 64-bit range must not wrap into the buffer.
  EXPECT_FALSE(view.u16le(UINT64_MAX));
  EXPECT_FALSE(view.fits(UINT64_MAX - 1, 4));
  EXPECT_TRUE(view.sub(UINT64_MAX, 2).empty());
  EXPECT_EQ(view.sub(2, 2).u16be(0), 0x0304);
  EXPECT_TRUE(view.matches(1, "\x02\x03"));
  EXPECT_FALSE(view.matches(7, "\x08\x09"));
}

TEST(ByteViewTest, CheckedArithmeticCatchesOverflow) {
  EXPECT_EQ(CheckedMul(1ULL << 32, 1ULL << 31), 1ULL << 63);
  EXPECT_FALSE(CheckedMul(1ULL << 32, 1ULL << 32));
  EXPECT_FALSE(CheckedAdd(UINT64_MAX, 1));
  EXPECT_TRUE(IsPowerOfTwo(4096));
  EXPECT_FALSE(IsPowerOfTwo(0));
  EXPECT_FALSE(IsPowerOfTwo(4097));
}

TEST(ByteViewTest, StoresRoundTripAndRefuseOverruns) {
  std::uint8_t raw[8] = {};
  EXPECT_TRUE(StoreU32BE(raw, 0, 0xA1B2C3D4));
  EXPECT_TRUE(StoreU16LE(raw, 6, 0x1234));
  EXPECT_FALSE(StoreU64LE(raw, 1, 1));
  const ByteView view(raw, sizeof raw);
  EXPECT_EQ(view.u32be(0), 0xA1B2C3D4u);
  EXPECT_EQ(view.u16le(6), 0x1234);
  EXPECT_EQ(raw[4], 0);
}

TEST(Utf16Test, StopsAtNulOrLimitAndConvertsSurrogates) {
  // "A", U+00E9, U+1F600 as a surrogate pair, then NUL, big-endian.
  const std::uint8_t be[] = {0x00, 'A', 0x00, 0xE9, 0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x00, 0x00, 'Z'};
  const auto text = ReadUtf16(ByteView(be, sizeof be), 0, 100, true);
  EXPECT_EQ(text.size(), 4u);
  EXPECT_EQ(Utf16ToUtf8(text), "A\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(ReadUtf16(ByteView(be, sizeof be), 0, 2, true).size(), 2u);
  // An odd trailing byte is not read past.
  EXPECT_EQ(ReadUtf16(ByteView(be, 3), 0, 100, true).size(), 1u);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace korv
