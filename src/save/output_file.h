// A saved file being written: created or truncated, never through a link,
// and every write whole or failed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace korv {

class OutputFile {
 public:
  // Creates (or truncates) the file at `path`. A symbolic link at `path` is
  // not followed: opening fails instead.
  explicit OutputFile(const std::filesystem::path& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool isOpen() const { return fd_ >= 0; }

  // Appends all of `bytes`; false when any of them could not be written (a
  // full disk, an I/O error, a file-size limit of the destination).
  bool Write(std::span<const std::uint8_t> bytes);
  // Appends `count` zero bytes.
  bool WriteZeros(std::uint64_t count);
  // Closes the file; false when the close reported an error of a write
  // before it.
  bool Close();

 private:
  int fd_ = -1;
};

}  // namespace korv
