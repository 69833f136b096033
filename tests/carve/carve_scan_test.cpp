// The carving scan over hand-made sectors: where ends are found, what a
// header without an end leaves searchable, and the rules of the classic
// types.
#include <string>
#include <vector>

#include "carve/file_end.h"
#include "carve_test_disk.h"
#include "support/byte_writers.h"

namespace korv::test {
namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kBuffer = 1000 * kSector;  // one read of the scan

// The smallest PNG the walker accepts: signature, IHDR, IEND.
std::vector<std::uint8_t> TinyPng() {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  const auto chunk = [&](std::string_view type, std::size_t length) {
    std::vector<std::uint8_t> bytes(12 + length, 0x11);
    StoreU32BE(bytes, 0, static_cast<std::uint32_t>(length));
    StoreAscii(bytes, 4, type);
    png.insert(png.end(), bytes.begin(), bytes.end());
  };
  chunk("IHDR", 13);
  chunk("IEND", 0);
  // IEND's CRC is the same in every file; the whole-sector rule looks for it.
  StoreU32BE(png, png.size() - 4, 0xAE426082);
  return png;
}

struct FooterCase {
  const char* name;
  std::uint64_t footerAt;  // byte position of "%%EOF" on the disk
  bool exact;
};

class FooterPosition : public CarveScanTest, public ::testing::WithParamInterface<FooterCase> {};

// The footer is found wherever it lies: inside a sector, across two
// sectors, across two reads of the scan.
TEST_P(FooterPosition, FooterIsFoundAcrossBoundaries) {
  const FooterCase& c = GetParam();
  const std::uint64_t start = (c.footerAt / kSector - 3) * kSector;
  Put(start, "%PDF-1.4\n");
  Put(c.footerAt, "%%EOF\n");
  const CarveSummary summary = Scan("PDF", c.exact);
  ASSERT_EQ(summary.filesWritten, 1u);
  const std::uint64_t expected =
      c.exact ? c.footerAt + 6 - start : (c.footerAt / kSector - start / kSector + 2) * kSector;
  EXPECT_EQ(Carved("PDF/0.PDF"), DiskBytes(start, expected));
}

INSTANTIATE_TEST_SUITE_P(Positions, FooterPosition,
                         ::testing::Values(FooterCase{"InsideSector", 20 * kSector + 100, true},
                                           FooterCase{"AcrossSectors", 20 * kSector + 510, true},
                                           FooterCase{"AcrossReads", kBuffer - 3, true},
                                           FooterCase{"InsideSectorWhole", 20 * kSector + 100, false},
                                           FooterCase{"AcrossSectorsWhole", 20 * kSector + 510, false},
                                           FooterCase{"AcrossReadsWhole", kBuffer - 3, false}),
                         [](const auto& info) { return std::string(info.param.name); });

class ExactOrWhole : public CarveScanTest, public ::testing::WithParamInterface<bool> {};

// A header whose end never comes is dropped, and the sectors after it are
// still searched.
TEST_P(ExactOrWhole, HeaderWithoutEndDoesNotHideLaterFiles) {
  Put(10 * kSector, "%PDF-1.4\n no end here");
  Put(30 * kSector, TinyPng());
  const CarveSummary summary = Scan("PDF,PNG", GetParam(), 0, 40);
  EXPECT_EQ(summary.filesPerType.count("PDF"), 0u);
  EXPECT_EQ(summary.filesPerType.at("PNG"), 1u);
}

// A JPEG whose segments break is still saved up to its end-of-image marker
// by the whole-sector rule, and the files inside that guess are still found.
TEST_F(CarveScanTest, BrokenJpegFallsBackToWholeSectorsAndHidesNothing) {
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F',
                                    0,    1,    1,    0,    0,    1,    0,   1,   0,   0};
  jpeg.resize(jpeg.size() + 40, 0x00);  // where the next marker should stand
  Put(10 * kSector, jpeg);
  Put(12 * kSector, TinyPng());
  Put(20 * kSector + 100, std::vector<std::uint8_t>{0xFF, 0xD9});
  const CarveSummary summary = Scan("JPEG,PNG", true, 0, 40);
  EXPECT_EQ(summary.filesPerType.at("PNG"), 1u);
  ASSERT_EQ(summary.filesPerType.at("JPEG"), 1u);
  EXPECT_EQ(Carved("JPEG/0.JPEG"), DiskBytes(10 * kSector, (20 - 10 + 2) * kSector));
}

// Holes the container reports are not read, and nothing is found in them.
TEST_P(ExactOrWhole, UnallocatedSectorsAreSkipped) {
  disk_.holeFirst = 100;
  disk_.holeEnd = 1500;
  Put(200 * kSector, TinyPng());
  Put(1600 * kSector, TinyPng());
  const CarveSummary summary = Scan("PNG", GetParam());
  EXPECT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(disk_.holeReads, 0u);
}

INSTANTIATE_TEST_SUITE_P(Ends, ExactOrWhole, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Exact" : "WholeSectors"; });

// A size field of 0 drops the header; the next sector is searched.
TEST_F(CarveScanTest, BitmapWithoutSizeIsDroppedAndTheNextSectorSearched) {
  std::vector<std::uint8_t> bitmap(1000, 0x5A);
  StoreAscii(bitmap, 0, "BM");
  StoreU32LE(bitmap, 2, 0);
  StoreU32LE(bitmap, 6, 0);
  StoreU32LE(bitmap, 14, 40);
  Put(0, std::span(bitmap).first(18));
  StoreU32LE(bitmap, 2, 1000);
  Put(kSector, bitmap);
  const CarveSummary summary = Scan("BMP", false, 0, 20);
  ASSERT_EQ(summary.filesWritten, 1u);
  // The whole-sector rule: size ÷ 512 + 2 sectors.
  EXPECT_EQ(Carved("BMP/0.BMP"), DiskBytes(kSector, (1000 / 512 + 2) * kSector));
}

struct RiffCase {
  const char* form;
  const char* ticked;
  const char* written;  // empty: nothing written
};

class RiffForms : public CarveScanTest, public ::testing::WithParamInterface<RiffCase> {};

// RIFF files are told apart by their form type, so a WAV or a drawing is
// never written as a video.
TEST_P(RiffForms, FormTypeNamesTheFile) {
  std::vector<std::uint8_t> riff(2000, 0x22);
  StoreAscii(riff, 0, "RIFF");
  StoreU32LE(riff, 4, 1992);
  StoreAscii(riff, 8, GetParam().form);
  Put(4 * kSector, riff);
  const CarveSummary summary = Scan(GetParam().ticked, true, 0, 20);
  const std::string written = GetParam().written;
  if (written.empty()) {
    EXPECT_EQ(summary.filesWritten, 0u);
    return;
  }
  ASSERT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(Carved(written + "/0." + written), riff);
}

INSTANTIATE_TEST_SUITE_P(Forms, RiffForms,
                         ::testing::Values(RiffCase{"AVI ", "AVI", "AVI"}, RiffCase{"WAVE", "AVI,CDR", ""},
                                           RiffCase{"WAVE", "all", "WAV"}, RiffCase{"CDR9", "all", "CDR"},
                                           RiffCase{"CDR9", "AVI,WAV", ""}),
                         [](const auto& info) {
                           return std::string(info.param.form).substr(0, 3) + "_" +
                                  (info.index % 2 == 0 ? "Written" : "Passed") + std::to_string(info.index);
                         });

void PutUtf16(std::vector<std::uint8_t>& sector, std::size_t at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) sector[at + 2 * i] = static_cast<std::uint8_t>(text[i]);
}

struct CompoundCase {
  const char* ticked;
  const char* written;  // empty: dropped
};

class CompoundDocuments : public CarveScanTest, public ::testing::WithParamInterface<CompoundCase> {};

// A workbook is found through the compound-document header, named by the
// stream its root entry lists, and written only when its type is ticked.
TEST_P(CompoundDocuments, WorkbookIsNamedByItsRootEntry) {
  Put(0, std::vector<std::uint8_t>{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1});
  std::vector<std::uint8_t> directory(kSector, 0);
  PutUtf16(directory, 0, "Root Entry");
  PutUtf16(directory, 128, "Workbook");
  Put(3 * kSector, directory);
  Put(5 * kSector + 40, std::vector<std::uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4});
  const CarveSummary summary = Scan(GetParam().ticked, true, 0, 40);
  const std::string written = GetParam().written;
  if (written.empty()) {
    EXPECT_EQ(summary.filesWritten, 0u);
    return;
  }
  ASSERT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(Carved(written + "/0." + written).size(), 7 * kSector);
}

INSTANTIATE_TEST_SUITE_P(Ticks, CompoundDocuments,
                         ::testing::Values(CompoundCase{"XLS", "XLS"}, CompoundCase{"DOC", ""},
                                           CompoundCase{"DOC,PPT,XLS", "XLS"}),
                         [](const auto& info) {
                           return std::string(info.param.ticked).substr(0, 3) + std::to_string(info.index);
                         });

struct DatabaseCase {
  const char* name;
  std::uint64_t header;             // sector of the header
  std::vector<std::uint64_t> ones;  // sectors whose second byte is 01
  std::uint64_t sectors;            // written length; 0: dropped
};

class DatabaseRule : public CarveScanTest, public ::testing::WithParamInterface<DatabaseCase> {};

TEST_P(DatabaseRule, EndsAtTheLastPageOfItsBatches) {
  const DatabaseCase& c = GetParam();
  Put(c.header * kSector, std::vector<std::uint8_t>{0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n'});
  for (const std::uint64_t s : c.ones) Put(s * kSector + 1, std::vector<std::uint8_t>{0x01});
  const CarveSummary summary = Scan("MDB", false, 0, 40);
  if (c.sectors == 0) {
    EXPECT_EQ(summary.filesWritten, 0u);
    return;
  }
  ASSERT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(Carved("MDB/0.MDB").size(), c.sectors * kSector);
}

INSTANTIATE_TEST_SUITE_P(Walks, DatabaseRule,
                         ::testing::Values(DatabaseCase{"NoPagesAfterIt", 2, {}, 0},
                                           DatabaseCase{"PagesInTwoBatches", 2, {3, 5, 12}, 12 - 2 + 2},
                                           DatabaseCase{"FirstBatchPastTheRange", 39, {}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// JPEG ends at the main image's end-of-image marker: past a thumbnail's,
// stuffed bytes, restart markers and fill bytes.
TEST_F(CarveScanTest, JpegEndsAtTheMainImagesMarker) {
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x0C, 'E',  'x',  'i',
                                    'f',  0,    0,    0xFF, 0xD8, 0xFF, 0xD9,  // thumbnail
                                    0xFF, 0xDB, 0x00, 0x04, 0x00, 0x00,        // tables
                                    0xFF, 0xFF, 0xDA, 0x00, 0x04, 0x00, 0x00,  // fill, scan
                                    0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xD9};
  jpeg.resize(jpeg.size() + 600, 0);  // slack after the image
  Put(kBuffer - 2 * kSector, jpeg);   // the scan data runs into the next read
  const CarveSummary summary = Scan("JPEG");
  ASSERT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(Carved("JPEG/0.JPEG"), std::vector<std::uint8_t>(jpeg.begin(), jpeg.end() - 600));
}

// A range that runs past the disk ends with the disk: nothing lies beyond.
TEST_F(CarveScanTest, RangeIsCutAtTheDisksEnd) {
  Put(2000 * kSector, TinyPng());
  const CarveSummary summary = Scan("PNG", true, 0, 4'000'000'000);
  EXPECT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(sink_.last(ProgressField::Sector), "2048");
}

struct PdfCase {
  const char* name;
  std::string file;   // the PDF as written
  std::string after;  // what follows it on the disk
};

class PdfEnds : public CarveScanTest, public ::testing::WithParamInterface<PdfCase> {};

// A PDF ends at the last "%%EOF" of its incremental updates, and never
// runs on into whatever text follows it.
TEST_P(PdfEnds, EndsAtItsLastUpdate) {
  const PdfCase& c = GetParam();
  Put(8 * kSector, c.file + c.after + "\n%%EOF\n");
  const CarveSummary summary = Scan("PDF", true, 0, 40);
  ASSERT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(Carved("PDF/0.PDF"), DiskBytes(8 * kSector, c.file.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PdfEnds,
    ::testing::Values(PdfCase{"OneRevision", "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n%%EOF\n", "text that is not a PDF"},
                      PdfCase{"TwoRevisions",
                              "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n%%EOF\n2 0 obj\n<<>>\nendobj\n%%EOF\r\n",
                              "12 is not an object"},
                      PdfCase{"UpdateOfTheTableOnly", "%PDF-1.4\n%%EOF\nxref\n0 1\n%%EOF\n", "\x01\x02"}),
    [](const auto& info) { return std::string(info.param.name); });

struct XmlCase {
  const char* name;
  std::string document;
};

class XmlEnds : public CarveScanTest, public ::testing::WithParamInterface<XmlCase> {};

// An XML document ends at its root element's closing tag and line end,
// whatever follows it on the disk (not only the zeros of a fresh disk).
TEST_P(XmlEnds, EndAtTheRootsClosingTag) {
  const std::string& document = GetParam().document;
  Put(8 * kSector, document);
  Put(8 * kSector + document.size(), std::vector<std::uint8_t>(700, 0xAB));
  const CarveSummary summary = Scan("XML", true, 0, 40);
  ASSERT_EQ(summary.filesWritten, 1u);
  EXPECT_EQ(Carved("XML/0.XML"), DiskBytes(8 * kSector, document.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Documents, XmlEnds,
    ::testing::Values(
        XmlCase{"Plain", "<?xml version=\"1.0\"?>\n<list>\n <list/>\n</list>\n"},
        XmlCase{"PrologAndComment",
                "<?xml version=\"1.0\"?>\r\n<!DOCTYPE note>\r\n<!-- <fake> -->\r\n<note a=\"1\">x</note>\r\n"},
        XmlCase{"NoLineEnd", "<?xml version=\"1.0\"?><r>text</r>"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every way the scan ends shows an end message.
TEST_F(CarveScanTest, StopEndsWithTheAbortedMessage) {
  session_.worker.RequestStop();
  const CarveSummary summary = Scan("PNG");
  EXPECT_TRUE(summary.stopped);
  EXPECT_EQ(summary.endMessage, kMsgRawAborted);
  EXPECT_EQ(sink_.last(ProgressField::Status), kMsgRawAborted);
}

}  // namespace
}  // namespace korv::test
