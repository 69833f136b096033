// Helpers every test program shares: a private temporary folder, scripted
// answers to the engine's questions, a recording progress sink, and I/O that
// fails where a test says so.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system_kind.h"
#include "common/progress.h"
#include "common/prompts.h"
#include "platform/file.h"

namespace korv::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
// A buffer whose every byte depends on its position, so misplaced reads show.
std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed);

// Answers questions from a script and records what was asked. An exhausted
// bad-sector script answers Dismissed; yes/no questions answer `defaultYes`.
class ScriptedPrompts final : public Prompts {
 public:
  std::deque<BadSectorAnswer> badSectorAnswers;
  std::deque<bool> yesNoAnswers;
  bool defaultYes = false;

  std::vector<std::string> badSectorQuestions;
  std::vector<std::string> yesNoQuestions;
  std::vector<std::string> messages;

  BadSectorAnswer AskBadSector(std::string_view message) override;
  bool AskYesNo(std::string_view question) override;
  void ShowMessage(std::string_view message) override;
};

class RecordingProgress final : public ProgressSink {
 public:
  std::vector<std::pair<ProgressField, std::string>> texts;
  std::vector<int> percents;
  int pulses = 0;

  void SetText(ProgressField field, std::string_view text) override { texts.emplace_back(field, std::string(text)); }
  void SetPercent(int percent) override { percents.push_back(percent); }
  void Pulse() override { ++pulses; }
  // The last text shown in `field`, empty when none.
  std::string last(ProgressField field) const;
};

// Real files, but reads of chosen byte ranges fail, paths can be made to fail
// opening, and every open is counted.
class FaultyIo final : public IoProvider {
 public:
  // A read touching any byte of [offset, offset + length) of `path` fails,
  // returning what lay before the first bad byte.
  void FailBytes(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length);
  void FailOpen(const std::filesystem::path& path) { failingOpens_.insert(path.string()); }

  int opens = 0;
  std::vector<std::string> openedPaths;

  std::unique_ptr<ReadHandle> OpenRead(const std::filesystem::path& path) override;
  std::unique_ptr<WriteHandle> OpenDeviceWrite(const std::filesystem::path& path) override;
  bool Exists(const std::filesystem::path& path) override { return PathExists(path); }

  // Writes go to the real file; writes touching a failing range fail.
  std::vector<std::pair<std::uint64_t, std::size_t>> writes;
  int flushes = 0;

 private:
  friend class FaultyReadHandle;
  friend class FaultyWriteHandle;
  std::map<std::string, std::vector<std::pair<std::uint64_t, std::uint64_t>>> badRanges_;
  std::set<std::string> failingOpens_;
};

// Where the real test disks built by tests/fixtures/make-disks.sh live.
std::filesystem::path TestDisksDir();

// The file-system kind a manifest or test names ("NTFS", "FAT16", ...);
// throws for a name the program does not know.
FileSystemKind FileSystemNamed(std::string_view name);

}  // namespace korv::test

namespace korv {
// Failed expectations show the kind by its name.
void PrintTo(FileSystemKind kind, std::ostream* out);
}  // namespace korv

namespace korv::test {

struct CliRun {
  int status = -1;
  std::string out;  // standard output, when asked for
  std::string err;
};

// Runs korvane-cli with `args` (no shell), capturing its standard error, and
// its standard output unless `outFile` names a file for it.
CliRun RunCli(const std::vector<std::string>& args, const std::filesystem::path& scratchDir);

}  // namespace korv::test
