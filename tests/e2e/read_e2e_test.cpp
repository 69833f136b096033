// korvane-cli read over every container format gives the raw disk's bytes.
#include "e2e/e2e_disks.h"

namespace korv::e2e {
namespace {

constexpr std::uint64_t kSector = 512;

// Sectors [first, first + count) of basic.raw.
std::vector<std::uint8_t> RawSectors(std::uint64_t first, std::uint64_t count) {
  std::ifstream in(test::TestDisksDir() / "basic.raw", std::ios::binary);
  in.seekg(static_cast<std::streamoff>(first * kSector));
  std::vector<std::uint8_t> bytes(count * kSector);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

class ReadEveryContainer : public ::testing::TestWithParam<Container>, protected CliTest {};

TEST_P(ReadEveryContainer, SectorRunsEqualTheRawDisk) {
  const Container container = GetParam();
  const std::uint64_t rawSectors = fs::file_size(test::TestDisksDir() / "basic.raw") / kSector;
  const std::uint64_t fatFirst = PartitionFirstSector(2);
  ASSERT_GT(fatFirst, 0u);
  // From the MBR through the NTFS boot sector and across the first 2 MiB
  // block boundary; a stretch of FAT data; the last sectors of the content.
  const std::vector<std::pair<std::uint64_t, std::uint64_t>> runs = {
      {0, 4200}, {fatFirst + 3001, 2500}, {rawSectors - 64, 64}};
  for (const auto& [first, count] : runs) {
    const fs::path out = Scratch("sectors.bin");
    const auto run = Cli({"read", DiskPath(container.file), "--first", std::to_string(first), "--count",
                          std::to_string(count), "--output", out.string()});
    ASSERT_EQ(run.status, 0) << container.file << " at " << first << ": " << run.err;
    EXPECT_TRUE(test::ReadFileBytes(out) == RawSectors(first, count))
        << container.file << " differs from basic.raw in sectors " << first << " to " << first + count;
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, ReadEveryContainer, ::testing::ValuesIn(Containers()),
                         [](const auto& info) { return ParamName(info.param.file); });

}  // namespace
}  // namespace korv::e2e
