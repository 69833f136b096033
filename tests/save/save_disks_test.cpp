// Saving everything the deleted-data analysis finds on the fixture disks:
// the bytes against the hashes of what was written, the modification times
// against what the Sleuth Kit and mtools recorded.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <ctime>

#include "fs/ntfs/file_record.h"
#include "save_test_support.h"
#include "support/byte_writers.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::Json;

// A zone two hours off UTC in June, so a time taken for local when it is
// UTC (or the reverse) shows.
const bool kZoneSet = [] {
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  return true;
}();

// The saved file of a manifest path. Deleted 8.3 entries have lost their
// first letter on disk, so a deleted item may come back with "_" in its
// place.
std::optional<std::string> SavedPathOf(const std::map<std::string, std::string>& sums, const std::string& path,
                                       bool deleted) {
  if (sums.contains(path)) return path;
  if (!deleted) return std::nullopt;
  std::vector<std::string> parts;
  for (const auto& part : fs::path(path)) parts.push_back(part.string());
  for (unsigned mask = 1; mask < (1u << parts.size()); ++mask) {
    fs::path candidate;
    for (std::size_t i = 0; i < parts.size(); ++i) candidate /= (mask >> i & 1) ? "_" + parts[i].substr(1) : parts[i];
    if (sums.contains(candidate.string())) return candidate.string();
  }
  return std::nullopt;
}

struct Checked {
  int same = 0;
  std::vector<std::string> different;  // files saved with other bytes
  std::vector<std::string> missing;    // files not saved at all
};

// Every file entry of `entries` saved below `out`, compared with the
// manifest's hash.
Checked CheckSavedFiles(const Json& entries, const fs::path& out) {
  const auto sums = test::Sha256Below(out);
  Checked checked;
  for (const Json& entry : entries) {
    if (entry["kind"] != "file") continue;
    const std::string path = entry["path"];
    const auto saved = SavedPathOf(sums, path, entry["deleted"].get<bool>());
    if (!saved) {
      checked.missing.push_back(path);
    } else if (sums.at(*saved) == entry["sha256"].get<std::string>()) {
      ++checked.same;
    } else {
      checked.different.push_back(path);
    }
  }
  return checked;
}

class BasicDiskSaveTest : public ::testing::TestWithParam<int> {};

TEST_P(BasicDiskSaveTest, EverythingFoundOnTheDynamicVhdSavesAsWritten) {
  const int partition = GetParam();
  test::SavedVolume volume;
  ASSERT_TRUE(volume.AnalyseDisk(test::TestDisksDir() / "basic-dynamic.vhd", partition));
  SelectEverything(volume.session.store);
  const fs::path out = volume.dir / "out";
  EXPECT_EQ(volume.Save(out), SaveOutcome::Completed);
  EXPECT_EQ(volume.prompts.messages.back(), kMsgSavingCompleted);
  EXPECT_TRUE(volume.questions.replaceAsked.empty());
  EXPECT_TRUE(volume.questions.copyErrorAsked.empty());

  const Json manifest = test::ReadJson(test::TestDisksDir() / "manifest.json");
  const Json& entries = manifest["disks"][0]["partitions"][partition - 1]["entries"];
  const Checked checked = CheckSavedFiles(entries, out);
  // Nothing was written after the deletions, so no deleted file lost its data.
  EXPECT_TRUE(checked.different.empty()) << ::testing::PrintToString(checked.different);
  EXPECT_GT(checked.same, 10);
  // The FAT analysis reports no file without clusters (EMPTY.DAT).
  const std::vector<std::string> unreported =
      partition == 1 ? std::vector<std::string>{} : std::vector<std::string>{"EMPTY.DAT"};
  EXPECT_EQ(checked.missing, unreported);
}

INSTANTIATE_TEST_SUITE_P(Partitions, BasicDiskSaveTest, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "Ntfs" : "Fat32"; });

class NtfsVolumeSaveTest : public ::testing::TestWithParam<int> {};

// Resident and non-resident files, fragmented ones whose runs continue in
// extension records, sparse files, an empty file, deleted files and folders;
// compressed files (text, incompressible, mixed, with holes, deleted),
// which must come back decompressed; and alternate data streams (resident,
// non-resident, sparse, compressed, of a folder, of deleted files), each
// saved as a file "file:stream" with its file's time.
TEST_P(NtfsVolumeSaveTest, EveryFileSavesWithItsBytesAndItsUtcModificationTime) {
  const fs::path folder = test::TestDisksDir() / "ntfs-volumes";
  const Json manifest = test::ReadJson(folder / "manifest.json");
  const Json& volumeEntry = manifest["volumes"][GetParam()];
  test::SavedVolume volume;
  volume.LoadVolume(folder / volumeEntry["file"].get<std::string>(), volumeEntry["firstSector"],
                    volumeEntry["sectorCount"], "NTFS");
  ASSERT_TRUE(volume.AnalyseLoaded());
  SelectEverything(volume.session.store);
  const fs::path out = volume.dir / "out";
  EXPECT_EQ(volume.Save(out), SaveOutcome::Completed);

  // Every name of the many-linked file saves with its bytes.
  Json entries = volumeEntry["entries"];
  for (const Json& entry : volumeEntry["entries"]) {
    if (entry["path"] != "Links/linked.txt") continue;
    for (const std::string name : manifest["linkNames"]) {
      Json link = entry;
      link["path"] = "Links/" + name;
      entries.push_back(link);
    }
  }
  const Checked checked = CheckSavedFiles(entries, out);
  EXPECT_TRUE(checked.different.empty()) << ::testing::PrintToString(checked.different);
  EXPECT_TRUE(checked.missing.empty()) << ::testing::PrintToString(checked.missing);
  const auto sums = test::Sha256Below(out);
  for (const Json& entry : entries) {
    if (entry["kind"] != "file") continue;
    const std::uint64_t modified = entry["modified"];
    const auto savedPath = SavedPathOf(sums, entry["path"], false);
    ASSERT_TRUE(savedPath) << entry["path"];
    const timespec saved = test::ModificationTime(out / *savedPath);
    EXPECT_EQ(saved.tv_sec, static_cast<time_t>(modified / 10000000 - 11644473600ULL)) << entry["path"];
    EXPECT_EQ(saved.tv_nsec, static_cast<long>(modified % 10000000 * 100)) << entry["path"];
  }
}

std::string NtfsVolumeName(const ::testing::TestParamInfo<int>& info) {
  const std::array<const char*, 4> names = {"Records1k", "Records4k", "Compressed", "Streams"};
  return names.at(static_cast<std::size_t>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsVolumeSaveTest, ::testing::Values(0, 1, 2, 3), NtfsVolumeName);

// Records whose names were dropped save from "Lost" under their numbers.
TEST(NtfsNamelessSaveTest, RecordsWithoutNamesSaveTheirData) {
  const fs::path folder = test::TestDisksDir() / "ntfs-volumes";
  const Json manifest = test::ReadJson(folder / "manifest.json");
  const Json& volumeEntry = manifest["volumes"][0];
  test::SavedVolume volume;
  volume.LoadVolume(folder / volumeEntry["file"].get<std::string>(), volumeEntry["firstSector"],
                    volumeEntry["sectorCount"], "NTFS");
  const std::uint64_t recordBytes = volumeEntry["recordBytes"];
  const std::uint64_t mft = (volumeEntry["firstSector"].get<std::uint64_t>() +
                             8 * volumeEntry["mftCluster"].get<std::uint64_t>()) * 512;
  Json entries = Json::array();
  for (const Json& entry : volumeEntry["entries"]) {
    if (entry["path"] != "small.txt" && entry["path"] != "deleted-big.bin") continue;
    const std::uint32_t number = entry["record"];
    auto record = std::span(volume.disk->bytes).subspan(mft + number * recordBytes, recordBytes);
    AttributeWalk walk{ByteView(record.data(), record.size())};
    while (const auto attribute = walk.Next()) {
      if (attribute->type() == AttributeType::FileName) StoreU32LE(record, attribute->offsetInRecord(), 0x40);
    }
    Json lost = entry;
    lost["path"] = "Lost/Record " + std::to_string(number);
    entries.push_back(lost);
  }
  ASSERT_TRUE(volume.AnalyseLoaded());
  SelectEverything(volume.session.store);
  const fs::path out = volume.dir / "out";
  EXPECT_EQ(volume.Save(out), SaveOutcome::Completed);
  const Checked checked = CheckSavedFiles(entries, out);
  EXPECT_EQ(checked.same, 2) << ::testing::PrintToString(checked.missing) << ::testing::PrintToString(checked.different);
}

class FatVolumeSaveTest : public ::testing::TestWithParam<std::string> {};

// Deleted files, whose chains mdel cleared, come back from consecutive
// clusters.
TEST_P(FatVolumeSaveTest, EveryFileSavesWithItsBytesAndItsLocalWriteTime) {
  const fs::path folder = test::TestDisksDir() / "fat-volumes";
  const Json manifest = test::ReadJson(folder / "manifest.json");
  Json volumeEntry;
  for (const Json& v : manifest["volumes"]) {
    if (v["file"] == GetParam() + ".raw") volumeEntry = v;
  }
  ASSERT_FALSE(volumeEntry.is_null());
  test::SavedVolume volume;
  volume.LoadVolume(folder / volumeEntry["file"].get<std::string>(), volumeEntry["firstSector"],
                    volumeEntry["sectorCount"], volumeEntry["treeName"].get<std::string>());
  ASSERT_TRUE(volume.AnalyseLoaded());
  ASSERT_EQ(FileSystemName(volume.session.analysisParameters.fileSystem),
            volumeEntry["analysedName"].get<std::string>());
  SelectEverything(volume.session.store);
  const fs::path out = volume.dir / "out";
  EXPECT_EQ(volume.Save(out), SaveOutcome::Completed);

  const Checked checked = CheckSavedFiles(volumeEntry["entries"], out);
  EXPECT_TRUE(checked.different.empty()) << ::testing::PrintToString(checked.different);
  // frag.bin took over hole.bin's entry: nothing on the disk names it.
  EXPECT_EQ(checked.missing, std::vector<std::string>{"hole.bin"});

  // Written at 2021-06-15 13:45:30 local time; FAT keeps the minute here.
  std::tm utc{};
  utc.tm_year = 2021 - 1900;
  utc.tm_mon = 5;
  utc.tm_mday = 15;
  utc.tm_hour = 11;  // 13:45 in Berlin in summer
  utc.tm_min = 45;
  const time_t expected = ::timegm(&utc);
  EXPECT_EQ(test::ModificationTime(out / "README.TXT").tv_sec, expected);
  EXPECT_EQ(test::ModificationTime(out / "DOCS" / "Sub Folder" / "deeper" / "note.txt").tv_sec, expected);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatVolumeSaveTest, ::testing::Values("fat12", "fat16", "fat32"),
                         [](const auto& info) { return info.param; });

// Deleted files written around live files' clusters come back from their
// first cluster on, past the live clusters. The deleted files whose
// clusters later files took cannot; the one whose first cluster a live file
// holds is named as possibly overwritten.
TEST(FatScatteredSaveTest, DeletedFilesAroundLiveClustersSaveAsWritten) {
  const fs::path folder = test::TestDisksDir() / "fat-volumes";
  const Json manifest = test::ReadJson(folder / "manifest.json");
  Json volumeEntry;
  for (const Json& v : manifest["volumes"]) {
    if (v["file"] == "fat32-scattered.raw") volumeEntry = v;
  }
  ASSERT_FALSE(volumeEntry.is_null());
  test::SavedVolume volume;
  volume.LoadVolume(folder / volumeEntry["file"].get<std::string>(), volumeEntry["firstSector"],
                    volumeEntry["sectorCount"], "FAT32");
  ASSERT_TRUE(volume.AnalyseLoaded());
  SelectEverything(volume.session.store);
  const fs::path out = volume.dir / "out";
  EXPECT_EQ(volume.Save(out), SaveOutcome::Completed);

  const Checked checked = CheckSavedFiles(volumeEntry["entries"], out);
  EXPECT_EQ(checked.same, 7);
  EXPECT_EQ(checked.different,
            (std::vector<std::string>{"OLD/early.bin", "GAPS/gap1.bin", "GAPS/gap2.bin", "GAPS/gap3.bin"}));
  EXPECT_TRUE(checked.missing.empty()) << ::testing::PrintToString(checked.missing);
  EXPECT_EQ(PossiblyOverwrittenNote(volume.state),
            std::string(kMsgPossiblyOverwritten) + "\n" + (out / "OLD" / "_arly.bin").string());
}

}  // namespace
}  // namespace korv
