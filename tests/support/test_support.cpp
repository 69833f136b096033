#include "support/test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace korv::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "korv-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void WriteFileBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::uint8_t> ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::error_code error;
  const auto size = fs::file_size(path, error);
  if (error) return {};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

BadSectorAnswer ScriptedPrompts::AskBadSector(std::string_view message) {
  badSectorQuestions.emplace_back(message);
  if (badSectorAnswers.empty()) return BadSectorAnswer::Dismissed;
  const auto answer = badSectorAnswers.front();
  badSectorAnswers.pop_front();
  return answer;
}

bool ScriptedPrompts::AskYesNo(std::string_view question) {
  yesNoQuestions.emplace_back(question);
  if (yesNoAnswers.empty()) return defaultYes;
  const bool answer = yesNoAnswers.front();
  yesNoAnswers.pop_front();
  return answer;
}

void ScriptedPrompts::ShowMessage(std::string_view message) { messages.emplace_back(message); }

std::string RecordingProgress::last(ProgressField field) const {
  for (auto it = texts.rbegin(); it != texts.rend(); ++it) {
    if (it->first == field) return it->second;
  }
  return {};
}

using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// First bad byte in [offset, offset + length), or offset + length when none.
static std::uint64_t FirstBadByte(const Ranges& bad, std::uint64_t offset, std::uint64_t length) {
  std::uint64_t first = offset + length;
  for (const auto& [start, size] : bad) {
    const std::uint64_t end = start + size;
    if (start < offset + length && end > offset) first = std::min(first, std::max(start, offset));
  }
  return first;
}

class FaultyReadHandle final : public ReadHandle {
 public:
  FaultyReadHandle(std::unique_ptr<ReadHandle> real, Ranges bad) : real_(std::move(real)), bad_(std::move(bad)) {}
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    const std::uint64_t firstBad = FirstBadByte(bad_, offset, out.size());
    const std::size_t good = static_cast<std::size_t>(firstBad - offset);
    const std::size_t got = real_->ReadAt(offset, out.first(good));
    if (good < out.size()) {
      // A failing device leaves garbage where it could not read.
      for (std::size_t i = got; i < out.size(); ++i) out[i] = 0xEE;
    }
    return got;
  }
  std::uint64_t Size() override { return real_->Size(); }

 private:
  std::unique_ptr<ReadHandle> real_;
  Ranges bad_;
};

class FaultyWriteHandle final : public WriteHandle {
 public:
  FaultyWriteHandle(FaultyIo& owner, int fd, Ranges bad) : owner_(owner), fd_(fd), bad_(std::move(bad)) {}
  ~FaultyWriteHandle() override { ::close(fd_); }
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
    owner_.writes.emplace_back(offset, data.size());
    if (FirstBadByte(bad_, offset, data.size()) != offset + data.size()) return false;
    return ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(data.size());
  }
  bool Flush() override {
    ++owner_.flushes;
    return ::fsync(fd_) == 0;
  }

 private:
  FaultyIo& owner_;
  int fd_;
  Ranges bad_;
};

void FaultyIo::FailBytes(const fs::path& path, std::uint64_t offset, std::uint64_t length) {
  badRanges_[path.string()].emplace_back(offset, length);
}

std::unique_ptr<ReadHandle> FaultyIo::OpenRead(const fs::path& path) {
  ++opens;
  openedPaths.push_back(path.string());
  if (failingOpens_.count(path.string())) return nullptr;
  auto real = File::OpenReadOnly(path);
  if (!real) return nullptr;
  const auto found = badRanges_.find(path.string());
  return std::make_unique<FaultyReadHandle>(std::move(real), found == badRanges_.end() ? Ranges{} : found->second);
}

std::unique_ptr<WriteHandle> FaultyIo::OpenDeviceWrite(const fs::path& path) {
  if (failingOpens_.count(path.string())) return nullptr;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  const auto found = badRanges_.find(path.string());
  return std::make_unique<FaultyWriteHandle>(*this, fd, found == badRanges_.end() ? Ranges{} : found->second);
}

fs::path TestDisksDir() {
  if (const char* env = std::getenv("KORV_TEST_DISKS")) return env;
  return KORV_TEST_DISKS_DEFAULT;
}

}  // namespace korv::test

namespace korv::test {

CliRun RunCli(const std::vector<std::string>& args, const fs::path& scratchDir) {
  const fs::path outFile = scratchDir / "cli-stdout.txt";
  const fs::path errFile = scratchDir / "cli-stderr.txt";
  std::vector<std::string> arguments = {KORV_CLI_PATH_DEFAULT};
  arguments.insert(arguments.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  CliRun run;
  const pid_t child = ::fork();
  if (child < 0) return run;
  if (child == 0) {
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) ::dup2(out, STDOUT_FILENO);
    if (err >= 0) ::dup2(err, STDERR_FILENO);
    // The program keeps its disk inventory in the user's state folder: give
    // it the scratch folder instead.
    ::setenv("XDG_STATE_HOME", scratchDir.c_str(), 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto text = [](const fs::path& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  };
  run.out = text(outFile);
  run.err = text(errFile);
  return run;
}

}  // namespace korv::test

namespace korv::test {

FileSystemKind FileSystemNamed(std::string_view name) {
  const auto kind = ParseFileSystemKind(name);
  if (!kind) throw std::invalid_argument("no file system is named " + std::string(name));
  return *kind;
}

}  // namespace korv::test

namespace korv {

void PrintTo(FileSystemKind kind, std::ostream* out) { *out << FileSystemName(kind); }

}  // namespace korv
