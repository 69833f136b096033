// The rows the user ticks and how a sector is recognised as a file's first.
#include <gtest/gtest.h>

#include "carve/carve_types.h"
#include "carve/file_end.h"

namespace korv {
namespace {

TEST(CarveRows, ClassicRowsKeepTheirIndicesAndAddedOnesFollow) {
  const auto rows = CarveRows();
  ASSERT_GT(rows.size(), 23u);
  EXPECT_EQ(rows[0].name, "AVI");
  EXPECT_EQ(rows[8].text, "JPEG   -   Image Format");
  EXPECT_EQ(rows[22].name, "ZIP");
  EXPECT_EQ(rows[23].name, "GIF");
}

struct NamesCase {
  const char* typed;
  std::optional<std::size_t> count;  // rows ticked; nothing: refused
};

class RowsNamedTest : public ::testing::TestWithParam<NamesCase> {};

TEST_P(RowsNamedTest, TicksTheNamedRows) {
  const auto rows = RowsNamed(GetParam().typed);
  ASSERT_EQ(rows.has_value(), GetParam().count.has_value());
  if (rows) EXPECT_EQ(rows->size(), *GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(Lists, RowsNamedTest,
                         ::testing::Values(NamesCase{"all", CarveRows().size()}, NamesCase{"jpeg,PNG", 2},
                                           NamesCase{"JPEG,JPEG", 1}, NamesCase{"JPEG,BOGUS", std::nullopt},
                                           NamesCase{"", 0}));

// Only XLS ticked: the compound-document entry is searched, for XLS only.
TEST(CarveEntries, RowsFoundThroughAnotherEntryBuildThatEntry) {
  const std::vector<std::size_t> xls = {20};
  const auto entries = BuildCarveEntries(xls);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "DOC");
  EXPECT_TRUE(IsTicked(entries[0], "XLS"));
  EXPECT_FALSE(IsTicked(entries[0], "DOC"));
}

struct HeaderCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* type;  // empty: no header
};

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, RecognisesTheFirstSector) {
  const auto entries = BuildCarveEntries(*RowsNamed("all"));
  std::vector<std::uint8_t> sector(512, 0);
  std::copy(GetParam().bytes.begin(), GetParam().bytes.end(), sector.begin());
  const auto match = FindHeader(entries, ByteView(sector));
  const std::string expected = GetParam().type;
  if (expected.empty()) {
    EXPECT_FALSE(match.has_value());
    return;
  }
  ASSERT_TRUE(match.has_value());
  EXPECT_EQ(entries[match->entry].name, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sectors, HeaderTest,
    ::testing::Values(
        HeaderCase{"JpegJfif", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'}, "JPEG"},
        HeaderCase{"JpegExif", {0xFF, 0xD8, 0xFF, 0xE1, 0x1F, 0x00, 'E', 'x', 'i', 'f'}, "JPEG"},
        HeaderCase{"JpegTablesFirst", {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43}, "JPEG"},
        HeaderCase{"JpegNoSegment", {0xFF, 0xD8, 0xFF, 0x00, 0x00, 0x43}, ""},
        HeaderCase{"JpegZeroLength", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00}, ""},
        HeaderCase{"RiffWave", {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V', 'E'}, "WAV"},
        HeaderCase{"RiffUnknownForm", {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'E', 'B', 'P'}, ""},
        HeaderCase{"Mp4", {0, 0, 0, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'}, "MP4"},
        HeaderCase{"Id3", {'I', 'D', '3', 3, 0}, "MP3"},
        HeaderCase{"Id3BadVersion", {'I', 'D', '3', 9, 0}, ""},
        HeaderCase{"Bitmap", {'B', 'M', 0x36, 0x10, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 40, 0, 0, 0}, "BMP"},
        HeaderCase{"BitmapOddInfoSize", {'B', 'M', 0x36, 0x10, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0, 41, 0, 0, 0}, ""},
        HeaderCase{"ZipLocalHeader", {'P', 'K', 3, 4, 20, 0}, "ZIP"},
        HeaderCase{"ZipEmpty", {'P', 'K', 5, 6, 0, 0}, "ZIP"},
        HeaderCase{"PkAlone", {'P', 'K', 'x', 'y'}, ""},
        HeaderCase{"HtmlAfterLineEnd", {'\r', '\n', '<', 'H', 'T', 'M', 'L', '>'}, "HTML"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CompoundProbe, FirstStreamNameAtTheLowestPositionWins) {
  std::vector<std::uint8_t> sector(512, 0);
  const auto put = [&](std::size_t at, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) sector[at + 2 * i] = static_cast<std::uint8_t>(text[i]);
  };
  put(0, "Root Entry");
  put(300, "WordDocument");
  put(200, "PowerPoint Document");
  EXPECT_EQ(ProbeCompoundDocument(ByteView(sector)), "PPT");
  sector[0] = 'X';
  EXPECT_EQ(ProbeCompoundDocument(ByteView(sector)), "");
}

}  // namespace
}  // namespace korv
