#include "ui/logic/preview_rules.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <ctime>
#include <random>

#include "support/test_support.h"

namespace korv {
namespace {

TEST(PreviewKindTest, LastFourCharactersDecideWithoutRegardToCase) {
  const std::pair<std::u16string, PreviewKind> cases[] = {
      {u"photo.JPG", PreviewKind::Picture},
      {u"a.jpeg", PreviewKind::Picture},
      {u"scan.Jpeg", PreviewKind::Picture},
      {u"x.bmp", PreviewKind::Picture},
      {u"x.png", PreviewKind::Picture},
      {u"x.GiF", PreviewKind::Picture},
      {u"x.tif", PreviewKind::Picture},
      {u"raw.DNG", PreviewKind::Picture},
      {u"favicon.ico", PreviewKind::Picture},
      {u"notes.RTF", PreviewKind::RichText},
      {u"x.zip", PreviewKind::Archive},
      {u"file.jpgx", PreviewKind::None},
      {u"x.tiff", PreviewKind::None},
      {u"x.docx", PreviewKind::None},
      {u"jpg", PreviewKind::None},
      {u"", PreviewKind::None},
      // "JPEG" is matched without its dot: any name ending in those letters.
      {u"notjpeg", PreviewKind::Picture},
  };
  for (const auto& [name, kind] : cases) {
    EXPECT_EQ(PreviewKindOf(name), kind) << std::string(name.begin(), name.end());
  }
}

TEST(PreviewKindTest, OnlyShowableFilesUpTo256MiBAreExtractedForAPreview) {
  EXPECT_TRUE(ExtractForPreview(u"a.jpg", kMaxPreviewBytes));
  EXPECT_FALSE(ExtractForPreview(u"a.jpg", kMaxPreviewBytes + 1));
  EXPECT_TRUE(ExtractForPreview(u"a.zip", 0));
  EXPECT_FALSE(ExtractForPreview(u"a.txt", 10));
  EXPECT_EQ(kMaxPreviewBytes, 256ull * 1024 * 1024);
}

// What a run looks like, for comparing whole documents at once.
std::string Describe(const std::vector<RtfRun>& runs) {
  std::string out;
  for (const RtfRun& run : runs) {
    out += "[";
    if (run.bold) out += "b";
    if (run.italic) out += "i";
    if (run.underline) out += "u";
    out += "]" + run.text;
    if (run.paragraphEnd) out += "|";
  }
  return out;
}

TEST(RtfReaderTest, CharacterFormattingAndParagraphs) {
  const std::string document =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
      "\\pard\\f0\\fs20 Plain {\\b bold} \\i italic\\i0  and \\ul under\\ulnone .\\par "
      "Next\\line line \\b\\i both\\plain  reset\\tab tabbed\\par}";
  EXPECT_EQ(Describe(ReadRtf(document)),
            "[]Plain [b]bold[] [i]italic[] and [u]under[].|[]Next|[]line [bi]both[] reset\ttabbed|");
  EXPECT_EQ(RtfPlainText(document), "Plain bold italic and under.\nNext\nline both reset\ttabbed\n");
}

TEST(RtfReaderTest, EscapesAndUnicodeWithTheirFallbacks) {
  EXPECT_EQ(RtfPlainText("{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94}"), "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
  EXPECT_EQ(RtfPlainText("{\\rtf1 \\u8364? \\uc2\\u8364xx! {\\uc0\\u233}\\u8364\\'80}"),
            "\xE2\x82\xAC \xE2\x82\xAC! \xC3\xA9\xE2\x82\xAC");
  // A negative parameter counts from 65536; two halves make one character.
  EXPECT_EQ(RtfPlainText("{\\rtf1 \\u-3971?\\u-10179?\\u-8704?}"), "\xEF\x81\xBD\xF0\x9F\x98\x80");
  EXPECT_EQ(RtfPlainText("{\\rtf1 a\\~b\\-c\\_d \\{x\\} \\\\}"),
            "a\xC2\xA0"
            "bc\xE2\x80\x91"
            "d {x} \\");
}

TEST(RtfReaderTest, DestinationsAreSkippedHoweverNested) {
  const std::string document =
      "{\\rtf1{\\*\\generator Writer 1.0;}{\\info{\\title The Title}{\\author Someone}}"
      "{\\stylesheet{\\s1\\b Heading;}}{\\header {\\b page} header}"
      "{\\*\\unknowndest {nested {deeper} text} more}"
      "{\\pict\\pngblip\\bin4 }}{{ 89504e47}"
      "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}"
      " body}";
  EXPECT_EQ(RtfPlainText(document), "link body");
}

TEST(RtfReaderTest, DamagedDocumentsGiveWhatCanBeRead) {
  EXPECT_EQ(Describe(ReadRtf("}}}}plain{\\b x")), "[]plain[b]x");
  EXPECT_EQ(RtfPlainText("{\\rtf1 cut here\\'4"), "cut here");
  EXPECT_EQ(RtfPlainText("{\\rtf1 trailing \\"), "trailing ");
  EXPECT_EQ(RtfPlainText("{\\rtf1 \\bin999999 abc}"), "");
  EXPECT_EQ(RtfPlainText("{\\rtf1 \\b99999999999999999999999 big\\b0 \\uc99999999 \\u65?x}"), "bigA");
  EXPECT_EQ(RtfPlainText("not rtf at all"), "not rtf at all");
}

TEST(RtfReaderTest, DeepNestingEndsAndLeavesNoFormattingBehind) {
  // Millions of levels: read in one pass with a bounded stack.
  const std::size_t levels = 2'000'000;
  std::string bomb(levels, '{');
  bomb += "\\b lost";
  bomb += std::string(levels, '}');
  bomb += "after";
  EXPECT_EQ(Describe(ReadRtf(bomb)), "[]after");

  // Shallow groups keep their text.
  std::string nested = "{\\rtf1 ";
  for (int i = 0; i < 20; ++i) nested += "{\\i ";
  nested += "deep";
  for (int i = 0; i < 20; ++i) nested += "}";
  nested += " flat}";
  EXPECT_EQ(Describe(ReadRtf(nested)), "[i]deep[] flat");
}

TEST(RtfReaderTest, NeverReturnsMarkup) {
  const std::string document =
      "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl\\f0\\fnil Courier;}\\viewkind4\\uc1\\pard\\lang1033\\f0\\fs22"
      " Dear reader,\\par\\pard\\sa200\\sl276\\slmult1 {\\b\\fs28 Title}\\par}";
  const std::string text = RtfPlainText(document);
  EXPECT_EQ(text, "Dear reader,\nTitle\n");

  // Random documents of RTF's own characters end, and the header never
  // shows (the letters of "rtf" come from nowhere else).
  std::mt19937 random(11);
  const std::string alphabet = "{}\\\\\\'*abfu0123456789- ?xe";
  for (int round = 0; round < 2000; ++round) {
    std::string noise = "{\\rtf1 ";
    const std::size_t length = random() % 200;
    for (std::size_t i = 0; i < length; ++i) noise += alphabet[random() % alphabet.size()];
    EXPECT_EQ(RtfPlainText(noise).find("rtf"), std::string::npos) << noise;
  }
}

// An archive made by libzip, as a ZIP tool would write it.
class ZipListingTest : public ::testing::Test {
 protected:
  struct Member {
    std::string name;
    std::string bytes;
    bool store = false;
  };

  std::filesystem::path MakeZip(const std::vector<Member>& members, std::time_t mtime) {
    const std::filesystem::path path = dir_ / "archive.zip";
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    if (archive == nullptr) return path;
    for (const Member& member : members) {
      zip_source_t* source = zip_source_buffer(archive, member.bytes.data(), member.bytes.size(), 0);
      const zip_int64_t index = zip_file_add(archive, member.name.c_str(), source, ZIP_FL_ENC_UTF_8);
      EXPECT_GE(index, 0);
      const auto at = static_cast<zip_uint64_t>(index);
      if (member.store) zip_set_file_compression(archive, at, ZIP_CM_STORE, 0);
      zip_file_set_mtime(archive, at, mtime, 0);
    }
    EXPECT_EQ(zip_close(archive), 0);
    return path;
  }

  test::TempDir dir_;
};

TEST_F(ZipListingTest, ListsNamesTimesAndBothSizes) {
  std::tm when{};
  when.tm_year = 2021 - 1900;
  when.tm_mon = 2;
  when.tm_mday = 5;
  when.tm_hour = 9;
  when.tm_min = 7;
  when.tm_sec = 2;
  when.tm_isdst = -1;
  const std::string noise = [] {
    std::string bytes;
    std::mt19937 random(3);
    for (int i = 0; i < 500; ++i) bytes += static_cast<char>(random());
    return bytes;
  }();
  const auto path =
      MakeZip({{"a.txt", std::string(1000, 'a')}, {"dir/caf\xC3\xA9.bin", noise, true}}, std::mktime(&when));

  const auto entries = ListZipEntries(path.string());
  ASSERT_TRUE(entries.has_value());
  ASSERT_EQ(entries->size(), 2u);
  EXPECT_EQ((*entries)[0].name, "a.txt");
  EXPECT_EQ((*entries)[0].size, 1000u);
  EXPECT_GT((*entries)[0].compressedSize, 0u);
  EXPECT_LT((*entries)[0].compressedSize, 100u);
  EXPECT_EQ((*entries)[0].modified, "05-Mar-2021 09:07:02");
  EXPECT_EQ((*entries)[1].name, "dir/caf\xC3\xA9.bin");
  EXPECT_EQ((*entries)[1].size, 500u);
  EXPECT_EQ((*entries)[1].compressedSize, 500u);
}

TEST_F(ZipListingTest, AnythingButAReadableArchiveGivesNothing) {
  EXPECT_FALSE(ListZipEntries((dir_ / "missing.zip").string()).has_value());

  test::WriteFileBytes(dir_ / "text.zip", {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'});
  EXPECT_FALSE(ListZipEntries((dir_ / "text.zip").string()).has_value());

  // Cut before its central directory.
  const auto path = MakeZip({{"a.txt", std::string(5000, 'x')}}, 0);
  auto bytes = test::ReadFileBytes(path);
  bytes.resize(bytes.size() / 2);
  test::WriteFileBytes(dir_ / "cut.zip", bytes);
  EXPECT_FALSE(ListZipEntries((dir_ / "cut.zip").string()).has_value());
}

}  // namespace
}  // namespace korv
