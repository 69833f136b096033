// The MFT's run list, record location and file run lists on a hand-built
// volume: extension records named by attribute lists, duplicate and
// out-of-order entries, and the boot sector's fallbacks.
#include <gtest/gtest.h>

#include "fixtures/ntfs_builder.h"
#include "fs/ntfs/mft_run_list.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/record_values.h"
#include "platform/bytes.h"
#include "support/memory_disk.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using DataRun = korv::Run;  // gtest's Test::Run hides the plain name

// Partition at sector 64, 8 sectors per cluster, 1,024-byte records. The
// MFT's first extent is clusters 4..11 (records 0..31, sector 96 on); its
// second, described by record 16, is clusters 32..35 (records 32..47,
// sector 320 on).
constexpr std::uint64_t kFirst = 64;
constexpr std::uint64_t kMftSector = 96;

Bytes ListOf(std::initializer_list<Bytes> entries) {
  Bytes list;
  for (const Bytes& entry : entries) list.insert(list.end(), entry.begin(), entry.end());
  return list;
}

class NtfsMftTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source.kind = SourceKind::VirtualDisk;
    source.virtualDisk = &disk;
    range.firstSector = kFirst;
    range.endSector = kFirst + 800;
    Put(kFirst, test::NtfsBootSectorBytes(8, 799, 4, 2));
    Put(kFirst + 799, test::NtfsBootSectorBytes(8, 799, 4, 2));
    Put(kFirst + 16, test::FileRecordBuilder().Build());  // the mirror at cluster 2

    test::FileRecordBuilder mft;
    mft.OwnNumber(0).NonResident(0x80, {0x11, 0x08, 0x04}, 48 * 1024);
    // Out of order, naming the base record itself and the extension twice.
    mft.Resident(0x20, ListOf({test::AttributeListEntry(0x80, 8, 16), test::AttributeListEntry(0x10, 0, 0),
                               test::AttributeListEntry(0x80, 0, 0), test::AttributeListEntry(0x80, 8, 16)}));
    Put(Record(0), mft.Build());
    Put(Record(5), test::FileRecordBuilder().OwnNumber(5).Build());
    test::FileRecordBuilder extension;
    extension.BaseRecord(0).OwnNumber(16).NonResident(0x80, {0x11, 0x04, 0x20}, 0, 8);
    Put(Record(16), extension.Build());
  }

  static std::uint64_t Record(std::uint64_t number) {
    return number < 32 ? kMftSector + 2 * number : 320 + 2 * (number - 32);
  }
  void Put(std::uint64_t sector, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), disk.bytes.begin() + static_cast<std::ptrdiff_t>(sector * 512));
  }
  BootParameters Parameters() {
    BootParameters parameters;
    EXPECT_TRUE(ReadNtfsBootParameters(sectors, range, parameters));
    return parameters;
  }

  test::MemoryDisk disk{1024};
  test::ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
};

TEST_F(NtfsMftTest, ExtensionRunsAreTakenOnceInVcnOrder) {
  const BootParameters parameters = Parameters();
  EXPECT_EQ(parameters.mftFirstSector, kMftSector);
  EXPECT_EQ(parameters.mftMirrFirstSector, kFirst + 16);
  const MftRunList mft = BuildMftRunList(sectors, parameters);
  EXPECT_TRUE(mft.list.complete);
  EXPECT_EQ(mft.list.runs, (std::vector<DataRun>{{kMftSector, 64, false}, {320, 32, false}}));
  EXPECT_EQ(MftRecordSector(mft, 5), kMftSector + 10);
  EXPECT_EQ(MftRecordSector(mft, 31), kMftSector + 62);
  EXPECT_EQ(MftRecordSector(mft, 33), 322u);
  EXPECT_EQ(MftRecordSector(mft, 48), 0u);
  EXPECT_EQ(MftRecordSector(mft, 0xFFFFFFFFFFFFull), 0u);
}

TEST_F(NtfsMftTest, ExtensionOfAnotherFileOrGapEndsTheList) {
  test::FileRecordBuilder stranger;
  stranger.BaseRecord(9).OwnNumber(16).NonResident(0x80, {0x11, 0x04, 0x20}, 0, 8);
  Put(Record(16), stranger.Build());
  MftRunList mft = BuildMftRunList(sectors, Parameters());
  EXPECT_FALSE(mft.list.complete);
  EXPECT_EQ(mft.list.runs.size(), 1u);

  test::FileRecordBuilder gap;  // starts at VCN 9: cluster 8 missing
  gap.BaseRecord(0).OwnNumber(16).NonResident(0x80, {0x11, 0x04, 0x20}, 0, 9);
  Put(Record(16), gap.Build());
  mft = BuildMftRunList(sectors, Parameters());
  EXPECT_FALSE(mft.list.complete);
  EXPECT_EQ(mft.list.runs.size(), 1u);
}

TEST_F(NtfsMftTest, NoRootOrMftRecordLeavesTheListEmpty) {
  const BootParameters parameters = Parameters();
  disk.Sector(Record(5))[0] = 'X';
  const MftRunList mft = BuildMftRunList(sectors, parameters);
  EXPECT_TRUE(mft.empty());
  EXPECT_EQ(MftRecordSector(mft, 0), 0u);
  EXPECT_FALSE(ReadFileRecord(sectors, mft, 0));
}

TEST_F(NtfsMftTest, FileRunsFollowItsExtensionsOnce) {
  const BootParameters parameters = Parameters();
  const MftRunList mft = BuildMftRunList(sectors, parameters);
  test::FileRecordBuilder base;
  base.OwnNumber(40).NonResident(0x80, {0x11, 0x02, 0x50}, 3 * 4096);
  base.Resident(0x20, ListOf({test::AttributeListEntry(0x80, 0, 40), test::AttributeListEntry(0x80, 2, 41),
                              test::AttributeListEntry(0x80, 0, 40), test::AttributeListEntry(0x80, 2, 41)}));
  Put(Record(40), base.Build());
  test::FileRecordBuilder extension;
  extension.BaseRecord(40).OwnNumber(41).NonResident(0x80, {0x11, 0x01, 0x60}, 0, 2);
  Put(Record(41), extension.Build());

  const RunList runs = BuildFileRunList(sectors, parameters, mft, MftRecordSector(mft, 40));
  EXPECT_TRUE(runs.complete);
  EXPECT_EQ(runs.runs, (std::vector<DataRun>{{kFirst + 80 * 8, 16, false}, {kFirst + 96 * 8, 8, false}}));

  // Resident data has no runs; a sector that holds no record gives none.
  test::FileRecordBuilder small;
  small.Resident(0x80, Bytes(20, 7));
  Put(Record(42), small.Build());
  EXPECT_TRUE(BuildFileRunList(sectors, parameters, mft, MftRecordSector(mft, 42)).runs.empty());
  EXPECT_TRUE(BuildFileRunList(sectors, parameters, mft, 700).runs.empty());
  EXPECT_TRUE(BuildFileRunList(sectors, parameters, mft, 0).runs.empty());
}

// A named stream's runs come from its own extents and list entries only,
// never from the unnamed data's or another stream's.
TEST_F(NtfsMftTest, StreamRunsFollowOnlyTheirOwnExtents) {
  const BootParameters parameters = Parameters();
  const MftRunList mft = BuildMftRunList(sectors, parameters);
  test::FileRecordBuilder base;
  base.OwnNumber(43).NonResident(0x80, {0x11, 0x02, 0x50}, 3 * 4096);
  base.NonResident(0x80, {0x11, 0x01, 0x70}, 2 * 4096, 0, u"blob");
  base.Resident(0x20, ListOf({test::AttributeListEntry(0x80, 0, 43), test::AttributeListEntry(0x80, 2, 44),
                              test::AttributeListEntry(0x80, 0, 43, u"blob"),
                              test::AttributeListEntry(0x80, 1, 44, u"blob"),
                              test::AttributeListEntry(0x80, 1, 44, u"other")}));
  Put(Record(43), base.Build());
  test::FileRecordBuilder extension;
  extension.BaseRecord(43).OwnNumber(44);
  extension.NonResident(0x80, {0x11, 0x01, 0x60}, 0, 2);
  extension.NonResident(0x80, {0x11, 0x03, 0x30}, 0, 1, u"other");
  extension.NonResident(0x80, {0x11, 0x01, 0x78}, 0, 1, u"blob");
  Put(Record(44), extension.Build());

  struct Case {
    std::u16string stream;
    std::vector<DataRun> runs;
  };
  const std::vector<Case> cases = {
      {u"", {{kFirst + 0x50 * 8, 16, false}, {kFirst + 0x60 * 8, 8, false}}},
      {u"blob", {{kFirst + 0x70 * 8, 8, false}, {kFirst + 0x78 * 8, 8, false}}},
      {u"missing", {}},
  };
  for (const Case& c : cases) {
    const RunList runs = BuildFileRunList(sectors, parameters, mft, MftRecordSector(mft, 43), c.stream);
    EXPECT_EQ(runs.runs, c.runs) << Utf16ToUtf8(c.stream);
  }
}

TEST_F(NtfsMftTest, BootCopiesAndTheirFallbacks) {
  // An MFT record size of 16 sectors in both copies: refused.
  Put(kFirst, test::NtfsBootSectorBytes(16, 799, 2, 1, 1));
  Put(kFirst + 799, test::NtfsBootSectorBytes(16, 799, 2, 1, 1));
  BootParameters parameters;
  EXPECT_FALSE(ReadNtfsBootParameters(sectors, range, parameters));
  EXPECT_EQ(parameters, BootParameters{});

  // The first copy points at no MFT, the backup does: the backup is trusted.
  Put(kFirst, test::NtfsBootSectorBytes(4, 799, 50, 51));
  Put(kFirst + 799, test::NtfsBootSectorBytes(8, 799, 4, 2));
  ASSERT_TRUE(ReadNtfsBootParameters(sectors, range, parameters));
  EXPECT_EQ(parameters.sectorsPerCluster, 8u);
  EXPECT_EQ(parameters.mftFirstSector, kMftSector);

  // A backup in the range's end sector itself is found there too.
  Put(kFirst + 799, Bytes(512, 0));
  Put(kFirst + 800, test::NtfsBootSectorBytes(8, 800, 4, 2));
  ASSERT_TRUE(ReadNtfsBootParameters(sectors, range, parameters));
  EXPECT_EQ(parameters.mftFirstSector, kMftSector);

  // Neither MFT copy found anywhere: refused.
  Put(kFirst + 800, test::NtfsBootSectorBytes(8, 800, 60, 61));
  EXPECT_FALSE(ReadNtfsBootParameters(sectors, range, parameters));
}

}  // namespace
}  // namespace korv
