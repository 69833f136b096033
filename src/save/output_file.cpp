#include "save/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace korv {

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask
constexpr std::size_t kZeroBlockBytes = 64 * 1024;

}  // namespace

OutputFile::OutputFile(const std::filesystem::path& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kNewFileMode)) {}

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

bool OutputFile::WriteZeros(std::uint64_t count) {
  static const std::array<std::uint8_t, kZeroBlockBytes> zeros{};
  while (count > 0) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, zeros.size()));
    if (!Write(std::span(zeros).first(piece))) return false;
    count -= piece;
  }
  return true;
}

bool OutputFile::Close() {
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

}  // namespace korv
