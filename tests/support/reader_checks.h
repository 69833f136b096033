// Checks every virtual disk reader must pass, and the tools to make real
// images for them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "storage/virtual_disk.h"
#include "support/test_support.h"
#include "vdisk/open_result.h"

namespace korv::test {

using Bytes = std::vector<std::uint8_t>;

// Holds what a reader's factory made of the last file opened through it:
// the reader born open (used through -> or as a Reader&), or the answer and
// reason of a refusal.
template <typename Reader>
class ReaderSlot {
 public:
  OpenResult Open(const std::filesystem::path& path) {
    OpenAttempt<Reader> attempt = Reader::Open(path);
    reader_ = std::move(attempt.reader);
    reason_ = std::move(attempt.reason);
    return attempt.result;
  }
  bool isOpen() const { return reader_ != nullptr; }
  // The check the last file failed; empty when it opened sound.
  const std::string& reason() const { return reason_; }

  Reader* operator->() const { return reader_.get(); }
  Reader& operator*() const { return *reader_; }
  operator Reader&() const { return *reader_; }  // NOLINT: passes as the reader it holds

 private:
  std::unique_ptr<Reader> reader_;
  std::string reason_;
};

// Runs a program with its arguments (no shell), its standard output
// discarded; true when it exits with 0.
bool RunProgram(std::vector<std::string> arguments);
// The program's standard output, or nothing when it did not exit with 0.
std::optional<std::string> ProgramOutput(std::vector<std::string> arguments);
// The SHA-256 of every regular file below `folder`, by path relative to it.
std::map<std::string, std::string> Sha256Below(const std::filesystem::path& folder);
bool HaveQemuImg();

// Converts `raw` (a raw disk file) into `image` with qemu-img:
// `qemu-img convert -f raw -O format [extra...] raw image`.
bool QemuConvert(const std::filesystem::path& raw, const std::filesystem::path& image, const std::string& format,
                 const std::vector<std::string>& extra = {});

// 13 MiB + 5 sectors of pattern data with holes: whole 2 MiB stretches of
// zeros (left unallocated by sparse formats), a partly zero stretch, and a
// size that is no multiple of a block or cluster.
Bytes SparsePatternDisk();

struct ReadResult {
  int result = 0;
  Bytes bytes;
};

// A run through ReadRun, and the same run as one ReadSector call per sector;
// both into buffers pre-filled with stale bytes.
ReadResult ReadRunOf(VirtualDisk& reader, std::uint64_t sector, std::uint32_t count);
ReadResult ReadOneByOne(VirtualDisk& reader, std::uint64_t sector, std::uint32_t count);
// The `length` bytes a look shows, put together by where each part says it
// starts (parts may come from two threads, in no order); nothing when `look`
// returns false. A part out of bounds, or a byte shown twice or never,
// fails the test.
std::optional<Bytes> CollectLook(std::size_t length, const std::function<bool(const ByteLook&)>& look);

// The bytes LookRun showed of the run (see CollectLook); nothing when it
// refused.
std::optional<Bytes> LookRunOf(VirtualDisk& reader, std::uint64_t sector, std::uint32_t count);

bool AllZero(const Bytes& bytes);
// bytes[offset, offset + length)
Bytes Slice(const Bytes& bytes, std::uint64_t offset, std::uint64_t length);
// ReadRun of the run gives the bytes and result of one ReadSector per sector.
void ExpectRunMatchesSectors(VirtualDisk& reader, std::uint64_t first, std::uint32_t count);

// The reader holds `raw` (padded with zeros to the reader's disk size): the
// whole disk reads as raw in one run; random runs, some past the end, give
// the same bytes and result through ReadRun as sector by sector, and a look
// at a run, where the reader allows one, shows what a successful read gives;
// and every
// stretch allocationAt calls unallocated holds only zeros. Returns the
// number of unallocated sectors found. Reports failures through gtest.
std::uint64_t ExpectReadsAsRaw(VirtualDisk& reader, Bytes raw, unsigned seed = 7);

// Tests that run qemu-img: skipped where it is missing, each with a private
// folder.
template <typename Param>
class QemuImageTest : public ::testing::TestWithParam<Param> {
 protected:
  void SetUp() override {
    if (!HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  }
  TempDir dir_;
};

// Tests that write disks made by a builder into a private folder.
class BuiltDiskTest : public ::testing::Test {
 protected:
  template <typename Builder>
  std::filesystem::path Write(const Builder& builder, const std::string& name) {
    const std::filesystem::path path = dir_ / name;
    builder.WriteTo(path);
    return path;
  }
  template <typename Builder>
  std::filesystem::path Write(const std::string& name, const Builder& builder) {
    return Write(builder, name);
  }
  TempDir dir_;
};

}  // namespace korv::test
