// Every command only ever reads its disk file: after probe, partitions,
// read, analyze and recover over every source file, each is as it was,
// bytes and times alike.
#include <sys/stat.h>

#include <sstream>

#include "e2e/e2e_disks.h"
#include "support/reader_checks.h"

namespace korv::e2e {
namespace {

struct FileState {
  std::string sha256;
  std::uint64_t size = 0;
  timespec modified{};
  timespec changed{};
  timespec accessed{};
};

bool operator==(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The files a disk is made of: a descriptor's extent files too.
std::vector<fs::path> FilesOf(const fs::path& disk) {
  std::vector<fs::path> files = {disk};
  const std::string stem = disk.stem().string();
  for (const char* suffix : {"-flat.vmdk", "-f001.vmdk", "-s001.vmdk"}) {
    const fs::path extent = disk.parent_path() / (stem + suffix);
    if (disk.extension() == ".vmdk" && fs::exists(extent)) files.push_back(extent);
  }
  return files;
}

// Hashes first, then the times: the hash's own read may set the access
// time, the commands' reads must not.
std::map<std::string, FileState> StatesOf(const std::vector<fs::path>& files) {
  std::vector<std::string> command = {"sha256sum", "--"};
  for (const fs::path& file : files) command.push_back(file.string());
  const auto output = test::ProgramOutput(command);
  std::map<std::string, FileState> states;
  if (!output) return states;
  std::istringstream lines(*output);
  for (const fs::path& file : files) {
    std::string line;
    std::getline(lines, line);
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) continue;
    states[file.string()] = {line.substr(0, line.find(' ')), static_cast<std::uint64_t>(info.st_size), info.st_mtim,
                             info.st_ctim, info.st_atim};
  }
  return states;
}

TEST(SourceFilesTest, NoCommandChangesADiskFileOrItsTimes) {
  const fs::path disks = test::TestDisksDir();
  std::vector<fs::path> images;
  for (const Container& container : Containers()) images.push_back(disks / container.file);
  for (const char* extension : {"vhd", "vhdx", "vdi", "qcow2", "qed", "hdd", "vmdk"}) {
    images.push_back(disks / "layouts" / (std::string("mbr.") + extension));
  }
  images.push_back(SamplePath());
  std::vector<fs::path> files;
  for (const fs::path& image : images) {
    for (const fs::path& file : FilesOf(image)) files.push_back(file);
  }
  const auto before = StatesOf(files);
  ASSERT_EQ(before.size(), files.size());

  test::TempDir scratch;
  const auto cli = [&](std::vector<std::string> args) {
    const auto run = test::RunCli(args, scratch.path());
    std::string shown;
    for (const auto& arg : args) shown += arg + " ";
    EXPECT_EQ(run.status, 0) << shown << run.err;
  };
  // Every image gets a recover (selection, source tree, analysis and the
  // save's reads) and one of the other commands in turn.
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::string image = images[i].string();
    const std::string partition = std::to_string(1 + i % 2);
    const std::string out = (scratch / ("out" + std::to_string(i))).string();
    cli({"recover", image, "--partition", partition, "--output", out});
    switch (i % 4) {
      case 0: cli({"probe", image}); break;
      case 1: cli({"partitions", image}); break;
      case 2: cli({"read", image, "--first", "0", "--count", "4096", "--output", out + ".bin"}); break;
      default: cli({"analyze", image, "--partition", partition, "--mode", "formatted"}); break;
    }
  }

  const auto after = StatesOf(files);
  for (const auto& [path, state] : before) {
    ASSERT_TRUE(after.contains(path)) << path;
    const FileState& now = after.at(path);
    EXPECT_EQ(now.sha256, state.sha256) << path;
    EXPECT_EQ(now.size, state.size) << path;
    EXPECT_TRUE(now.modified == state.modified) << path << ": modification time changed";
    EXPECT_TRUE(now.changed == state.changed) << path << ": status change time changed";
    EXPECT_TRUE(now.accessed == state.accessed) << path << ": access time changed";
  }
}

}  // namespace
}  // namespace korv::e2e
