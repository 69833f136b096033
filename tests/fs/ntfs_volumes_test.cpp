// NTFS structures read from real volumes written by mkntfs and ntfs-3g
// (tests/fixtures/make-ntfs-volumes.sh), compared with what was written and
// with what the Sleuth Kit says of them (the manifest).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "fs/ntfs/attribute_list.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/index_record.h"
#include "fs/ntfs/mft_run_list.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/record_values.h"
#include "fs/ntfs/sector_reads.h"
#include "support/memory_disk.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

std::filesystem::path VolumesDir() { return test::TestDisksDir() / "ntfs-volumes"; }

Json Manifest() {
  std::ifstream in(VolumesDir() / "manifest.json");
  return Json::parse(in);
}

// Each volume file is read once per test program.
const Bytes& VolumeBytes(const std::string& file) {
  static std::map<std::string, Bytes> cache;
  auto found = cache.find(file);
  if (found == cache.end()) found = cache.emplace(file, test::ReadFileBytes(VolumesDir() / file)).first;
  return found->second;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

class NtfsVolume {
 public:
  explicit NtfsVolume(const Json& volume) : info(volume), disk(0) {
    disk.bytes = VolumeBytes(volume["file"].get<std::string>());
    source.kind = SourceKind::VirtualDisk;
    source.virtualDisk = &disk;
    range.firstSector = volume["firstSector"];
    range.endSector = range.firstSector + volume["sectorCount"].get<std::uint64_t>();
    range.fileSystem = FileSystemKind::Ntfs;
  }

  std::optional<Bytes> Record(std::uint32_t number) {
    const auto record = ReadFileRecord(sectors, mft, number);
    if (!record) return std::nullopt;
    return Bytes(record->begin(), record->end());
  }

  // The entry's bytes read through its run list (or its resident value).
  Bytes Data(const Bytes& record, std::uint32_t number, std::uint64_t size) {
    const auto data = ReadDataSize(ByteView(record));
    if (data && data->residency == DataResidency::Resident) {
      return Bytes(record.begin() + static_cast<std::ptrdiff_t>(data->valueOffset),
                   record.begin() + static_cast<std::ptrdiff_t>(data->valueOffset + size));
    }
    const RunList runs = BuildFileRunList(sectors, parameters, mft, MftRecordSector(mft, number));
    EXPECT_TRUE(runs.complete);
    Bytes bytes;
    for (const Run& run : runs.runs) {
      if (run.sparse) {
        bytes.resize(bytes.size() + run.sectorCount * 512, 0);
        continue;
      }
      const auto piece = ReadSectorBytes(sectors, run.firstSector, static_cast<std::uint32_t>(run.sectorCount));
      bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    bytes.resize(std::min<std::size_t>(bytes.size(), size));
    return bytes;
  }

  // The clusters istat lists for the entry's runs (0 for a sparse cluster).
  std::string Clusters(std::uint32_t number) {
    const RunList runs = BuildFileRunList(sectors, parameters, mft, MftRecordSector(mft, number));
    std::ostringstream out;
    for (const Run& run : runs.runs) {
      for (std::uint64_t c = 0; c < run.sectorCount / 8; ++c) {
        if (out.tellp() > 0) out << ' ';
        out << (run.sparse ? 0 : (run.firstSector - range.firstSector) / 8 + c);
      }
    }
    return out.str();
  }

  const Json& info;
  test::MemoryDisk disk;
  test::ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  BootParameters parameters;
  MftRunList mft;
};

bool MatchesSha256(const Bytes& bytes, const std::string& sha256) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "data", bytes);
  std::ofstream(dir / "sums") << sha256 << "  " << (dir / "data").string() << "\n";
  return test::RunProgram({"sha256sum", "--status", "-c", (dir / "sums").string()});
}

// The name of `number`, from its own record or, when its names moved into
// extension records, from the first one holding a name.
std::optional<FileNameValue> NameOf(NtfsVolume& volume, std::uint32_t number, const Bytes& record) {
  if (auto name = ReadPreferredFileName(ByteView(record))) return name;
  for (std::uint32_t other = number + 1; other < number + 16; ++other) {
    const auto extension = volume.Record(other);
    if (!extension || BaseRecordNumber(ByteView(*extension)) != number) continue;
    if (auto name = ReadPreferredFileName(ByteView(*extension))) return name;
  }
  return std::nullopt;
}

class NtfsVolumeFixture : public ::testing::Test {
 protected:
  // Volume `index` of the manifest, with its boot parameters and MFT runs.
  void Load(int index) {
    ASSERT_TRUE(std::filesystem::exists(VolumesDir() / "manifest.json")) << "run tests/fixtures/make-disks.sh";
    manifest = Manifest();
    volume = std::make_unique<NtfsVolume>(manifest["volumes"][index]);
    ASSERT_TRUE(ReadNtfsBootParameters(volume->sectors, volume->range, volume->parameters));
    volume->mft = BuildMftRunList(volume->sectors, volume->parameters);
  }
  const Json& info() const { return volume->info; }

  Json manifest;
  std::unique_ptr<NtfsVolume> volume;
};

class NtfsVolumesTest : public NtfsVolumeFixture, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override { Load(GetParam()); }

  // (name, parent) of every entry of record `number`, and of every name the
  // many-linked file has.
  std::set<std::pair<std::string, std::uint32_t>> LinksOf(std::uint32_t number) const {
    std::set<std::pair<std::string, std::uint32_t>> links;
    for (const Json& entry : info()["entries"]) {
      if (entry["record"] != number) continue;
      links.emplace(BaseName(entry["path"]), entry["parent"].get<std::uint32_t>());
      if (entry["path"] != "Links/linked.txt") continue;
      for (const std::string name : manifest["linkNames"]) links.emplace(name, entry["parent"].get<std::uint32_t>());
    }
    return links;
  }
};

TEST_P(NtfsVolumesTest, BootParametersAsFsstatSays) {
  const BootParameters& p = volume->parameters;
  const std::uint32_t first = info()["firstSector"];
  EXPECT_EQ(p.sectorsPerCluster, 8u);
  EXPECT_EQ(p.partitionFirstSector(), first);
  EXPECT_EQ(p.mftFirstSector, first + 8 * info()["mftCluster"].get<std::uint32_t>());
  EXPECT_EQ(p.mftMirrFirstSector, first + 8 * info()["mftMirrCluster"].get<std::uint32_t>());
  EXPECT_EQ(p.sectorsPerMftRecord, info()["recordBytes"].get<std::uint32_t>() / 512);
  EXPECT_EQ(p.sectorsPerIndexRecord, 8u);
  EXPECT_FALSE(volume->mft.empty());
  EXPECT_EQ(MftRecordSector(volume->mft, 0), p.mftFirstSector);
  EXPECT_EQ(MftRecordSector(volume->mft, 1u << 24), 0u);
}

TEST_P(NtfsVolumesTest, EntriesDecodeAsWrittenAndAsTheSleuthKitSays) {
  for (const Json& entry : info()["entries"]) {
    const std::string path = entry["path"];
    SCOPED_TRACE(path);
    const std::uint32_t number = entry["record"];
    const auto record = volume->Record(number);
    ASSERT_TRUE(record);
    const ByteView view(*record);
    EXPECT_EQ(IsRecordInUse(view), !entry["deleted"].get<bool>());
    EXPECT_EQ(IsDirectoryRecord(view), entry["kind"] == "folder");

    // A hard-linked record is named by any of its links.
    const auto name = NameOf(*volume, number, *record);
    ASSERT_TRUE(name);
    const auto links = LinksOf(number);
    EXPECT_TRUE(links.contains({Utf16ToUtf8(name->name), name->parentNumber}))
        << Utf16ToUtf8(name->name) << " in " << name->parentNumber;

    const auto times = ReadStandardTimes(view);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->creation, entry["created"].get<std::uint64_t>());
    EXPECT_EQ(times->modification, entry["modified"].get<std::uint64_t>());
    if (entry["kind"] == "folder") continue;

    const auto data = ReadDataSize(view);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size, entry["size"].get<std::uint64_t>());
    EXPECT_EQ(volume->Clusters(number), entry["clusters"].get<std::string>());
    EXPECT_TRUE(MatchesSha256(volume->Data(*record, number, data->size), entry["sha256"]));
  }
}

TEST_P(NtfsVolumesTest, BackupBootSectorStandsInForADamagedFirstOne) {
  const BootParameters good = volume->parameters;
  volume->disk.Sector(volume->range.firstSector)[0x0D] = 3;  // not a power of two
  BootParameters fromBackup;
  const bool backupAtLastSector = GetParam() == 0;  // the 4 KiB-sector volume keeps its backup elsewhere
  EXPECT_EQ(ReadNtfsBootParameters(volume->sectors, volume->range, fromBackup), backupAtLastSector);
  if (backupAtLastSector) {
    EXPECT_EQ(fromBackup, good);
  }
  // A range two sectors longer puts the backup where its total-sectors
  // field does not: refused.
  volume->range.endSector += 2;
  EXPECT_FALSE(ReadNtfsBootParameters(volume->sectors, volume->range, fromBackup));
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsVolumesTest, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "Records1k" : "Records4k"; });

class NtfsVolume1kTest : public NtfsVolumeFixture {
 protected:
  void SetUp() override { Load(0); }
};

const Json& EntryOf(const Json& volume, const std::string& path) {
  for (const Json& entry : volume["entries"]) {
    if (entry["path"] == path) return entry;
  }
  throw std::runtime_error("no manifest entry " + path);
}

TEST_F(NtfsVolume1kTest, HardLinksSpreadOverExtensionRecords) {
  const std::uint32_t number = EntryOf(info(), "Links/linked.txt")["record"];
  const auto record = volume->Record(number);
  ASSERT_TRUE(record);
  ListedRecords listed;
  listed.Add(number);
  // ntfs-3g writes attribute lists non-resident: only the reader given the
  // sectors finds the extension records.
  CollectListedRecords(ByteView(*record), listed);
  EXPECT_EQ(listed.count, 1);
  CollectListedRecords(volume->sectors, volume->parameters, ByteView(*record), listed);
  ASSERT_GT(listed.count, 1);
  std::set<std::string> names;
  for (std::uint16_t i = 0; i < listed.count; ++i) {
    const auto listedRecord = volume->Record(listed.numbers[i]);
    ASSERT_TRUE(listedRecord);
    AttributeWalk walk{ByteView(*listedRecord)};
    while (const auto attribute = walk.Next()) {
      if (attribute->type() != AttributeType::FileName) continue;
      const auto value = attribute->residentValue();
      ASSERT_TRUE(value);
      names.insert(Utf16ToUtf8(ReadUtf16(*value, 0x42, value->u8(0x40).value_or(0), false)));
    }
  }
  const auto expected = manifest["linkNames"].get<std::set<std::string>>();
  EXPECT_EQ(names, expected);
}

TEST_F(NtfsVolume1kTest, DirectoryIndexes) {
  const std::uint32_t many = EntryOf(info(), "Many")["record"];
  const auto record = volume->Record(many);
  ASSERT_TRUE(record);
  const std::uint32_t cluster = FirstIndexAllocationCluster(ByteView(*record));
  ASSERT_NE(cluster, 0u);
  const auto indx = ReadSectorBytes(volume->sectors, volume->range.firstSector + 8ull * cluster,
                                     volume->parameters.sectorsPerIndexRecord);
  EXPECT_EQ(ParseIndexRecord(ByteView(indx)), (IndexRecordInfo{0, many}));

  const std::uint32_t docs = EntryOf(info(), "Docs")["record"];
  const auto docsRecord = volume->Record(docs);
  ASSERT_TRUE(docsRecord);
  EXPECT_EQ(DirectoryNumberFromIndexRoot(ByteView(*docsRecord)), docs);
  EXPECT_EQ(FirstIndexAllocationCluster(ByteView(*docsRecord)), 0u);
}

TEST_F(NtfsVolume1kTest, SparseFileRunsFollowItsNonResidentAttributeList) {
  const Json& entry = EntryOf(info(), "sparse.bin");
  const std::uint32_t number = entry["record"];
  const auto record = volume->Record(number);
  ASSERT_TRUE(record);
  const auto list = FindAttribute(ByteView(*record), AttributeType::AttributeList);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->nonResident());
  const RunList runs =
      BuildFileRunList(volume->sectors, volume->parameters, volume->mft, MftRecordSector(volume->mft, number));
  EXPECT_EQ(runs.totalSectors(), entry["size"].get<std::uint64_t>() / 512);
  std::size_t sparse = 0;
  for (const korv::Run& run : runs.runs) sparse += run.sparse ? 1 : 0;
  EXPECT_EQ(sparse, 200u);
}

TEST_F(NtfsVolume1kTest, RecordsPastTheMftAreNeverRead) {
  const std::uint64_t records = volume->mft.list.totalSectors() / volume->parameters.sectorsPerMftRecord;
  EXPECT_NE(MftRecordSector(volume->mft, records - 1), 0u);
  EXPECT_EQ(MftRecordSector(volume->mft, records), 0u);
  const int readsBefore = volume->disk.reads;
  EXPECT_FALSE(volume->Record(static_cast<std::uint32_t>(records)));
  EXPECT_EQ(volume->disk.reads, readsBefore);
}

}  // namespace
}  // namespace korv
