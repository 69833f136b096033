// NTFS compression from hand-built bytes: the LZNT1 decoder on good and
// damaged chunks, and how a compressed attribute's runs fall into units.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/ntfs/compression_units.h"
#include "fs/ntfs/lznt1.h"

namespace korv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using DataRun = korv::Run;  // gtest's Test::Run hides the plain name

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A chunk header: compressed or not, and the size of the data after it.
Bytes Header(bool compressed, std::size_t dataBytes) {
  const auto value = static_cast<std::uint16_t>((compressed ? 0x8000 : 0) | 0x3000 | (dataBytes - 1));
  return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

Bytes CompressedChunk(const Bytes& data) { return Concat({Header(true, data.size()), data}); }

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

struct Lznt1Case {
  std::string name;
  Bytes in;
  std::size_t outBytes;
  bool ok;
  // Where the expected bytes lie in the output; everything else is zero.
  std::size_t expectedAt;
  Bytes expected;
};

class Lznt1Test : public ::testing::TestWithParam<Lznt1Case> {};

TEST_P(Lznt1Test, DecodesChunksIntoTheirPlacesAndRefusesDamage) {
  const Lznt1Case& c = GetParam();
  Bytes out(c.outBytes, 0xEE);
  EXPECT_EQ(DecompressLznt1(ByteView(c.in), out), c.ok);
  if (!c.ok) return;
  Bytes want(c.outBytes, 0);
  std::copy(c.expected.begin(), c.expected.end(), want.begin() + static_cast<std::ptrdiff_t>(c.expectedAt));
  EXPECT_EQ(out, want);
}

// "abc" then a reference 3 back, 9 long: copies overlap what they write.
const Bytes kAbcRepeated = CompressedChunk({0x08, 'a', 'b', 'c', 0x06, 0x20});
// 17 literals, then a reference 17 back of length 3: past 16 bytes in, the
// length takes 11 bits and the offset 5.
const Bytes kSeventeenThenReference =
    CompressedChunk(Concat({{0x00}, Text("ABCDEFGH"), {0x00}, Text("IJKLMNOP"), {0x02}, Text("Q"), {0x00, 0x80}}));

INSTANTIATE_TEST_SUITE_P(
    Cases, Lznt1Test,
    ::testing::Values(
        Lznt1Case{"Literals", CompressedChunk(Concat({{0x00}, Text("abc")})), 8192, true, 0, Text("abc")},
        Lznt1Case{"OverlappingReference", kAbcRepeated, 4096, true, 0, Text("abcabcabcabc")},
        Lznt1Case{"LengthBitsShrinkWithPosition", kSeventeenThenReference, 4096, true, 0,
                  Text("ABCDEFGHIJKLMNOPQABC")},
        Lznt1Case{"UncompressedChunk", Concat({Header(false, 4096), Pattern(4096)}), 4096, true, 0, Pattern(4096)},
        Lznt1Case{"SecondChunkStartsAt4096",
                  Concat({kAbcRepeated, CompressedChunk(Concat({{0x00}, Text("xyz")}))}), 8192, true, 0,
                  Concat({Text("abcabcabcabc"), Bytes(4096 - 12, 0), Text("xyz")})},
        Lznt1Case{"ZeroHeaderEndsTheUnit", Concat({kAbcRepeated, {0x00, 0x00}, Header(false, 4096)}), 8192, true, 0,
                  Text("abcabcabcabc")},
        Lznt1Case{"ChunksPastTheOutputAreIgnored", Concat({kAbcRepeated, kAbcRepeated}), 4096, true, 0,
                  Text("abcabcabcabc")},
        Lznt1Case{"ReferenceAtTheStart", CompressedChunk({0x01, 0x00, 0x00}), 4096, false, 0, {}},
        Lznt1Case{"ReferenceBeforeTheChunk", CompressedChunk({0x02, 'a', 0x00, 0x30}), 4096, false, 0, {}},
        Lznt1Case{"ReferencePastTheChunkEnd", CompressedChunk({0x08, 'a', 'b', 'c', 0xFF, 0x0F}), 4096, false, 0, {}},
        Lznt1Case{"ReferenceCutShort", CompressedChunk({0x02, 'a', 0x00}), 4096, false, 0, {}},
        Lznt1Case{"ChunkPastTheInput", Concat({Header(true, 16), {0x00, 'a', 'b'}}), 4096, false, 0, {}},
        Lznt1Case{"WrongSignature", {0x03, 0x80, 0x00, 'a', 'b', 'c'}, 4096, false, 0, {}},
        Lznt1Case{"UncompressedChunkLongerThanItsPlace", Concat({Header(false, 4096), Pattern(4096)}), 2048, false,
                  0, {}}),
    [](const ::testing::TestParamInfo<Lznt1Case>& info) { return info.param.name; });

TEST(NtfsCompressionUnits, UnitsArePlainCompressedOrZerosAndRunsAreCutAtUnitEdges) {
  // Units of 4 sectors: 2 stored + 2 sparse; 6 stored (one unit and half
  // the next) + 2 sparse; 4 sparse; then 3 stored ending the runs.
  const std::vector<DataRun> runs = {{100, 2, false}, {0, 2, true}, {200, 6, false}, {0, 6, true},
                                     {300, 1, false}, {301, 2, false}};
  CompressionUnits units(runs, 4);
  std::vector<CompressionUnit> seen;
  while (auto unit = units.Next()) seen.push_back(*unit);
  ASSERT_EQ(seen.size(), 5u);
  using Kind = CompressionUnit::Kind;
  EXPECT_EQ(seen[0].kind, Kind::Compressed);
  EXPECT_EQ(seen[0].stored, (std::vector<DataRun>{{100, 2, false}}));
  EXPECT_EQ(seen[1].kind, Kind::Plain);
  EXPECT_EQ(seen[1].stored, (std::vector<DataRun>{{200, 4, false}}));
  EXPECT_EQ(seen[2].kind, Kind::Compressed);
  EXPECT_EQ(seen[2].stored, (std::vector<DataRun>{{204, 2, false}}));
  EXPECT_EQ(seen[3].kind, Kind::Zeros);
  // The last unit: the runs end inside it, without a sparse part; the two
  // touching runs are read as one.
  EXPECT_EQ(seen[4].kind, Kind::Plain);
  EXPECT_EQ(seen[4].sectorCount, 3u);
  EXPECT_EQ(seen[4].stored, (std::vector<DataRun>{{300, 3, false}}));
  EXPECT_FALSE(CompressionUnits(runs, 0).Next());
}

}  // namespace
}  // namespace korv
