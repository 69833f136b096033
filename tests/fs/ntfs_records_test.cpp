// NTFS structures decoded from hand-built bytes: run lists, fixups, the
// attribute walk and its guards, names, sizes, attribute lists, index
// records and boot sectors.
#include <gtest/gtest.h>

#include "fixtures/ntfs_builder.h"
#include "fs/ntfs/attribute_list.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/fixups.h"
#include "fs/ntfs/index_record.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/record_values.h"
#include "fs/ntfs/run_list.h"
#include "fs/ntfs/system_files.h"
#include "platform/bytes.h"
#include "support/byte_writers.h"

namespace korv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using DataRun = korv::Run;  // gtest's Test::Run hides the plain name

RunList Decode(const Bytes& pairs, std::uint64_t base = 2048, std::uint32_t perCluster = 8) {
  return DecodeRunList(ByteView(pairs), 0, pairs.size(), base, perCluster);
}

TEST(NtfsRunList, RelativeSignedOffsetsAndEnd) {
  const RunList list = Decode({0x21, 0x10, 0x00, 0x01, 0x11, 0x08, 0xF0, 0x00});
  const std::uint64_t first = 2048 + 256 * 8;
  EXPECT_TRUE(list.complete);
  EXPECT_EQ(list.runs, (std::vector<DataRun>{{first, 128, false}, {first - 16 * 8, 64, false}}));
}

TEST(NtfsRunList, SparseRunKeepsThePreviousRunAsOrigin) {
  // 4 clusters at 100, 2 sparse, 3 clusters at 100 + 10.
  const RunList list = Decode({0x11, 0x04, 0x64, 0x01, 0x02, 0x11, 0x03, 0x0A, 0x00}, 0, 1);
  EXPECT_EQ(list.runs, (std::vector<DataRun>{{100, 4, false}, {0, 2, true}, {110, 3, false}}));
  EXPECT_EQ(list.totalSectors(), 9u);
}

TEST(NtfsRunList, WideNegativeAndFourByteFields) {
  // 2-byte negative offset 0xFF00 = −256; 4-byte length with the top bit set
  // stays unsigned.
  const RunList list = Decode({0x21, 0x01, 0x00, 0x04, 0x24, 0x01, 0x00, 0x00, 0x80, 0x00, 0xFF, 0x00}, 0, 1);
  ASSERT_EQ(list.runs.size(), 2u);
  EXPECT_EQ(list.runs[0].firstSector, 0x400u);
  EXPECT_EQ(list.runs[1], (DataRun{0x300, 0x80000001u, false}));
}

TEST(NtfsRunList, DamagedPairsStopTheListIncomplete) {
  struct Case {
    const char* what;
    Bytes pairs;
    std::size_t runsKept;
  };
  const std::vector<Case> cases = {
      {"length field wider than 4 bytes", {0x11, 0x01, 0x10, 0x15, 1, 0, 0, 0, 0, 0x01}, 1},
      {"offset field wider than 4 bytes", {0x51, 0x01, 1, 0, 0, 0, 1}, 0},
      {"no length field", {0x10, 0x05}, 0},
      {"zero length", {0x11, 0x00, 0x05}, 0},
      {"field running past the end", {0x11, 0x01, 0x05, 0x22, 0x01}, 1},
      {"run before the volume's first cluster", {0x11, 0x01, 0x05, 0x11, 0x01, 0xF0}, 1},
  };
  for (const Case& c : cases) {
    const RunList list = Decode(c.pairs, 0, 1);
    EXPECT_FALSE(list.complete) << c.what;
    EXPECT_EQ(list.runs.size(), c.runsKept) << c.what;
  }
  // No header byte at all: an empty, complete list.
  EXPECT_TRUE(Decode({}).complete);
  EXPECT_TRUE(Decode({0x00, 0x11}).runs.empty());
}

TEST(NtfsRunList, RunCountIsBounded) {
  Bytes pairs;
  for (std::size_t i = 0; i < kMaxRuns + 10; ++i) pairs.insert(pairs.end(), {0x11, 0x01, 0x01});
  const RunList list = Decode(pairs, 0, 1);
  EXPECT_EQ(list.runs.size(), kMaxRuns);
  EXPECT_FALSE(list.complete);
  RunList more = list;
  EXPECT_FALSE(more.Append(Decode({0x11, 0x01, 0x01})));
  EXPECT_EQ(more.runs.size(), kMaxRuns);
}

TEST(NtfsFixups, EveryStrideOfAFourKilobyteRecordIsRestored) {
  test::FileRecordBuilder builder(4096);
  // Names long enough to cross several stride ends.
  for (int i = 0; i < 6; ++i) builder.FileName(5, std::u16string(200, static_cast<char16_t>(u'a' + i)), 0);
  Bytes record = builder.Build();
  const Bytes plain = builder.Plain();
  EXPECT_NE(record, plain);
  EXPECT_TRUE(ApplyFixups(record, record.size()));
  EXPECT_EQ(record, plain);
  const auto name = ReadFileName(ByteView(record), 0);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->name, std::u16string(200, u'a'));
}

TEST(NtfsFixups, OnlyStridesInsideTheLengthAndRecordAreTouched) {
  test::FileRecordBuilder builder(1024);
  Bytes record = builder.Build(0x0A0B);
  // Held bytes: only the first stride is inside.
  Bytes firstOnly = record;
  ApplyFixups(firstOnly, 512);
  EXPECT_EQ(firstOnly[510], builder.Plain(0x0A0B)[510]);
  EXPECT_EQ(firstOnly[1022], 0x0B);
  EXPECT_EQ(firstOnly[1023], 0x0A);
  // A mismatching tail is reported, and restored all the same.
  Bytes torn = record;
  torn[1022] = 0x77;
  EXPECT_FALSE(ApplyFixups(torn, torn.size()));
  EXPECT_EQ(torn, builder.Plain(0x0A0B));
}

TEST(NtfsFixups, ArraysThatDoNotFitChangeNothing) {
  const Bytes original = test::FileRecordBuilder(1024).Build();
  struct Case {
    std::uint16_t offset, count;
  };
  for (const Case c : {Case{0x3FE, 3}, Case{0x30, 0}, Case{0x30, 1}, Case{0xFFFF, 3}, Case{0x30, 0x300}}) {
    Bytes record = original;
    StoreU16LE(record, 4, c.offset);
    StoreU16LE(record, 6, c.count);
    const Bytes before = record;
    EXPECT_FALSE(ApplyFixups(record, record.size())) << c.offset << " " << c.count;
    EXPECT_EQ(record, before);
  }
  Bytes tiny = {'F', 'I', 'L'};
  EXPECT_FALSE(ApplyFixups(tiny, 100));
}

TEST(NtfsFileRecord, SizeRuleAndPlausibility) {
  Bytes record = test::FileRecordBuilder(1024).Build();
  EXPECT_TRUE(IsPlausibleFileRecord(ByteView(record)));
  for (const std::uint16_t allocated : {1000, 256, 0x4200, 0x8000}) {
    StoreU16LE(record, 0x1C, allocated);
    EXPECT_EQ(FileRecordBytes(ByteView(record)), 1024u) << allocated;
    EXPECT_FALSE(IsPlausibleFileRecord(ByteView(record))) << allocated;
  }
  StoreU16LE(record, 0x1C, 4096);
  EXPECT_EQ(FileRecordBytes(ByteView(record)), 4096u);
  StoreU16LE(record, 0x1C, 1024);
  record[1022] ^= 1;  // update sequence numbers of the first two sectors differ
  EXPECT_FALSE(IsPlausibleFileRecord(ByteView(record)));
  record[0] = 'B';
  record[1022] ^= 1;
  EXPECT_FALSE(IsPlausibleFileRecord(ByteView(record)));
}

TEST(NtfsFileRecord, StatesAndOwnNumbers) {
  const Bytes directory = test::FileRecordBuilder().State(3).OwnNumber(77).BaseRecord(0).Build();
  EXPECT_TRUE(IsDirectoryRecord(ByteView(directory)));
  EXPECT_TRUE(IsRecordInUse(ByteView(directory)));
  EXPECT_EQ(OwnRecordNumber(ByteView(directory)), 77u);
  const Bytes deleted = test::FileRecordBuilder().State(0).BaseRecord(12).Build();
  EXPECT_FALSE(IsRecordInUse(ByteView(deleted)));
  EXPECT_EQ(BaseRecordNumber(ByteView(deleted)), 12u);
}

TEST(NtfsAttributeWalk, DamagedLengthsEndTheWalk) {
  test::FileRecordBuilder builder;
  builder.StandardInformation(1, 2, 3);
  const std::size_t name = builder.FileName(5, u"a.txt", 1);
  Bytes record = builder.Plain();
  ASSERT_TRUE(ReadFileName(ByteView(record), 1));
  for (const std::uint32_t length : {0u, 0x10u, 0x17u, 0x10000u, 0xFFFFFFF8u}) {
    Bytes damaged = record;
    StoreU32LE(damaged, name + 4, length);
    EXPECT_FALSE(ReadFileName(ByteView(damaged), 1)) << length;
    EXPECT_TRUE(ReadStandardTimes(ByteView(damaged))) << length;  // before the damage
  }
  // A first attribute offset past the record, and a record cut short.
  Bytes offsetPast = record;
  StoreU16LE(offsetPast, 0x14, 0x4000);
  EXPECT_FALSE(ReadStandardTimes(ByteView(offsetPast)));
  EXPECT_FALSE(ReadFileName(ByteView(record).sub(0, name + 0x30), 1));
}

TEST(NtfsAttributeWalk, WalkStopsAtTheRecordSizeRule) {
  // Bytes held beyond the declared 1,024 are never walked.
  test::FileRecordBuilder builder(2048);
  for (int i = 0; i < 3; ++i) builder.FileName(5, std::u16string(200, u'x'), 1);
  const std::size_t late = builder.FileName(5, u"late", 0);
  ASSERT_GT(late, 1024u);
  Bytes record = builder.Plain();
  EXPECT_TRUE(ReadFileName(ByteView(record), 0));
  StoreU16LE(record, 0x1C, 1000);  // not believable: 1,024
  EXPECT_FALSE(ReadFileName(ByteView(record), 0));
}

TEST(NtfsRecordValues, TimesNeedTheWholeValue) {
  test::FileRecordBuilder builder;
  const std::size_t at = builder.StandardInformation(111, 222, 333);
  Bytes record = builder.Plain();
  EXPECT_EQ(ReadStandardTimes(ByteView(record)), (StandardTimes{111, 222, 333}));
  StoreU32LE(record, at + 0x10, 0x1F);  // value length short of the access time
  EXPECT_FALSE(ReadStandardTimes(ByteView(record)));
  StoreU32LE(record, at + 0x10, 0x48);
  StoreU16LE(record, at + 0x14, 0x60);  // value runs past the attribute
  EXPECT_FALSE(ReadStandardTimes(ByteView(record)));
}

TEST(NtfsRecordValues, NameSpaceOrderAndPassedOverNames) {
  test::FileRecordBuilder builder;
  builder.FileName(40, u"LONGFI~1.TXT", FileNameSpace::Dos);
  builder.Resident(0x30, test::FileNameValue(41, u"named.txt", 0), u"x");  // carries an attribute name
  builder.FileName(42, u"Long file.txt", FileNameSpace::Win32);
  const Bytes record = builder.Plain();
  const auto best = ReadPreferredFileName(ByteView(record));
  ASSERT_TRUE(best);
  EXPECT_EQ(best->name, u"Long file.txt");
  EXPECT_EQ(best->parentNumber, 42u);
  EXPECT_FALSE(ReadFileName(ByteView(record), FileNameSpace::Posix));

  test::FileRecordBuilder dosOnly;
  dosOnly.FileName(0x12345678, u"ONLY.DOS", FileNameSpace::Dos);
  const auto dos = ReadPreferredFileName(ByteView(dosOnly.Plain()));
  ASSERT_TRUE(dos);
  EXPECT_EQ(dos->name, u"ONLY.DOS");
  EXPECT_EQ(dos->parentNumber, 0x12345678u);
}

// Hard links: every name outside the DOS namespace, in attribute order; a
// DOS short name, a named attribute and an unknown namespace are no links.
TEST(NtfsRecordValues, LinkNamesLeaveOutShortNames) {
  test::FileRecordBuilder builder;
  builder.FileName(40, u"LONGFI~1.TXT", FileNameSpace::Dos);
  builder.FileName(40, u"Long file.txt", FileNameSpace::Win32);
  builder.Resident(0x30, test::FileNameValue(41, u"named.txt", 0), u"x");
  builder.FileName(41, u"both.txt", FileNameSpace::Win32AndDos);
  builder.FileName(42, u"odd.txt", 7);
  builder.FileName(43, u"posix-link", FileNameSpace::Posix);
  std::vector<std::pair<std::uint32_t, std::u16string>> links;
  for (const FileNameValue& name : ReadLinkNames(ByteView(builder.Plain()))) {
    links.emplace_back(name.parentNumber, name.name);
  }
  const std::vector<std::pair<std::uint32_t, std::u16string>> expected = {
      {40, u"Long file.txt"}, {41, u"both.txt"}, {43, u"posix-link"}};
  EXPECT_EQ(links, expected);

  test::FileRecordBuilder dosOnly;
  dosOnly.FileName(5, u"ONLY.DOS", FileNameSpace::Dos);
  EXPECT_TRUE(ReadLinkNames(ByteView(dosOnly.Plain())).empty());
}

TEST(NtfsRecordValues, NameLongerThanItsValueIsPassedOver) {
  test::FileRecordBuilder builder;
  Bytes value = test::FileNameValue(5, u"abc", 1);
  value[0x40] = 40;  // 40 characters claimed, 3 held
  builder.Resident(0x30, value);
  builder.FileName(6, u"good", 3);
  const auto name = ReadPreferredFileName(ByteView(builder.Plain()));
  ASSERT_TRUE(name);
  EXPECT_EQ(name->name, u"good");
}

TEST(NtfsRecordValues, DataSizeOfTheUnnamedStream) {
  test::FileRecordBuilder resident;
  resident.Resident(0x80, Bytes(10, 1), u"stream");
  const std::size_t at = resident.Resident(0x80, Bytes(33, 2));
  const Bytes record = resident.Plain();
  const auto data = ReadDataSize(ByteView(record));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size, 33u);
  EXPECT_EQ(data->residency, DataResidency::Resident);
  EXPECT_EQ(data->attributeOffset, at);
  EXPECT_EQ(record[data->valueOffset], 2);

  test::FileRecordBuilder nonResident;
  nonResident.NonResident(0x80, {0x11, 0x01, 0x10}, 0x123456789ULL);
  const auto large = ReadDataSize(ByteView(nonResident.Plain()));
  ASSERT_TRUE(large);
  EXPECT_EQ(large->size, 0x123456789ULL);
  EXPECT_EQ(large->residency, DataResidency::NonResident);

  test::FileRecordBuilder onlyNamed;
  onlyNamed.Resident(0x80, Bytes(4, 0), u"ads");
  EXPECT_FALSE(ReadDataSize(ByteView(onlyNamed.Plain())));
}

// Named streams start in a record as a resident value or a non-resident
// attribute from VCN 0; a later extent, a repeated name, the unnamed data
// and a name that runs past its attribute make no stream of their own.
TEST(NtfsRecordValues, NamedStreamsAndTheirSizes) {
  test::FileRecordBuilder builder(4096);
  builder.Resident(0x80, Bytes(33, 2));
  const std::size_t meta = builder.Resident(0x80, Bytes(10, 1), u"meta");
  builder.NonResident(0x80, {0x11, 0x01, 0x10}, 300000, 0, u"payload");
  builder.NonResident(0x80, {0x11, 0x01, 0x20}, 0, 5, u"extent");
  builder.Resident(0x80, Bytes(7, 3), u"meta");
  const std::size_t broken = builder.Resident(0x80, Bytes(4, 4), u"broken");
  builder.Resident(0x30, test::FileNameValue(5, u"file.txt", 1));
  Bytes record = builder.Plain();
  StoreU16LE(record, broken + 0x0A, 0x3F0);  // the name now lies past its attribute

  const std::vector<NamedStream> expected = {{u"meta", 10}, {u"payload", 300000}};
  EXPECT_EQ(ReadNamedStreams(ByteView(record)), expected);

  struct Case {
    std::u16string stream;
    std::optional<std::uint64_t> size;
    DataResidency residency;
  };
  const std::vector<Case> cases = {{u"", 33, DataResidency::Resident},
                                   {u"meta", 10, DataResidency::Resident},
                                   {u"payload", 300000, DataResidency::NonResident},
                                   {u"extent", std::nullopt, DataResidency::NonResident},
                                   {u"missing", std::nullopt, DataResidency::Resident}};
  for (const Case& c : cases) {
    const auto data = ReadDataSize(ByteView(record), c.stream);
    ASSERT_EQ(data.has_value(), c.size.has_value()) << Utf16ToUtf8(c.stream);
    if (!data) continue;
    EXPECT_EQ(data->size, *c.size) << Utf16ToUtf8(c.stream);
    EXPECT_EQ(data->residency, c.residency) << Utf16ToUtf8(c.stream);
  }
  EXPECT_EQ(ReadDataSize(ByteView(record), u"meta")->attributeOffset, meta);
}

TEST(NtfsAttributeList, EntriesCarryTheirAttributeNames) {
  Bytes list = test::AttributeListEntry(0x80, 0, 5);
  for (const Bytes& entry : {test::AttributeListEntry(0x80, 0, 9, u"Zone.Identifier"),
                             test::AttributeListEntry(0x80, 3, 9, u"a")}) {
    list.insert(list.end(), entry.begin(), entry.end());
  }
  Bytes pastEntry = test::AttributeListEntry(0x80, 0, 9, u"cut");
  pastEntry[0x06] = 40;  // more characters than the entry holds
  list.insert(list.end(), pastEntry.begin(), pastEntry.end());
  const std::vector<AttributeListEntry> entries = ParseAttributeList(ByteView(list));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, u"");
  EXPECT_EQ(entries[1].name, u"Zone.Identifier");
  EXPECT_EQ(entries[1].recordNumber, 9u);
  EXPECT_EQ(entries[2].name, u"a");
  EXPECT_EQ(entries[2].startingVcn, 3u);
  EXPECT_EQ(entries[3].nameLength, 40);
  EXPECT_EQ(entries[3].name, u"");
}

TEST(NtfsAttributeList, ListedRecordsStayWithinTheValueAndFifty) {
  Bytes list;
  for (std::uint32_t i = 0; i < 60; ++i) {
    const Bytes entry = test::AttributeListEntry(0x80, i, 100 + i);
    list.insert(list.end(), entry.begin(), entry.end());
  }
  test::FileRecordBuilder builder(4096);
  builder.Resident(0x20, list);
  ListedRecords listed;
  listed.Add(7);
  listed.Add(7);  // the current record, once
  CollectListedRecords(ByteView(builder.Plain()), listed);
  EXPECT_EQ(listed.count, ListedRecords::kCapacity);
  EXPECT_EQ(listed.numbers[0], 7u);
  EXPECT_EQ(listed.numbers[49], 148u);

  // Only the value's own length counts: entries written after it are not
  // read, even though the attribute's bytes hold them.
  test::FileRecordBuilder cut;
  const std::size_t at = cut.Resident(0x20, Bytes(list.begin(), list.begin() + 3 * 0x20));
  Bytes record = cut.Plain();
  StoreU32LE(record, at + 0x10, 2 * 0x20);
  ListedRecords two;
  CollectListedRecords(ByteView(record), two);
  EXPECT_EQ(two.count, 2);
}

TEST(NtfsAttributeList, EntriesEndOnDamage) {
  Bytes list = test::AttributeListEntry(0x10, 0, 5);
  const Bytes second = test::AttributeListEntry(0x80, 0, 9);
  list.insert(list.end(), second.begin(), second.end());
  EXPECT_EQ(ParseAttributeList(ByteView(list)).size(), 2u);
  Bytes shortEntry = list;
  StoreU16LE(shortEntry, 0x24, 0x10);
  EXPECT_EQ(ParseAttributeList(ByteView(shortEntry)).size(), 1u);
  Bytes pastEnd = list;
  StoreU16LE(pastEnd, 0x24, 0x40);
  EXPECT_EQ(ParseAttributeList(ByteView(pastEnd)).size(), 1u);
  Bytes ended = list;
  StoreU32LE(ended, 0x20, 0xFFFFFFFF);
  EXPECT_EQ(ParseAttributeList(ByteView(ended)).size(), 1u);
}

Bytes IndexRecord(std::uint32_t vcn, std::uint32_t firstEntry, std::uint32_t allocated, std::uint32_t parent) {
  Bytes record(4096, 0);
  StoreAscii(record, 0, "INDX");
  StoreU32LE(record, 0x10, vcn);
  StoreU32LE(record, 0x18, firstEntry);
  StoreU32LE(record, 0x20, allocated);
  StoreU32LE(record, 0x18 + firstEntry + 0x10, parent);
  return record;
}

TEST(NtfsIndexRecord, VcnAndDirectoryOfTheFirstEntry) {
  EXPECT_EQ(ParseIndexRecord(ByteView(IndexRecord(3, 0x28, 0xFE8, 64))), (IndexRecordInfo{3, 64}));
  EXPECT_FALSE(ParseIndexRecord(ByteView(IndexRecord(0, 0x28, 0xFE8, 3))));  // a metafile's number
  EXPECT_FALSE(ParseIndexRecord(ByteView(IndexRecord(0, 0x28, 0xFE8, 0xFFFFFFFF))));
  EXPECT_FALSE(ParseIndexRecord(ByteView(IndexRecord(0, 0x28, 0x10000, 64))));  // allocated + 24 too big
  EXPECT_FALSE(ParseIndexRecord(ByteView(IndexRecord(0, 0x100, 0xF0, 64))));   // entry past allocated
  EXPECT_FALSE(ParseIndexRecord(ByteView(IndexRecord(0, 0x1E0, 0xFE8, 64))));  // reference past 512 bytes
  Bytes wrong = IndexRecord(0, 0x28, 0xFE8, 64);
  wrong[0] = 'J';
  EXPECT_FALSE(ParseIndexRecord(ByteView(wrong)));
}

// An $INDEX_ROOT value with one entry whose key is a $FILE_NAME of `parent`.
Bytes IndexRootValue(std::uint32_t parent, const std::u16string& name, bool onlyEndEntry) {
  Bytes value(0x20, 0);
  StoreU32LE(value, 0x00, 0x30);
  StoreU32LE(value, 0x10, 0x10);  // entries start 16 bytes into the index header
  if (onlyEndEntry) {
    Bytes end(0x10, 0);
    StoreU16LE(end, 0x08, 0x10);
    StoreU16LE(end, 0x0C, 0x02);
    value.insert(value.end(), end.begin(), end.end());
    return value;
  }
  const Bytes key = test::FileNameValue(parent, name, 1);
  Bytes entry(0x10, 0);
  StoreU16LE(entry, 0x08, static_cast<std::uint16_t>(0x10 + key.size()));
  StoreU16LE(entry, 0x0A, static_cast<std::uint16_t>(key.size()));
  entry.insert(entry.end(), key.begin(), key.end());
  value.insert(value.end(), entry.begin(), entry.end());
  return value;
}

TEST(NtfsIndexRoot, DirectoryNumberFromTheFirstChild) {
  test::FileRecordBuilder builder;
  builder.Resident(0x90, IndexRootValue(0x1234, u"child.txt", false), u"$I30");
  EXPECT_EQ(DirectoryNumberFromIndexRoot(ByteView(builder.Plain())), 0x1234u);

  test::FileRecordBuilder empty;
  empty.Resident(0x90, IndexRootValue(0, u"", true), u"$I30");
  EXPECT_EQ(DirectoryNumberFromIndexRoot(ByteView(empty.Plain())), 0u);

  test::FileRecordBuilder otherName;
  otherName.Resident(0x90, IndexRootValue(0x1234, u"child.txt", false), u"$SII");
  EXPECT_EQ(DirectoryNumberFromIndexRoot(ByteView(otherName.Plain())), 0u);

  test::FileRecordBuilder noParent;
  noParent.Resident(0x90, IndexRootValue(0xFFFFFFFF, u"child.txt", false), u"$I30");
  EXPECT_EQ(DirectoryNumberFromIndexRoot(ByteView(noParent.Plain())), 0u);

  test::FileRecordBuilder cut;
  const std::size_t at = cut.Resident(0x90, IndexRootValue(0x1234, u"child.txt", false), u"$I30");
  Bytes record = cut.Plain();
  StoreU32LE(record, at + 0x10, 0x40);  // value ends inside the key
  EXPECT_EQ(DirectoryNumberFromIndexRoot(ByteView(record)), 0u);
}

TEST(NtfsIndexAllocation, FirstClusterOfTheI30Index) {
  test::FileRecordBuilder builder;
  builder.NonResident(0xA0, {0x11, 0x01, 0x05}, 4096, 0, u"$SDH");
  builder.NonResident(0xA0, {0x31, 0x02, 0x34, 0x12, 0x01, 0x11, 0x01, 0x02}, 8192, 0, u"$I30");
  EXPECT_EQ(FirstIndexAllocationCluster(ByteView(builder.Plain())), 0x11234u);

  test::FileRecordBuilder none;
  none.NonResident(0xA0, {}, 0, 0, u"$I30");
  EXPECT_EQ(FirstIndexAllocationCluster(ByteView(none.Plain())), 0u);
  EXPECT_EQ(FirstIndexAllocationCluster(ByteView(test::FileRecordBuilder().Plain())), 0u);
}

TEST(NtfsBootSector, RecordSizesAndRefusals) {
  auto decode = [](const Bytes& sector) { return DecodeNtfsBootSector(ByteView(sector)); };
  const auto boot = decode(test::NtfsBootSectorBytes(8, 1000, 4, 60));
  ASSERT_TRUE(boot);
  EXPECT_EQ(boot->sectorsPerMftRecord, 2u);
  EXPECT_EQ(boot->sectorsPerIndexRecord, 8u);
  EXPECT_EQ(decode(test::NtfsBootSectorBytes(4, 1000, 4, 60, 1, 1))->sectorsPerMftRecord, 4u);
  EXPECT_EQ(decode(test::NtfsBootSectorBytes(1, 1000, 4, 60, 0xF4))->sectorsPerMftRecord, 8u);
  EXPECT_FALSE(decode(test::NtfsBootSectorBytes(16, 1000, 4, 60, 1)));  // 16 sectors per record
  EXPECT_FALSE(decode(test::NtfsBootSectorBytes(3, 1000, 4, 60)));
  EXPECT_FALSE(decode(test::NtfsBootSectorBytes(0, 1000, 4, 60)));
  Bytes wrongSectorSize = test::NtfsBootSectorBytes(8, 1000, 4, 60);
  StoreU16LE(wrongSectorSize, 0x0B, 4096);
  EXPECT_FALSE(decode(wrongSectorSize));
  Bytes unsigned_ = test::NtfsBootSectorBytes(8, 1000, 4, 60);
  unsigned_[0x1FF] = 0;
  EXPECT_FALSE(decode(unsigned_));
}

TEST(NtfsSystemFiles, NumbersByExactName) {
  EXPECT_EQ(SystemFileNumber(u"$MFT"), 1u);
  EXPECT_EQ(SystemFileNumber(u"$MFTMirr"), 1u);
  EXPECT_EQ(SystemFileNumber(u"$UpCase"), 10u);
  EXPECT_EQ(SystemFileNumber(u"$Bitmap"), 6u);
  EXPECT_EQ(SystemFileNumber(u"$mft"), 0u);
  EXPECT_EQ(SystemFileNumber(u"$Extend"), 0u);
}

}  // namespace
}  // namespace korv
