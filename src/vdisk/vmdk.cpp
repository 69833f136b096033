#include "vdisk/vmdk.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <limits>

#include "platform/inflate.h"
#include "platform/read_buffer.h"
#include "storage/disk_image.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSector = kVirtualSectorBytes;
// A stream-optimised file ends with a footer marker, the footer (a copy of
// the header holding the real directory offset) and an end-of-stream marker.
constexpr std::uint64_t kFooterFromEnd = 2 * kSector;
constexpr std::size_t kGrainMarkerBytes = 12;
constexpr std::string_view kReasonHeaderCutShort = "sparse header cut short";
constexpr std::string_view kReasonBadGeometry = "grain or table size beyond reason";
constexpr std::string_view kReasonNoDirectory = "no usable grain directory";  // grain's sector (8), compressed size (4)
constexpr std::size_t kOpenFiles = 4;
// Grains or tables looked at for one allocation answer; the caller asks again.
constexpr int kMaxAllocationSteps = 1 << 16;

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::optional<std::uint64_t> ParseDecimal(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimLeading(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

// The next blank-separated token of `rest`, which moves past it.
std::string_view NextToken(std::string_view& rest) {
  rest = TrimLeading(rest);
  std::size_t length = 0;
  while (length < rest.size() && !IsBlank(rest[length])) ++length;
  const std::string_view token = rest.substr(0, length);
  rest.remove_prefix(length);
  return token;
}

// The text between the first pair of double quotes; empty when there is none.
std::string QuotedText(std::string_view line) {
  const auto open = line.find('"');
  if (open == std::string_view::npos) return {};
  const auto close = line.find('"', open + 1);
  if (close == std::string_view::npos) return {};
  return std::string(line.substr(open + 1, close - open - 1));
}

bool IsExtentAccess(std::string_view token) { return token == "RW" || token == "RDONLY" || token == "NOACCESS"; }

VmdkExtentLine ParseExtentLine(std::string_view line) {
  VmdkExtentLine extent;
  extent.access = std::string(NextToken(line));
  extent.sizeText = std::string(NextToken(line));
  extent.typeText = std::string(NextToken(line));
  // The name is quoted and may hold blanks; a flat extent's offset follows it.
  const auto open = line.find('"');
  if (open == std::string_view::npos) return extent;
  const auto close = line.find('"', open + 1);
  if (close == std::string_view::npos) return extent;
  extent.fileName = std::string(line.substr(open + 1, close - open - 1));
  std::string_view after = line.substr(close + 1);
  extent.offset = ParseDecimal(NextToken(after)).value_or(0);
  return extent;
}

std::vector<std::uint32_t> ReadEntries(ByteView bytes, std::uint64_t count) {
  std::vector<std::uint32_t> entries(static_cast<std::size_t>(count));
  for (std::uint64_t i = 0; i < count; ++i) entries[static_cast<std::size_t>(i)] = bytes.u32le(i * 4).value_or(0);
  return entries;
}

// The table of `count` 32-bit entries at sector `offsetSectors`, when all of
// it lies inside the file.
std::optional<std::vector<std::uint32_t>> ReadTable(File& file, std::uint64_t fileSize, std::uint64_t offsetSectors,
                                                    std::uint64_t count) {
  const auto offset = CheckedMul(offsetSectors, kSector);
  const auto bytes = CheckedMul(count, 4);
  if (!offset || !bytes || !RangeFits(fileSize, *offset, *bytes)) return std::nullopt;
  ReadBuffer raw(static_cast<std::size_t>(*bytes));
  if (!file.ReadExactAt(*offset, raw)) return std::nullopt;
  return ReadEntries(ByteView(raw), count);
}

}  // namespace

// ---------------------------------------------------------------------------
// Headers and descriptors

bool IsAcceptedVmdkType(std::string_view diskType) {
  static constexpr std::array<std::string_view, 7> kAccepted = {
      "twoGbMaxExtentSparse", "twoGbMaxExtentFlat", "monolithicSparse", "monolithicFlat",
      "vmfs",                 "flat",               "streamOptimized"};
  return std::find(kAccepted.begin(), kAccepted.end(), diskType) != kAccepted.end();
}

std::optional<VmdkSparseHeader> ParseVmdkSparseHeader(ByteView bytes) {
  if (bytes.size() < kVmdkHeaderBytes || !bytes.matches(0, kVmdkMagic)) return std::nullopt;
  VmdkSparseHeader header;
  header.version = bytes.u32le(4).value_or(0);
  header.flags = bytes.u32le(8).value_or(0);
  header.capacity = bytes.u64le(12).value_or(0);
  header.grainSize = bytes.u64le(20).value_or(0);
  header.descriptorOffset = bytes.u64le(28).value_or(0);
  header.descriptorSize = bytes.u64le(36).value_or(0);
  header.tableEntries = bytes.u32le(44).value_or(0);
  header.redundantDirectory = bytes.u64le(48).value_or(0);
  header.directory = bytes.u64le(56).value_or(0);
  header.compressAlgorithm = bytes.u16le(77).value_or(0);
  return header;
}

std::uint64_t VmdkExtentLine::sectors() const { return ParseDecimal(sizeText).value_or(0); }

VmdkExtentKind VmdkExtentLine::kind() const {
  const std::string type = AsciiLower(typeText);
  if (type == "flat" || type == "vmfs") return VmdkExtentKind::Flat;
  if (type == "sparse") return VmdkExtentKind::Sparse;
  if (type == "zero") return VmdkExtentKind::Zero;
  return VmdkExtentKind::Unsupported;
}

VmdkDescriptor ParseVmdkDescriptor(std::span<const std::uint8_t> bytes) {
  // Zero bytes are dropped; the fourth one ends the text.
  std::string text;
  text.reserve(bytes.size());
  int zeros = 0;
  for (const std::uint8_t byte : bytes) {
    if (byte != 0) {
      text.push_back(static_cast<char>(byte));
    } else if (++zeros == 4) {
      break;
    }
  }

  VmdkDescriptor descriptor;
  std::string_view rest(text);
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view line = TrimLeading(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);

    if (line.starts_with("ddb.geometry.cylinders")) {
      descriptor.cylinders = QuotedText(line);
    } else if (line.starts_with("ddb.geometry.sectors")) {
      descriptor.sectorsPerTrack = QuotedText(line);
    } else if (line.starts_with("ddb.geometry.heads")) {
      descriptor.heads = QuotedText(line);
    } else if (line.starts_with("createType")) {
      descriptor.createType = QuotedText(line);
    } else {
      std::string_view tokens = line;
      if (IsExtentAccess(NextToken(tokens))) descriptor.extents.push_back(ParseExtentLine(line));
    }
  }
  return descriptor;
}

// ---------------------------------------------------------------------------
// Opening

namespace {

// A VMDK none of which can be read opens all the same, with the disk type
// text "Damaged"; its verdict is Opened with the reason.
OpenVerdict Unreadable(std::string_view reason) { return {OpenResult::Opened, reason}; }
bool IsUnreadable(const OpenVerdict& verdict) {
  return verdict.result == OpenResult::Opened && !verdict.reason.empty();
}

}  // namespace

OpenAttempt<VmdkReader> VmdkReader::Open(const fs::path& path) {
  std::unique_ptr<VmdkReader> reader(new VmdkReader);
  const OpenVerdict verdict = reader->Load(path);
  if (IsUnreadable(verdict)) {
    // Whatever was read before the fault is dropped with the reader.
    reader.reset(new VmdkReader);
    reader->diskType_ = "Damaged";
  }
  return Conclude(std::move(reader), verdict);
}

OpenVerdict VmdkReader::Load(const fs::path& path) {
  auto file = File::OpenReadOnly(path);
  if (!file) return CannotOpen(kReasonCannotOpenFile);
  if (IsDirectory(path)) return Damaged("a folder");
  const std::uint64_t size = file->Size();

  std::array<std::uint8_t, kVmdkDescriptorMark.size()> lead{};
  const std::size_t got = file->ReadAt(0, lead);
  const ByteView leadView(std::span<const std::uint8_t>(lead).first(got));
  if (leadView.matches(0, kVmdkDescriptorMark)) return OpenDescriptorFile(path, std::move(file), size);
  if (leadView.matches(0, kVmdkMagic)) return OpenSparseFile(path, std::move(file), size);
  return OpenBareFlat(path, std::move(file), size);
}

void VmdkReader::TakeTexts(const VmdkDescriptor& descriptor) {
  diskType_ = descriptor.createType;
  cylinders_ = descriptor.cylinders;
  heads_ = descriptor.heads;
  sectorsPerTrack_ = descriptor.sectorsPerTrack;
}

OpenVerdict VmdkReader::OpenDescriptorFile(const fs::path& path, std::unique_ptr<File> file, std::uint64_t size) {
  ReadBuffer bytes(static_cast<std::size_t>(std::min(size, kVmdkMaxDescriptorBytes)));
  bytes.resize(file->ReadAt(0, bytes));
  file.reset();
  const VmdkDescriptor descriptor = ParseVmdkDescriptor(bytes);
  TakeTexts(descriptor);
  descriptorPath_ = path;

  // A disk of a type this reader does not serve is still reported, so the
  // caller can name it; it reads nothing.
  if (!IsAcceptedVmdkType(diskType_)) {
    std::uint64_t total = 0;
    for (const auto& extent : descriptor.extents) total = CheckedAdd(total, extent.sectors()).value_or(0);
    capacity_ = std::min(total, kVmdkMaxCapacity);
    return kOpenedVerdict;
  }
  if (std::any_of(descriptor.extents.begin(), descriptor.extents.end(),
                  [](const VmdkExtentLine& line) { return line.kind() == VmdkExtentKind::Unsupported; })) {
    return Damaged("unsupported extent kind");
  }
  if (const std::string_view fault = BuildExtents(descriptor.extents); !fault.empty()) return Unreadable(fault);
  return CheckFirstExtent();
}

// The extents one after another on the disk; a fault when there are none,
// one has no size or no file name, or together they are larger than any disk.
std::string_view VmdkReader::BuildExtents(const std::vector<VmdkExtentLine>& lines) {
  if (lines.empty()) return "no extents";
  std::uint64_t next = 0;
  for (const auto& line : lines) {
    Extent extent;
    extent.storedName = line.fileName;
    extent.kind = line.kind();
    extent.firstSector = next;
    extent.sectors = line.sectors();
    extent.fileOffsetSectors = line.offset;
    if (extent.sectors == 0) return "an extent of size 0";
    if (extent.kind != VmdkExtentKind::Zero && extent.storedName.empty()) return "an extent without a file name";
    const auto end = CheckedAdd(next, extent.sectors);
    if (!end || *end > kVmdkMaxCapacity) return "extents larger than any disk";
    next = *end;
    extents_.push_back(std::move(extent));
  }
  capacity_ = next;
  sparse_.resize(extents_.size());
  sparseFailed_.assign(extents_.size(), false);
  return {};
}

// The first extent with a file must be there and, when sparse, sound; later
// extents are checked when they are first read, so that a disk missing a
// piece can still be read up to it.
OpenVerdict VmdkReader::CheckFirstExtent() {
  const auto first = std::find_if(extents_.begin(), extents_.end(),
                                  [](const Extent& extent) { return extent.kind != VmdkExtentKind::Zero; });
  if (first == extents_.end()) return kOpenedVerdict;
  const auto index = static_cast<std::size_t>(first - extents_.begin());
  const auto path = ResolveExtent(index);
  if (!path) return Unreadable("first extent not found");
  auto file = File::OpenReadOnly(*path);
  if (!file) return CannotOpen("first extent cannot be opened");
  const std::uint64_t size = file->Size();

  if (first->kind == VmdkExtentKind::Sparse) {
    SparseExtent sparse;
    switch (LoadSparse(*file, size, sparse)) {
      case SparseLoad::Ready: break;
      case SparseLoad::BadGeometry: return Damaged(kReasonBadGeometry);
      case SparseLoad::NotSparse: return Unreadable("first extent is not sparse");
      case SparseLoad::NoDirectory: return Unreadable(kReasonNoDirectory);
    }
    sparse_[index] = std::move(sparse);
  }
  files_.push_back({index, std::move(file), size});
  return kOpenedVerdict;
}

OpenVerdict VmdkReader::OpenSparseFile(const fs::path& path, std::unique_ptr<File> file, std::uint64_t size) {
  std::array<std::uint8_t, kVmdkHeaderBytes> bytes{};
  if (!file->ReadExactAt(0, bytes)) return NotThisFormat(kReasonHeaderCutShort);
  const auto header = ParseVmdkSparseHeader(ByteView(bytes));
  if (!header) return NotThisFormat(kReasonHeaderCutShort);
  // A sparse file without a descriptor is one extent of a larger disk.
  if (header->descriptorOffset == 0) return NotThisFormat("an extent without a descriptor");

  SparseExtent sparse;
  switch (LoadSparse(*file, size, sparse)) {
    case SparseLoad::Ready: break;
    case SparseLoad::NotSparse: return NotThisFormat(kReasonHeaderCutShort);
    case SparseLoad::BadGeometry: return Damaged(kReasonBadGeometry);
    case SparseLoad::NoDirectory: return Unreadable(kReasonNoDirectory);
  }

  const auto descriptorOffset = CheckedMul(header->descriptorOffset, kSector);
  if (!descriptorOffset || *descriptorOffset >= size) return Unreadable("descriptor beyond the file");
  const std::uint64_t descriptorBytes = std::min({CheckedMul(header->descriptorSize, kSector).value_or(size),
                                                  size - *descriptorOffset, kVmdkMaxDescriptorBytes});
  ReadBuffer text(static_cast<std::size_t>(descriptorBytes));
  text.resize(file->ReadAt(*descriptorOffset, text));
  TakeTexts(ParseVmdkDescriptor(text));

  descriptorPath_ = path;
  capacity_ = sparse.header.capacity;
  Extent extent;
  extent.storedName = path.filename().string();
  extent.path = path;
  extent.kind = VmdkExtentKind::Sparse;
  extent.sectors = capacity_;
  extents_.push_back(std::move(extent));
  sparse_.push_back(std::move(sparse));
  sparseFailed_.push_back(false);
  files_.push_back({0, std::move(file), size});
  return kOpenedVerdict;
}

// Anything else named ".vmdk" (or with no extension) is taken as raw disk
// data.
namespace {

bool StartsLikeADisk(File& file) {
  std::array<std::uint8_t, kSector> sector{};
  return file.ReadExactAt(0, sector) && HasDiskSignature(sector);
}

}  // namespace

OpenVerdict VmdkReader::OpenBareFlat(const fs::path& path, std::unique_ptr<File> file, std::uint64_t size) {
  const std::string extension = AsciiLower(path.extension().string());
  if (!extension.empty() && extension != ".vmdk") return Damaged("not a VMDK file");
  if (size < kSector) return Damaged("smaller than one sector");
  // A file named for nothing passes as a flat extent only when it starts as
  // a disk does (a partition table or boot sector): a text file or a
  // program is no disk.
  if (extension.empty() && !StartsLikeADisk(*file)) return Damaged("no partition table or boot sector");

  diskType_ = "flat";
  descriptorPath_ = path;
  capacity_ = size / kSector;
  Extent extent;
  extent.storedName = path.filename().string();
  extent.path = path;
  extent.kind = VmdkExtentKind::Flat;
  extent.sectors = capacity_;
  extents_.push_back(std::move(extent));
  sparse_.resize(1);
  sparseFailed_.assign(1, false);
  files_.push_back({0, std::move(file), size});
  return kOpenedVerdict;
}

// Reads and checks the header of a sparse extent and chooses its grain
// directory. Every sparse extent passes through here, whenever it is opened.
VmdkReader::SparseLoad VmdkReader::LoadSparse(File& file, std::uint64_t fileSize, SparseExtent& out) {
  std::array<std::uint8_t, kVmdkHeaderBytes> bytes{};
  if (!file.ReadExactAt(0, bytes)) return SparseLoad::NotSparse;
  auto header = ParseVmdkSparseHeader(ByteView(bytes));
  if (!header) return SparseLoad::NotSparse;

  const bool geometryOk = header->grainSize != 0 && header->grainSize <= kVmdkMaxGrainSectors &&
                          header->tableEntries != 0 && header->tableEntries <= kVmdkMaxTableEntries &&
                          header->capacity <= kVmdkMaxCapacity;
  if (!geometryOk) return SparseLoad::BadGeometry;
  if (header->compressed() && header->compressAlgorithm != kVmdkCompressDeflate) return SparseLoad::BadGeometry;
  const std::uint64_t sectorsPerTable = header->grainSize * header->tableEntries;
  const std::uint64_t directoryEntries =
      header->capacity / sectorsPerTable + (header->capacity % sectorsPerTable != 0 ? 1 : 0);
  if (directoryEntries * 4 > kVmdkMaxDirectoryBytes) return SparseLoad::BadGeometry;

  if (header->directory == kVmdkGdAtEnd) {
    // Written as a stream: the footer near the end knows where the
    // directory went.
    std::array<std::uint8_t, kVmdkHeaderBytes> footerBytes{};
    if (fileSize < kFooterFromEnd + kVmdkHeaderBytes ||
        !file.ReadExactAt(fileSize - kFooterFromEnd, footerBytes)) {
      return SparseLoad::NoDirectory;
    }
    const auto footer = ParseVmdkSparseHeader(ByteView(footerBytes));
    if (!footer || footer->directory == kVmdkGdAtEnd) return SparseLoad::NoDirectory;
    header->directory = footer->directory;
    header->redundantDirectory = footer->redundantDirectory;
  }

  // The redundant copy when it looks written, else the primary one. A
  // directory whose first entry is 0 is taken for blank, except in a stream,
  // which only writes the tables that hold grains.
  const auto candidate = [&](std::uint64_t offset) -> std::optional<std::vector<std::uint32_t>> {
    if (offset == 0 || offset == kVmdkGdAtEnd || directoryEntries == 0) return std::nullopt;
    return ReadTable(file, fileSize, offset, directoryEntries);
  };
  auto directory = candidate(header->redundantDirectory);
  if (!directory || directory->front() == 0) {
    directory = candidate(header->directory);
    if (!directory || (directory->front() == 0 && !header->compressed())) return SparseLoad::NoDirectory;
  }

  out.header = *header;
  out.sectorsPerTable = sectorsPerTable;
  out.directory = std::move(*directory);
  return SparseLoad::Ready;
}

// ---------------------------------------------------------------------------
// Files, tables and grains of the extents

std::optional<fs::path> VmdkReader::ResolveExtent(std::size_t index) const {
  const Extent& extent = extents_[index];
  if (!extent.path.empty()) return extent.path;
  if (extent.unreachable) return std::nullopt;
  // Names written on Windows use "\"; relative names start at the
  // descriptor's folder, and a name that is not there exactly is looked for
  // without regard to case.
  std::string name = extent.storedName;
  std::replace(name.begin(), name.end(), '\\', '/');
  const auto found = FindStoredFile(name, descriptorPath_);
  if (!found) {
    extent.unreachable = true;
    return std::nullopt;
  }
  extent.path = *found;
  return extent.path;
}

VmdkReader::OpenFile* VmdkReader::FileOf(std::size_t index) const {
  const auto open = std::find_if(files_.begin(), files_.end(), [&](const OpenFile& f) { return f.extent == index; });
  if (open != files_.end()) {
    std::rotate(files_.begin(), open, open + 1);
    return &files_.front();
  }
  const auto path = ResolveExtent(index);
  if (!path) return nullptr;
  auto file = File::OpenReadOnly(*path);
  if (!file) return nullptr;
  const std::uint64_t size = file->Size();
  files_.insert(files_.begin(), OpenFile{index, std::move(file), size});
  if (files_.size() > kOpenFiles) files_.pop_back();
  return &files_.front();
}

const VmdkReader::SparseExtent* VmdkReader::SparseOf(std::size_t index) const {
  if (sparse_[index]) return &*sparse_[index];
  if (sparseFailed_[index]) return nullptr;
  SparseExtent sparse;
  OpenFile* open = FileOf(index);
  if (!open || LoadSparse(*open->file, open->size, sparse) != SparseLoad::Ready) {
    sparseFailed_[index] = true;
    return nullptr;
  }
  sparse_[index] = std::move(sparse);
  return &*sparse_[index];
}

L2Cache::Lease VmdkReader::TableOf(std::size_t index, std::uint64_t directoryIndex) const {
  const SparseExtent* sparse = SparseOf(index);
  if (!sparse || directoryIndex >= sparse->directory.size()) return {};
  const auto offset = CheckedMul(sparse->directory[static_cast<std::size_t>(directoryIndex)], kSector);
  const auto bytes = CheckedMul(sparse->header.tableEntries, 4);
  if (!offset || !bytes) return {};
  const L2Cache::TableKey key{index, *offset};
  if (L2Cache::Lease hit = tables_.Cached(key)) return hit;
  OpenFile* open = FileOf(index);
  if (!open) return {};
  return tables_.Fetch(*open->file, open->size, key, *bytes);
}

// A compressed grain: its marker (the grain's first virtual sector and the
// deflated size) and then the zlib stream. The last one inflated is kept,
// since runs and single-sector reads come back to it many times.
const std::vector<std::uint8_t>* VmdkReader::GrainOf(std::size_t index, std::uint64_t grainSector) const {
  const auto readDeflated = [&](ReadBuffer& deflated) -> std::optional<std::size_t> {
    const SparseExtent* sparse = SparseOf(index);
    OpenFile* open = FileOf(index);
    if (!sparse || !open) return std::nullopt;
    const std::uint64_t offset = grainSector * kSector;
    std::array<std::uint8_t, kGrainMarkerBytes> marker{};
    if (!RangeFits(open->size, offset, marker.size()) || !open->file->ReadExactAt(offset, marker)) return std::nullopt;
    const std::uint32_t size = ByteView(marker).u32le(8).value_or(0);
    const std::uint64_t grainBytes = sparse->header.grainSize * kSector;
    // Deflate may grow data that does not compress, but never by half.
    if (size == 0 || size > grainBytes + grainBytes / 2 + 1024 ||
        !RangeFits(open->size, offset + kGrainMarkerBytes, size)) {
      return std::nullopt;
    }
    deflated.resize(size);
    if (!open->file->ReadExactAt(offset + kGrainMarkerBytes, deflated)) return std::nullopt;
    return static_cast<std::size_t>(grainBytes);
  };
  return grain_.Get({index, grainSector}, DeflateWrapping::Zlib, /*whole=*/false, readDeflated);
}

// ---------------------------------------------------------------------------
// Reading

std::size_t VmdkReader::ExtentAt(std::uint64_t sector) const {
  const auto after = std::upper_bound(extents_.begin(), extents_.end(), sector,
                                      [](std::uint64_t s, const Extent& extent) { return s < extent.firstSector; });
  return static_cast<std::size_t>(after - extents_.begin()) - 1;
}

// File stretches carry the extent's open file. A stretch waiting to be joined
// keeps its file open: mapping the next stretch opens at most one file, and
// the pool keeps more than the two most recently used.
ReadOutcome VmdkReader::ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out) {
  return ReadStretches(
      sector, count, out, MapOf(),
      [this](const Stretch& stretch, std::uint64_t first, std::span<std::uint8_t> part) {
        return ServeCompressed(stretch, first, part);
      });
}

Stretch VmdkReader::MapStretch(std::uint64_t sector, std::uint64_t limit) const {
  // Everything from the capacity on is beyond the disk.
  if (sector >= capacity_ || extents_.empty()) return {StretchKind::Missing, limit};
  const std::size_t index = ExtentAt(sector);
  const Extent& extent = extents_[index];
  const std::uint64_t inExtent = sector - extent.firstSector;
  const std::uint64_t span = std::min(limit, extent.sectors - inExtent);

  switch (extent.kind) {
    case VmdkExtentKind::Flat: {
      const auto fileSector = CheckedAdd(extent.fileOffsetSectors, inExtent);
      const auto offset = fileSector ? CheckedMul(*fileSector, kSector) : std::nullopt;
      OpenFile* open = FileOf(index);
      if (!offset || !open) return {StretchKind::Missing, span};
      return {StretchKind::File, span, open->file.get(), *offset};
    }
    case VmdkExtentKind::Zero: return {StretchKind::Zeros, span};
    case VmdkExtentKind::Sparse: return SparseStretchAt(index, inExtent, span);
    case VmdkExtentKind::Unsupported: break;
  }
  return {StretchKind::Missing, span};
}

Stretch VmdkReader::SparseStretchAt(std::size_t index, std::uint64_t inExtent, std::uint64_t limit) const {
  const SparseExtent* sparse = SparseOf(index);
  if (!sparse) return {StretchKind::Missing, limit};
  const std::uint64_t grainSize = sparse->header.grainSize;
  const std::uint64_t directoryIndex = inExtent / sparse->sectorsPerTable;
  const std::uint64_t inTable = inExtent % sparse->sectorsPerTable;
  if (directoryIndex >= sparse->directory.size()) return {StretchKind::Missing, limit};

  const std::uint64_t tableSpan = std::min(limit, sparse->sectorsPerTable - inTable);
  if (sparse->directory[static_cast<std::size_t>(directoryIndex)] == 0) return {StretchKind::Zeros, tableSpan};
  const L2Cache::Lease table = TableOf(index, directoryIndex);
  if (!table) return {StretchKind::Missing, tableSpan};

  const std::uint64_t offsetInGrain = inExtent % grainSize;
  const std::uint64_t grainSpan = std::min(limit, grainSize - offsetInGrain);
  const auto entry = static_cast<std::uint32_t>(table.entry(inTable / grainSize));
  if (entry == 0 || (entry == 1 && sparse->header.zeroedGrains())) return {StretchKind::Zeros, grainSpan};
  if (sparse->header.compressed()) return {StretchKind::Other, grainSpan, nullptr, entry, ++grainTag_};
  OpenFile* open = FileOf(index);
  if (!open) return {StretchKind::Missing, grainSpan};
  return {StretchKind::File, grainSpan, open->file.get(), (std::uint64_t{entry} + offsetInGrain) * kSector};
}

// A compressed stretch lies inside one grain, whose sector it carries.
ReadOutcome VmdkReader::ServeCompressed(const Stretch& stretch, std::uint64_t firstSector,
                                        std::span<std::uint8_t> out) const {
  const std::size_t index = ExtentAt(firstSector);
  const SparseExtent* sparse = SparseOf(index);
  const auto* grain = sparse ? GrainOf(index, stretch.fileOffset) : nullptr;
  const std::uint64_t from =
      grain ? (firstSector - extents_[index].firstSector) % sparse->header.grainSize * kSector : 0;
  if (!grain || !RangeFits(grain->size(), from, out.size())) {
    ZeroSectors(out);
    return {false, false};
  }
  std::copy_n(grain->begin() + static_cast<std::ptrdiff_t>(from), out.size(), out.begin());
  return {true, true};
}

// ---------------------------------------------------------------------------
// What the inventory and the scans ask

VirtualDiskFacts VmdkReader::facts() const {
  VirtualDiskFacts facts;
  facts.diskSizeBytes = capacity_ * kSector;
  facts.inventorySizeBytes = facts.diskSizeBytes;
  facts.mediaTypeText = "Virtual File VMDK";
  facts.diskTypeText = diskType_;
  facts.geometry = DiskGeometryText{cylinders_, heads_, sectorsPerTrack_};
  return facts;
}

AllocationRun VmdkReader::SparseStateAt(std::size_t index, std::uint64_t inExtent, std::uint64_t limit) const {
  const SparseExtent* sparse = SparseOf(index);
  if (!sparse) return {true, limit};  // let the read find the fault
  const std::uint64_t directoryIndex = inExtent / sparse->sectorsPerTable;
  const std::uint64_t inTable = inExtent % sparse->sectorsPerTable;
  if (directoryIndex >= sparse->directory.size()) return {true, limit};

  const std::uint64_t tableSpan = std::min(limit, sparse->sectorsPerTable - inTable);
  if (sparse->directory[static_cast<std::size_t>(directoryIndex)] == 0) return {false, tableSpan};
  const L2Cache::Lease table = TableOf(index, directoryIndex);
  if (!table) return {true, tableSpan};

  const std::uint64_t grainSize = sparse->header.grainSize;
  const std::uint64_t grainSpan = std::min(limit, grainSize - inExtent % grainSize);
  const auto entry = static_cast<std::uint32_t>(table.entry(inTable / grainSize));
  const bool zeros = entry == 0 || (entry == 1 && sparse->header.zeroedGrains());
  return {!zeros, grainSpan};
}

AllocationRun VmdkReader::allocationAt(std::uint64_t sector) const {
  if (sector >= capacity_) return {true, 0};
  if (extents_.empty()) return {true, capacity_ - sector};
  const std::size_t index = ExtentAt(sector);
  const Extent& extent = extents_[index];
  const std::uint64_t inExtent = sector - extent.firstSector;
  const std::uint64_t rest = extent.sectors - inExtent;
  if (extent.kind == VmdkExtentKind::Zero) return {false, rest};
  if (extent.kind != VmdkExtentKind::Sparse) return {true, rest};

  // Neighbouring grains and tables in the same state make one stretch.
  const AllocationRun first = SparseStateAt(index, inExtent, rest);
  std::uint64_t total = first.sectors;
  for (int step = 0; step < kMaxAllocationSteps && total < rest; ++step) {
    const AllocationRun next = SparseStateAt(index, inExtent + total, rest - total);
    if (next.sectors == 0 || next.allocated != first.allocated) break;
    total += next.sectors;
  }
  return {first.allocated, total};
}

}  // namespace korv
