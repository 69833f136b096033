#include "support/reader_checks.h"

#include <cstdio>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <sstream>
#include <random>

#include "support/test_support.h"

namespace korv::test {

namespace {
constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::size_t kSector = 512;
}  // namespace

namespace {

// Runs the program with its standard output going to `outputFd` (or
// /dev/null when negative); true when it exited with status 0.
bool RunWithOutput(std::vector<std::string> arguments, int outputFd) {
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    const int target = outputFd >= 0 ? outputFd : ::open("/dev/null", O_WRONLY);
    if (target >= 0) ::dup2(target, STDOUT_FILENO);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool RunProgram(std::vector<std::string> arguments) { return RunWithOutput(std::move(arguments), -1); }

std::optional<std::string> ProgramOutput(std::vector<std::string> arguments) {
  std::FILE* captured = std::tmpfile();
  if (captured == nullptr) return std::nullopt;
  const bool ran = RunWithOutput(std::move(arguments), ::fileno(captured));
  std::string text;
  std::rewind(captured);
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, captured)) > 0;) text.append(chunk, got);
  std::fclose(captured);
  if (!ran) return std::nullopt;
  return text;
}

std::map<std::string, std::string> Sha256Below(const std::filesystem::path& folder) {
  std::vector<std::string> command{"sha256sum", "--"};
  std::vector<std::string> relative;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    command.push_back(entry.path().string());
    relative.push_back(entry.path().lexically_relative(folder).string());
  }
  std::map<std::string, std::string> sums;
  if (relative.empty()) return sums;
  const auto output = ProgramOutput(command);
  if (!output) return sums;
  std::istringstream lines(*output);
  std::size_t index = 0;
  for (std::string line; std::getline(lines, line) && index < relative.size(); ++index) {
    // A name with a backslash or a newline is escaped, its line led by "\\".
    if (line.starts_with('\\')) line.erase(0, 1);
    sums[relative[index]] = line.substr(0, line.find(' '));
  }
  return sums;
}

bool HaveQemuImg() { return RunProgram({"qemu-img", "--version"}); }

bool QemuConvert(const std::filesystem::path& raw, const std::filesystem::path& image, const std::string& format,
                 const std::vector<std::string>& extra) {
  std::vector<std::string> arguments = {"qemu-img", "convert", "-q", "-f", "raw", "-O", format};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  arguments.push_back(raw.string());
  arguments.push_back(image.string());
  return RunProgram(arguments);
}

Bytes SparsePatternDisk() {
  Bytes data = PatternBytes(13 * kMiB + 5 * kSector, 42);
  const auto zero = [&](std::uint64_t from, std::uint64_t length) {
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(from),
              data.begin() + static_cast<std::ptrdiff_t>(from + length), 0);
  };
  zero(4 * kMiB, 2 * kMiB);
  zero(8 * kMiB + 4096, 300 * 1024);
  zero(10 * kMiB, 2 * kMiB);
  return data;
}

ReadResult ReadRunOf(VirtualDisk& reader, std::uint64_t sector, std::uint32_t count) {
  ReadResult read{0, Bytes(std::size_t{count} * kSector, 0xAA)};
  read.result = reader.ReadRun(sector, count, read.bytes);
  return read;
}

ReadResult ReadOneByOne(VirtualDisk& reader, std::uint64_t sector, std::uint32_t count) {
  ReadResult read{0, Bytes(std::size_t{count} * kSector, 0xAA)};
  for (std::uint32_t i = 0; i < count; ++i) {
    read.result = reader.ReadSector(sector + i, std::span(read.bytes).subspan(std::size_t{i} * kSector, kSector));
  }
  return read;
}

bool AllZero(const Bytes& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

Bytes Slice(const Bytes& bytes, std::uint64_t offset, std::uint64_t length) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
               bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

std::optional<Bytes> CollectLook(std::size_t length, const std::function<bool(const ByteLook&)>& look) {
  // Room made beforehand: a look may not allocate. Parts are disjoint, so
  // the two threads never write one byte.
  std::vector<std::uint8_t> shown(length);
  std::vector<std::uint8_t> times(length);
  std::atomic<bool> outside{false};
  const bool looked = look([&](std::uint64_t at, std::span<const std::uint8_t> part) {
    if (at > length || part.size() > length - at) {
      outside.store(true);
      return;
    }
    std::copy(part.begin(), part.end(), shown.begin() + static_cast<std::ptrdiff_t>(at));
    for (std::size_t i = 0; i < part.size(); ++i) ++times[static_cast<std::size_t>(at) + i];
  });
  if (!looked) return std::nullopt;
  EXPECT_FALSE(outside.load()) << "a look showed a part outside its range";
  const auto once = std::ranges::all_of(times, [](std::uint8_t t) { return t == 1; });
  EXPECT_TRUE(once) << "a look showed some bytes twice or never";
  return shown;
}

std::optional<Bytes> LookRunOf(VirtualDisk& reader, std::uint64_t sector, std::uint32_t count) {
  return CollectLook(std::size_t{count} * kSector,
                     [&](const ByteLook& look) { return reader.LookRun(sector, count, look); });
}

void ExpectRunMatchesSectors(VirtualDisk& reader, std::uint64_t first, std::uint32_t count) {
  const ReadResult fast = ReadRunOf(reader, first, count);
  const ReadResult slow = ReadOneByOne(reader, first, count);
  EXPECT_EQ(fast.result, slow.result) << first << "+" << count;
  EXPECT_TRUE(fast.bytes == slow.bytes) << first << "+" << count;
}

std::uint64_t ExpectReadsAsRaw(VirtualDisk& reader, Bytes raw, unsigned seed) {
  const std::uint64_t diskBytes = reader.facts().diskSizeBytes;
  EXPECT_GE(diskBytes, raw.size());
  raw.resize(std::max<std::uint64_t>(diskBytes, raw.size()), 0);
  const std::uint64_t sectors = raw.size() / kSector;

  const ReadResult whole = ReadRunOf(reader, 0, static_cast<std::uint32_t>(sectors));
  EXPECT_EQ(whole.result, 1);
  EXPECT_TRUE(whole.bytes == raw) << "the whole disk differs from the raw data";

  std::mt19937 random(seed);
  for (int trial = 0; trial < 300; ++trial) {
    const std::uint64_t start = random() % (sectors + 50);
    const auto count = static_cast<std::uint32_t>(1 + random() % (trial % 4 == 0 ? 9000 : 64));
    const ReadResult fast = ReadRunOf(reader, start, count);
    const ReadResult slow = ReadOneByOne(reader, start, count);
    EXPECT_EQ(fast.result, slow.result) << start << "+" << count;
    EXPECT_TRUE(fast.bytes == slow.bytes) << start << "+" << count;
    if (fast.bytes != slow.bytes) return 0;
    if (const auto shown = LookRunOf(reader, start, count)) {
      EXPECT_EQ(fast.result, 1) << "looked at a run that does not read: " << start << "+" << count;
      EXPECT_TRUE(*shown == fast.bytes) << "look differs: " << start << "+" << count;
    }
    for (std::uint64_t i = 0; i < count && start + i < sectors; ++i) {
      const bool same = std::equal(raw.begin() + static_cast<std::ptrdiff_t>((start + i) * kSector),
                                   raw.begin() + static_cast<std::ptrdiff_t>((start + i + 1) * kSector),
                                   fast.bytes.begin() + static_cast<std::ptrdiff_t>(i * kSector));
      EXPECT_TRUE(same) << "sector " << start + i;
      if (!same) return 0;
    }
  }

  // Scans may skip what the image does not hold: only zeros may lie there.
  std::uint64_t holeSectors = 0;
  for (std::uint64_t sector = 0; sector < sectors;) {
    const AllocationRun run = reader.allocationAt(sector);
    EXPECT_GT(run.sectors, 0u) << "no allocation answer at " << sector;
    if (run.sectors == 0) break;
    if (!run.allocated) {
      holeSectors += run.sectors;
      const auto from = raw.begin() + static_cast<std::ptrdiff_t>(sector * kSector);
      const auto to = raw.begin() + static_cast<std::ptrdiff_t>(std::min(sector + run.sectors, sectors) * kSector);
      EXPECT_TRUE(std::all_of(from, to, [](std::uint8_t b) { return b == 0; })) << "hole at " << sector;
    }
    sector += run.sectors;
  }
  return holeSectors;
}

}  // namespace korv::test
