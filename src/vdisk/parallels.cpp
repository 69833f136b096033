#include "vdisk/parallels.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/bytes.h"
#include "platform/read_buffer.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSector = kVirtualSectorBytes;
constexpr std::string_view kMagicSectors = "WithoutFreeSpace";
constexpr std::string_view kMagicClusters = "WithouFreSpacExt";
constexpr std::string_view kHdsSuffix = ".hds";
constexpr std::uint8_t kBootMarkLow = 0x55;
constexpr std::uint8_t kBootMarkHigh = 0xAA;
constexpr std::uint64_t kMaxClustersPerAnswer = 65536;

using HeaderBytes = std::array<std::uint8_t, kParallelsHeaderBytes>;

bool EndsWithHds(const fs::path& path) {
  const std::string name = path.filename().string();
  if (name.size() < kHdsSuffix.size()) return false;
  const std::string_view tail = std::string_view(name).substr(name.size() - kHdsSuffix.size());
  return std::equal(tail.begin(), tail.end(), kHdsSuffix.begin(), [](char a, char b) {
    const char lower = (a >= 'A' && a <= 'Z') ? static_cast<char>(a - 'A' + 'a') : a;
    return lower == b;
  });
}

// Non-empty regular files named "*.hds" (any case) in `folder`, by name.
std::vector<fs::path> NonEmptyHdsFilesIn(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code entryError;
    if (!it->is_regular_file(entryError) || !EndsWithHds(it->path())) continue;
    const std::uintmax_t size = it->file_size(entryError);
    if (entryError || size == 0) continue;
    found.push_back(it->path());
  }
  std::sort(found.begin(), found.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
  return found;
}

}  // namespace

// ---------------------------------------------------------------------------
// Opening

ParallelsReader::ParallelsReader(std::unique_ptr<File> file, std::uint64_t fileSize, const fs::path& path)
    : file_(std::move(file)), fileSize_(fileSize), imagePath_(path), isHds_(EndsWithHds(path)) {}

OpenAttempt<ParallelsReader> ParallelsReader::Open(const fs::path& path) {
  return OpenImage(path, /*mayFollowFolder=*/true);
}

OpenAttempt<ParallelsReader> ParallelsReader::OpenImage(const fs::path& path, bool mayFollowFolder) {
  auto file = File::OpenReadOnly(path);
  if (!file) return CannotOpen(kReasonCannotOpenFile);
  const std::uint64_t fileSize = file->Size();

  if (fileSize == 0 && IsRegularFile(path)) {
    // The folder is followed once: whatever is found there is opened as an
    // image, never taken as a pointer to a folder again.
    if (!mayFollowFolder) return NotThisFormat("empty file");
    return OpenFirstHdsBeside(path);
  }

  HeaderBytes header{};
  if (!file->ReadExactAt(0, header)) return NotThisFormat("header cut short");
  std::unique_ptr<ParallelsReader> reader(new ParallelsReader(std::move(file), fileSize, path));
  OpenVerdict verdict = reader->LoadHeader(header);
  if (verdict.result == OpenResult::Opened) verdict = reader->LoadBlockTable();
  if (verdict.result == OpenResult::Opened) reader->shiftOne_ = reader->DataStartsOneSectorLate();
  return Conclude(std::move(reader), verdict);
}

OpenAttempt<ParallelsReader> ParallelsReader::OpenFirstHdsBeside(const fs::path& emptyFile) {
  fs::path folder = emptyFile.parent_path();
  if (folder.empty()) folder = ".";
  const std::vector<fs::path> candidates = NonEmptyHdsFilesIn(folder);
  if (candidates.empty()) return NotThisFormat("empty file and no \".hds\" file beside it");
  return OpenImage(candidates.front(), /*mayFollowFolder=*/false);
}

OpenVerdict ParallelsReader::LoadHeader(std::span<const std::uint8_t> bytes) {
  const ByteView view(bytes);
  if (view.matches(0, kMagicClusters)) {
    entriesInClusters_ = true;
  } else if (!view.matches(0, kMagicSectors)) {
    return NotThisFormat("no Parallels magic");
  }
  if (view.u32le(16) != kParallelsVersion) return Damaged("unsupported version");
  heads_ = view.u32le(20).value_or(0);
  cylinders_ = view.u32le(24).value_or(0);
  sectorsPerCluster_ = view.u32le(28).value_or(0);
  tableEntryCount_ = view.u32le(32).value_or(0);
  // Older images keep only 32 bits of the disk size; what follows is not
  // part of it there.
  diskSectors_ = entriesInClusters_ ? view.u64le(36).value_or(0) : view.u32le(36).value_or(0);

  if (sectorsPerCluster_ == 0) return Damaged("no sectors per cluster");
  if (tableEntryCount_ > kParallelsMaxTableEntries) return Damaged("block table over the limit");
  // The table must lie inside the file before anything is allocated for it.
  if (!RangeFits(fileSize_, kParallelsTableOffset, std::uint64_t{tableEntryCount_} * 4)) {
    return Damaged("block table beyond the file");
  }
  // A disk larger than its table can map has a size nothing can serve.
  const std::uint64_t mappedSectors = std::uint64_t{tableEntryCount_} * sectorsPerCluster_;
  if (diskSectors_ > mappedSectors || !CheckedMul(diskSectors_, kSector)) return Damaged("disk larger than its table");
  return kOpenedVerdict;
}

OpenVerdict ParallelsReader::LoadBlockTable() {
  ReadBuffer bytes(std::size_t{tableEntryCount_} * 4);
  if (!file_->ReadExactAt(kParallelsTableOffset, bytes)) return Damaged("block table unreadable");
  const ByteView view(bytes);
  blockTable_.resize(tableEntryCount_);
  for (std::uint32_t i = 0; i < tableEntryCount_; ++i) {
    blockTable_[i] = view.u32le(std::uint64_t{i} * 4).value_or(0);
  }
  return kOpenedVerdict;
}

// The one-sector shift of some ".hds" images: the table's first data sector
// does not end in the boot mark, but the sector after it does. Decided from
// the file at open, so every read, sector 0 or not, maps the same way.
bool ParallelsReader::DataStartsOneSectorLate() {
  if (!isHds_ || diskSectors_ == 0) return false;
  const Stretch first = MapStretch(0, 1);
  if (first.kind != StretchKind::File) return false;

  std::array<std::uint8_t, 2 * kSector> sectors{};
  const std::span<std::uint8_t> both(sectors);
  if (!file_->ReadExactAt(first.fileOffset, both.first(kSector))) return false;
  if (sectors[510] == kBootMarkLow) return false;
  const auto next = CheckedAdd(first.fileOffset, kSector);
  if (!next || !file_->ReadExactAt(*next, both.last(kSector))) return false;
  return sectors[kSector + 510] == kBootMarkLow && sectors[kSector + 511] == kBootMarkHigh;
}

std::uint32_t ParallelsReader::tableEntry(std::uint64_t cluster) const {
  if (cluster >= blockTable_.size()) return 0;
  return blockTable_[static_cast<std::size_t>(cluster)];
}

// ---------------------------------------------------------------------------
// Reading


// Where `sector` and the sectors after it in the same cluster (at most
// `limit`) come from.
Stretch ParallelsReader::MapStretch(std::uint64_t sector, std::uint64_t limit) const {
  if (sector >= diskSectors_ || sectorsPerCluster_ == 0) return {StretchKind::Missing, limit};
  const std::uint64_t cluster = sector / sectorsPerCluster_;
  const std::uint64_t index = sector % sectorsPerCluster_;
  if (cluster >= blockTable_.size()) return {StretchKind::Missing, limit};
  const std::uint64_t span = std::min({limit, sectorsPerCluster_ - index, diskSectors_ - sector});

  const std::uint32_t entry = blockTable_[static_cast<std::size_t>(cluster)];
  if (entry == 0) return {StretchKind::Zeros, span};
  // Both factors are below 2^32, so the product fits; the additions and the
  // conversion to bytes are checked.
  const std::uint64_t firstSector = std::uint64_t{entry} * (entriesInClusters_ ? sectorsPerCluster_ : 1u);
  const auto fileSector = CheckedAdd(firstSector, index + (shiftOne_ ? 1 : 0));
  const auto fileOffset = fileSector ? CheckedMul(*fileSector, kSector) : std::nullopt;
  if (!fileOffset) return {StretchKind::Missing, span};
  return {StretchKind::File, span, file_.get(), *fileOffset};
}

// ---------------------------------------------------------------------------
// What the inventory and the scans ask

VirtualDiskFacts ParallelsReader::facts() const {
  VirtualDiskFacts facts;
  facts.diskSizeBytes = diskSize();
  facts.inventorySizeBytes = diskSize();
  facts.mediaTypeText = isHds_ ? "Virtual File HDS" : "Virtual File HDD";
  facts.diskTypeText = "Parallels";
  return facts;
}

AllocationRun ParallelsReader::allocationAt(std::uint64_t sector) const {
  if (sector >= diskSectors_ || sectorsPerCluster_ == 0) return {true, 0};
  const std::uint64_t cluster = sector / sectorsPerCluster_;
  if (cluster >= blockTable_.size()) return {true, 0};

  // Neighbouring clusters in the same state make one longer stretch. The
  // walk is bounded, so a scan that asks again every few sectors of a huge
  // disk does not walk the whole table each time.
  const bool allocated = blockTable_[static_cast<std::size_t>(cluster)] != 0;
  const std::uint64_t stop = std::min<std::uint64_t>(blockTable_.size(), cluster + kMaxClustersPerAnswer);
  std::uint64_t next = cluster + 1;
  while (next < stop && (blockTable_[static_cast<std::size_t>(next)] != 0) == allocated) ++next;
  const std::uint64_t end = std::min(next * sectorsPerCluster_, diskSectors_);
  return {allocated, end - sector};
}

}  // namespace korv
