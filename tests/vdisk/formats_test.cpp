// The table of container formats: the texts and orders the rest of the
// system reads from it, and every format's factory on qemu-img's images.
#include "vdisk/formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "support/container_disks.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

TEST(ContainerFormatsTest, TheFileDialogFilterKeepsItsText) {
  EXPECT_EQ(VirtualFileFilter(),
            "Virtual Files (*.*)|*.*|Virtual Files (*.vbox;*.vmdk;*.vhd;*.vhdx;*.vdi;*.hdd;*.hds;*.qed;*.qcow)|*.vbox;"
            "*.vmdk; *.vhd; *.vhdx; *.vdi; *.hdd; *.hds; *.qed; *.qcow||");
}

TEST(ContainerFormatsTest, PickedFilesAreTriedInProbeOrderAndVmdkLast) {
  std::vector<std::string> probed;
  for (const ContainerFormat* format : ProbedFormats()) probed.emplace_back(format->name);
  EXPECT_EQ(probed, (std::vector<std::string>{"QCOW", "QED", "HDD", "VDI", "VHD", "VHDX"}));
  EXPECT_EQ(LastTriedFormat().name, "VMDK");
  EXPECT_EQ(LastTriedFormat().acceptance, Acceptance::TriedLast);
}

TEST(ContainerFormatsTest, LettersNameTheirFormatsOnceEach) {
  const std::vector<std::pair<char, std::string>> expected = {
      {'C', "QCOW"}, {'Q', "QED"}, {'E', "HDD"}, {'D', "VDI"}, {'H', "VHD"}, {'X', "VHDX"}, {'N', "VMDK"}};
  for (const auto& [letter, name] : expected) EXPECT_EQ(FormatName(letter), name) << letter;
  EXPECT_EQ(ContainerFormats().size(), expected.size());
  EXPECT_EQ(FormatName('Z'), "");
  EXPECT_EQ(FormatOfLetter('Z'), nullptr);

  std::set<char> letters;
  std::set<std::string_view> extensions;
  for (const ContainerFormat& format : ContainerFormats()) {
    EXPECT_TRUE(letters.insert(format.letter).second) << format.name;
    EXPECT_FALSE(format.extensions.empty()) << format.name;
    for (const std::string_view extension : format.extensions) {
      EXPECT_TRUE(extensions.insert(extension).second) << extension;
    }
  }
}

// Every format is covered by at least one image the fixtures make, so a new
// format cannot go untested below.
TEST(ContainerFormatsTest, EveryFormatHasAnImageOfItsOwn) {
  std::set<char> covered;
  for (const test::ContainerDisk& disk : test::ContainerDisks()) covered.insert(disk.letter);
  for (const ContainerFormat& format : ContainerFormats()) EXPECT_TRUE(covered.contains(format.letter)) << format.name;
}

class FormatFactoryTest : public ::testing::TestWithParam<test::ContainerDisk> {
 protected:
  static void SetUpTestSuite() { raw_ = test::ReadFileBytes(test::TestDisksDir() / "basic.raw"); }
  static test::Bytes raw_;
};

test::Bytes FormatFactoryTest::raw_;

// The factory of the image's format opens it born open, its reader says its
// letter, and a run reads as the raw disk and as one read per sector.
TEST_P(FormatFactoryTest, OpensTheImageAndRunsReadAsSectorBySector) {
  ASSERT_FALSE(raw_.empty());
  const ContainerFormat* format = FormatOfLetter(GetParam().letter);
  ASSERT_NE(format, nullptr);
  OpenAttempt<VirtualDisk> attempt = format->open(test::TestDisksDir() / GetParam().file);
  ASSERT_EQ(attempt.result, OpenResult::Opened) << attempt.reason;
  ASSERT_NE(attempt.reader, nullptr);
  EXPECT_TRUE(attempt.reason.empty());
  EXPECT_EQ(attempt.reader->formatLetter(), format->letter);
  test::ExpectReadsAsRaw(*attempt.reader, raw_);
}

// Any other format's factory does not take the image for its own, except the
// one tried last, which reads any file it is given.
TEST_P(FormatFactoryTest, OtherProbedFormatsDoNotTakeTheImage) {
  for (const ContainerFormat* format : ProbedFormats()) {
    if (format->letter == GetParam().letter) continue;
    const OpenAttempt<VirtualDisk> attempt = format->open(test::TestDisksDir() / GetParam().file);
    EXPECT_EQ(attempt.result, OpenResult::NotThisFormat) << format->name << ": " << attempt.reason;
    EXPECT_EQ(attempt.reader, nullptr);
    EXPECT_FALSE(attempt.reason.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Images, FormatFactoryTest, ::testing::ValuesIn(test::ContainerDisks()),
                         test::ContainerDiskName);

}  // namespace
}  // namespace korv
