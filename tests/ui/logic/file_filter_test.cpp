#include "ui/logic/file_filter.h"

#include <gtest/gtest.h>

#include "vdisk/selection.h"

namespace korv {
namespace {

TEST(QtFileFilterTest, VirtualFileFilterKeepsItsEntriesInOrderWithBlankSeparatedPatterns) {
  EXPECT_EQ(QtFileFilter(VirtualFileFilter()),
            "Virtual Files (*.*);;"
            "Virtual Files (*.vbox *.vmdk *.vhd *.vhdx *.vdi *.hdd *.hds *.qed *.qcow)");
}

TEST(QtFileFilterTest, TheDiskFileDialogNamesEachFormatAndEndsWithAllFiles) {
  const std::string filter = DiskFileFilter();
  EXPECT_EQ(filter.rfind("Disk files (*.vbox *.vmdk *.vhd *.vhdx *.vdi *.hdd *.hds *.qed *.qcow *.qcow2 *.img ", 0), 0u)
      << filter;
  for (const char* entry : {";;VHD (*.vhd);;", ";;QCOW (*.qcow *.qcow2 *.img)", ";;Raw Disk Images (*.img *.raw *.dd)",
                            ";;Disk Images (DiskImage0.dmg)"}) {
    EXPECT_NE(filter.find(entry), std::string::npos) << entry;
  }
  EXPECT_TRUE(filter.ends_with(";;All files (*)")) << filter;
}

TEST(QtFileFilterTest, PatternsComeFromThePatternPartNotTheDescription) {
  // The description's brackets are written afresh from the patterns.
  EXPECT_EQ(QtFileFilter("Logs (old)|*.kvfr;*.log||"), "Logs (*.kvfr *.log)");
  EXPECT_EQ(QtFileFilter("Logs|*.kvfr|"), "Logs (*.kvfr)");
  // A bare pattern list without "||" and without a description.
  EXPECT_EQ(QtFileFilter("*.kvfr"), "");
  EXPECT_EQ(QtFileFilter(""), "");
}

}  // namespace
}  // namespace korv
