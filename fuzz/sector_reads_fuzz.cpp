// Reads of a device, a disk image folder (whole or split) and a raw image
// file through ReadSectors, while reads fail where the input says and the
// bad-sector question is answered as the input says. The files, their
// sizes, the sector size file of an image folder, the failing byte ranges,
// the answers, the selected range and the reads all come from the input.
//
// Every byte a read hands back must be the byte the files hold at that
// place of the disk, or a zero: never a stale byte, never the garbage a
// failing device leaves, never a byte from elsewhere. With no failing
// range, every read must return exactly what the files hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <span>
#include <vector>

#include "fuzz_support.h"
#include "platform/read_buffer.h"
#include "storage/disk_image.h"
#include "storage/sector_source.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

enum class Layout { Device, ImageFolder, RawImage };

constexpr std::uint8_t kStale = 0xA5;
constexpr std::size_t kMaxPieces = 4;
// Pieces span 16 KiB, so that a few sectors already make a split image.
constexpr std::uint64_t kPieceSpanBytes = 16 * 1024;
constexpr std::size_t kMaxFileBytes = 2 * kPieceSpanBytes;
constexpr std::size_t kMaxDeviceBytes = 128 * 1024;
constexpr int kMaxReads = 48;
// Device runs longer than a chunk, to reach the chunking and its tail.
constexpr std::uint32_t kMaxDeviceRunSectors = 100;

// Answers the bad-sector question from the input, then with "Skip All".
class InputAnswers final : public korv::Prompts {
 public:
  std::deque<korv::BadSectorAnswer> answers;
  korv::BadSectorAnswer AskBadSector(std::string_view) override {
    if (answers.empty()) return korv::BadSectorAnswer::SkipAll;
    const auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool AskYesNo(std::string_view) override { return false; }
  void ShowMessage(std::string_view) override {}
};

// File bytes: the input's first, then a pattern, so that big files cost
// little input and no two places hold the same run of bytes.
std::vector<std::uint8_t> FileBytes(FuzzedDataProvider& input, std::size_t maxBytes, std::uint8_t salt) {
  const std::size_t size = input.ConsumeIntegralInRange<std::size_t>(0, maxBytes);
  std::vector<std::uint8_t> bytes = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 64));
  bytes.resize(size);
  for (std::size_t i = std::min<std::size_t>(size, 64); i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 131 + (i >> 9) * 7 + salt) | 1);
  }
  return bytes;
}

// What the disk holds, as the read paths lay the files out.
struct DiskModel {
  Layout layout = Layout::Device;
  std::vector<std::vector<std::uint8_t>> pieces;  // a missing piece is empty
  std::uint64_t sectorBytes = 512;
  std::uint64_t sectorsPerPiece = 1;
  bool split = false;

  // The bytes of `sector` into `out` (one sector long), zeros where no file
  // holds any.
  void SectorInto(std::uint64_t sector, std::span<std::uint8_t> out) const {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    std::size_t piece = 0;
    std::uint64_t sectorInFile = sector;
    if (split) {
      piece = static_cast<std::size_t>(sector / sectorsPerPiece);
      sectorInFile = sector % sectorsPerPiece;
    }
    if (piece >= pieces.size()) return;
    const std::vector<std::uint8_t>& file = pieces[piece];
    const std::uint64_t at = sectorInFile * sectorBytes;
    if (at >= file.size()) return;
    const std::size_t held = static_cast<std::size_t>(std::min<std::uint64_t>(sectorBytes, file.size() - at));
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), held, out.begin());
  }
};

struct Fixture {
  korv::test::FaultyIo io;
  InputAnswers prompts;
  korv::CurrentSource source;
  korv::SelectedRange range;
  korv::SectorSource sectors{source, range, prompts};
  DiskModel model;
  bool anyFault = false;
};

void WritePieces(FuzzedDataProvider& input, const fs::path& folder, Fixture& f) {
  const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(1, kMaxPieces);
  for (std::size_t i = 0; i < count; ++i) {
    // The first piece always exists: without it the folder is not an image.
    const bool present = i == 0 || input.ConsumeIntegralInRange<int>(0, 7) != 0;
    f.model.pieces.push_back(present ? FileBytes(input, kMaxFileBytes, static_cast<std::uint8_t>(i)) : std::vector<std::uint8_t>{});
    if (present) korv::fuzz::WriteBytes(korv::ImagePiecePath(folder, i), f.model.pieces.back());
  }
  const auto sizeFile = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 5));
  if (!sizeFile.empty()) korv::fuzz::WriteBytes(folder / korv::kImageSectorSizeName, sizeFile);
}

// Makes the source the input asks for; false when it was refused.
bool OpenSource(FuzzedDataProvider& input, Fixture& f, std::vector<fs::path>& files) {
  const fs::path folder = korv::fuzz::EmptyScratchFolder("reads");
  f.source.io = &f.io;
  f.source.imagePieceSpanBytes = kPieceSpanBytes;
  f.model.layout = static_cast<Layout>(input.ConsumeIntegralInRange<int>(0, 2));
  switch (f.model.layout) {
    case Layout::Device: {
      const fs::path disk = folder / "disk0";
      f.source.bytesPerSector = 512 << input.ConsumeIntegralInRange<int>(0, 3);
      f.model.pieces.push_back(FileBytes(input, kMaxDeviceBytes, 3));
      // A device holds whole sectors.
      f.model.pieces.back().resize(f.model.pieces.back().size() / f.source.bytesPerSector * f.source.bytesPerSector);
      korv::fuzz::WriteBytes(disk, f.model.pieces.back());
      f.source.kind = korv::SourceKind::PhysicalDisk;
      f.source.devices.paths[0] = disk.string();
      files.push_back(disk);
      break;
    }
    case Layout::ImageFolder:
      WritePieces(input, folder, f);
      if (!korv::OpenImageFolder(f.source, folder).accepted) return false;
      for (std::size_t i = 0; i < f.model.pieces.size(); ++i) files.push_back(korv::ImagePiecePath(folder, i));
      break;
    case Layout::RawImage: {
      const fs::path image = folder / "disk.img";
      f.model.pieces.push_back(FileBytes(input, kMaxDeviceBytes, 5));
      korv::fuzz::WriteBytes(image, f.model.pieces.back());
      if (!korv::OpenRawImage(f.source, image).accepted) return false;
      files.push_back(image);
      break;
    }
  }
  f.model.sectorBytes = f.sectors.sectorBytes();
  f.model.sectorsPerPiece = korv::SectorsPerPiece(f.source);
  f.model.split = f.source.isImage() && f.source.imageFile.empty() && f.source.imageSplit;
  return true;
}

void AddFaults(FuzzedDataProvider& input, Fixture& f, const std::vector<fs::path>& files) {
  const int faults = input.ConsumeIntegralInRange<int>(0, 4);
  for (int i = 0; i < faults; ++i) {
    const fs::path& file = files[input.ConsumeIntegralInRange<std::size_t>(0, files.size() - 1)];
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
      f.io.FailOpen(file);
    } else {
      const auto offset = input.ConsumeIntegralInRange<std::uint64_t>(0, kMaxDeviceBytes);
      f.io.FailBytes(file, offset, input.ConsumeIntegralInRange<std::uint64_t>(1, 4 * f.model.sectorBytes));
    }
    f.anyFault = true;
  }
  const int answers = input.ConsumeIntegralInRange<int>(0, 8);
  for (int i = 0; i < answers; ++i) {
    f.prompts.answers.push_back(static_cast<korv::BadSectorAnswer>(input.ConsumeIntegralInRange<int>(0, 4)));
  }
  f.range.badSectorPolicy = static_cast<korv::BadSectorPolicy>(input.ConsumeIntegralInRange<int>(0, 3));
}

void CheckRead(FuzzedDataProvider& input, Fixture& f, std::uint64_t diskSectors) {
  const std::uint32_t maxCount = f.model.split ? static_cast<std::uint32_t>(std::min<std::uint64_t>(f.model.sectorsPerPiece, 64))
                                               : kMaxDeviceRunSectors;
  const auto first = input.ConsumeIntegralInRange<std::uint64_t>(0, diskSectors + 2);
  const auto count = input.ConsumeIntegralInRange<std::uint32_t>(1, maxCount);
  const bool anywhere = input.ConsumeBool();
  korv::ReadBuffer buffer(std::size_t{count} * f.model.sectorBytes);
  std::fill(buffer.begin(), buffer.end(), kStale);
  if (anywhere) {
    f.sectors.ReadCurrentAnywhere(first, count, buffer);
  } else {
    f.sectors.ReadCurrent(first, count, buffer);
  }
  const bool guardedAway = !anywhere && f.range.endSector > 0 && first > f.range.endSector;
  std::vector<std::uint8_t> held(f.model.sectorBytes, 0);
  for (std::uint32_t s = 0; s < count; ++s) {
    if (!guardedAway) f.model.SectorInto(first + s, held);
    const auto got = std::span(buffer).subspan(s * f.model.sectorBytes, f.model.sectorBytes);
    if (std::equal(got.begin(), got.end(), held.begin())) continue;
    korv::fuzz::Require(f.anyFault, "a read without any failure differs from the files");
    for (std::size_t j = 0; j < got.size(); ++j) {
      korv::fuzz::Require(got[j] == held[j] || got[j] == 0, "a read handed back a byte the disk does not hold there");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Fixture f;
  std::vector<fs::path> files;
  if (!OpenSource(input, f, files)) return 0;
  AddFaults(input, f, files);
  std::uint64_t diskBytes = 0;
  for (const auto& piece : f.model.pieces) diskBytes = std::max<std::uint64_t>(diskBytes, piece.size());
  if (f.model.split) diskBytes = f.model.pieces.size() * kPieceSpanBytes;
  const std::uint64_t diskSectors = diskBytes / f.model.sectorBytes + 1;
  if (input.ConsumeBool()) f.range.endSector = input.ConsumeIntegralInRange<std::uint64_t>(0, diskSectors);
  for (int i = 0; i < kMaxReads && input.remaining_bytes() > 0; ++i) CheckRead(input, f, diskSectors);
  return 0;
}
