#include "engine/recovery_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "engine/analysis_job.h"
#include "engine/analysis_step.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/read_buffer.h"
#include "storage/disk_image.h"
#include "storage/virtual_disk.h"

namespace korv {

namespace {

// The title field: any text of 31 UTF-16 units; readers skip it.
constexpr std::u16string_view kLogTitle = u"Korvane Vireon";
constexpr std::size_t kTitleUnits = 31;
constexpr std::size_t kCandidateNameUnits = 10;
constexpr std::size_t kCandidateBytes = 76;
constexpr std::uint8_t kNoPartition = 0xFF;

// The smallest records, names empty: what a count may at most ask for is
// the bytes left divided by these.
constexpr std::uint64_t kNamePairMinBytes = 2;
constexpr std::uint64_t kScanDirMinBytes = 49 + kNamePairMinBytes;
constexpr std::uint64_t kScanFileMinBytes = 53 + kNamePairMinBytes;
constexpr std::uint64_t kFolderMinBytes = 50 + kNamePairMinBytes;
constexpr std::uint64_t kFileMinBytes = 54 + kNamePairMinBytes;

constexpr std::size_t kWriteChunkBytes = 1 << 20;
constexpr std::size_t kReadWindowBytes = 1 << 20;

// A stream's name in UTF-8, cut to at most kLogNameUnits bytes, never inside
// a character.
std::string StreamBytes(std::u16string_view stream) {
  std::string text = Utf16ToUtf8(stream);
  if (text.size() <= kLogNameUnits) return text;
  std::size_t end = kLogNameUnits;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// ---------------------------------------------------------------- writing

// Little-endian fields into a buffer that goes to the file a chunk at a
// time; the first failed write makes every later one a no-op.
class LogWriter {
 public:
  explicit LogWriter(int fd) : fd_(fd) { bytes_.reserve(kWriteChunkBytes + 1024); }

  void U8(std::uint8_t value) { Put(value, 1); }
  void U16(std::uint16_t value) { Put(value, 2); }
  void U32(std::uint32_t value) { Put(value, 4); }
  void U64(std::uint64_t value) { Put(value, 8); }
  void Units(std::u16string_view text) {
    for (const char16_t unit : text) U16(unit);
  }
  void Chars(std::string_view text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    FlushIfFull();
  }
  // A one-byte count and the UTF-16 units of the (cut) name.
  void ShortWide(std::u16string_view text) {
    const std::u16string_view cut = CutLogName(text);
    U8(static_cast<std::uint8_t>(cut.size()));
    Units(cut);
  }
  void NamePair(std::u16string_view wide, std::string_view eightBit) {
    ShortWide(wide);
    const std::string_view cut = eightBit.substr(0, kLogNameUnits);
    U8(static_cast<std::uint8_t>(cut.size()));
    Chars(cut);
  }

  bool Finish() {
    Flush();
    return ok_;
  }

 private:
  void Put(std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    FlushIfFull();
  }
  void FlushIfFull() {
    if (bytes_.size() >= kWriteChunkBytes) Flush();
  }
  void Flush() {
    std::span<const std::uint8_t> left(bytes_);
    while (ok_ && !left.empty()) {
      const ssize_t written = ::write(fd_, left.data(), left.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) ok_ = false;
      if (written > 0) left = left.subspan(static_cast<std::size_t>(written));
    }
    bytes_.clear();
  }

  int fd_;
  bool ok_ = true;
  std::vector<std::uint8_t> bytes_;
};

// Time words 5, 6, 3, 4 lead a record; words 1, 2 follow its next field.
void WriteLeadingTimes(LogWriter& out, const ItemTimes& times) {
  for (const std::size_t word : {4, 5, 2, 3}) out.U32(times[word]);
}
void WriteTrailingTimes(LogWriter& out, const ItemTimes& times) {
  out.U32(times[0]);
  out.U32(times[1]);
}

// The twelve boot words in the log's order.
void WriteBootWords(LogWriter& out, const BootParameters& boot) {
  for (const std::uint32_t word :
       {boot.sectorsPerFat, boot.sectorsPerCluster, boot.rootDirSectors, boot.rootFirst, boot.reservedSectors,
        boot.cluster0Sector, boot.fat1FirstSector, boot.fat2FirstSector, boot.mftFirstSector, boot.mftMirrFirstSector,
        boot.sectorsPerMftRecord, boot.sectorsPerIndexRecord}) {
    out.U32(word);
  }
}

void WriteFileSystemName(LogWriter& out, FileSystemKind kind) { out.ShortWide(Utf8ToUtf16(FileSystemName(kind))); }

void WriteHeader(LogWriter& out, const RecoveryLogState& state, bool withScanLists) {
  std::u16string title(kLogTitle);
  title.resize(kTitleUnits, u'\0');
  out.Units(title);
  out.U16(withScanLists ? 1 : 0);
  const std::u16string sourceText = Utf8ToUtf16(state.range.selectedText);
  out.U32(static_cast<std::uint32_t>(sourceText.size()));
  out.Units(sourceText);
  out.U8(static_cast<std::uint8_t>(state.source.devices.currentDevice));
  out.U8(0);  // no logical drives here
  out.U32(state.sectorBytes);
  out.U8(static_cast<std::uint8_t>(state.range.diskNumber));
  out.U8(static_cast<std::uint8_t>(state.range.partitionIndex));
  WriteFileSystemName(out, state.range.fileSystem);
  out.ShortWide(Utf8ToUtf16(state.range.partitionText));
  out.U64(state.range.firstSector);
  out.U64(state.range.endSector);
  WriteBootWords(out, state.boot);
  WriteBootWords(out, state.parameters.boot);
  WriteFileSystemName(out, state.parameters.fileSystem);
  out.U32(state.wizard.formattedMode ? 1 : 0);
  out.U32(state.wizard.rangeRun ? 1 : 0);
  out.U32(static_cast<std::uint32_t>(state.flags.rangePhase));
  out.U32(static_cast<std::uint32_t>(state.store.currentVolume.load()));
}

void WriteCandidate(LogWriter& out, const VolumeCandidate& volume) {
  out.U64(volume.endSector);
  out.U64(volume.firstSector);
  for (const std::uint32_t word :
       {volume.sectorsPerCluster, volume.cluster0Sector, volume.fat1FirstSector, volume.reservedSectors,
        volume.rootDirSectors, volume.rootFirst, volume.fat2FirstSector, volume.sectorsPerFat}) {
    out.U32(word);
  }
  std::u16string name = Utf8ToUtf16(FileSystemName(volume.fileSystem));
  name.resize(kCandidateNameUnits, u'\0');
  out.Units(name);
  out.U32(volume.sectorsPerMftRecord);
  out.U32(volume.sectorsPerIndexRecord);
}

// A scan directory keeps its record sector in a 32-bit field: one that does
// not fit cannot be written (false) rather than wrap.
bool WriteScanDir(LogWriter& out, const ScanDirRecord& dir) {
  if (dir.recordSector > UINT32_MAX) return false;
  WriteLeadingTimes(out, dir.times);
  out.U32(static_cast<std::uint32_t>(dir.volumeNumber));
  WriteTrailingTimes(out, dir.times);
  out.U32(dir.indexLcn);
  out.U32(dir.parentNumber);
  out.U32(static_cast<std::uint32_t>(dir.recordSector));
  out.U32(dir.indexLcn);
  out.U32(dir.ownNumber);
  out.U8(static_cast<std::uint8_t>(dir.deleted));
  out.NamePair(dir.wideName, {});
  return true;
}

// The 8-bit half of a wide-named file's pair holds its stream's name, in
// UTF-8; files with no stream leave it empty.
void WriteScanFile(LogWriter& out, const ScanFileRecord& file) {
  WriteLeadingTimes(out, file.times);
  out.U32(static_cast<std::uint32_t>(file.fileCountAtScan));
  WriteTrailingTimes(out, file.times);
  out.U64(file.size);
  out.U32(file.parentNumber);
  out.U64(file.recordSector);
  out.U32(file.ownNumber);
  out.U8(static_cast<std::uint8_t>(file.deleted));
  out.NamePair(file.wideName, StreamBytes(file.stream));
}

// An 8-bit name goes into the 8-bit half of the pair, any other into the
// wide half.
void WriteItemName(LogWriter& out, const std::u16string& name, bool eightBit, std::u16string_view stream) {
  if (eightBit) {
    if (const auto bytes = Utf16ToEightBit(name)) {
      out.NamePair({}, *bytes);
      return;
    }
  }
  out.NamePair(name, StreamBytes(stream));
}

void WriteFolder(LogWriter& out, const FoundFolder& folder) {
  out.U32(folder.treeItem);
  WriteLeadingTimes(out, folder.times);
  out.U32(folder.volumeNumber);
  WriteTrailingTimes(out, folder.times);
  out.U32(folder.parentNumber);
  out.U64(folder.recordSector);
  out.U32(folder.ownNumber);
  out.U8(static_cast<std::uint8_t>(kKindFolder));
  out.U8(static_cast<std::uint8_t>(folder.deleted));
  WriteItemName(out, folder.name, folder.nameIsEightBit, {});
}

void WriteFile(LogWriter& out, const FoundFile& file) {
  WriteLeadingTimes(out, file.times);
  out.U32(file.insertionNumber);
  WriteTrailingTimes(out, file.times);
  out.U64(file.size);
  out.U32(file.parentNumber);
  out.U64(file.recordSector);
  out.U32(file.ownNumber);
  out.U8(static_cast<std::uint8_t>(kKindFile));
  out.U8(static_cast<std::uint8_t>(file.deleted));
  WriteItemName(out, file.name, file.nameIsEightBit, file.stream);
}

bool WriteLog(LogWriter& out, const RecoveryLogState& state, bool withScanLists) {
  WriteHeader(out, state, withScanLists);
  if (state.wizard.rangeRun) {
    out.U32(static_cast<std::uint32_t>(state.volumes.size()));
    for (const VolumeCandidate& volume : state.volumes) WriteCandidate(out, volume);
    if (withScanLists) {
      out.U32(static_cast<std::uint32_t>(state.scanLists.dirs.size()));
      for (const ScanDirRecord& dir : state.scanLists.dirs) {
        if (!WriteScanDir(out, dir)) return false;
      }
      out.U32(static_cast<std::uint32_t>(state.scanLists.files.size()));
      for (const ScanFileRecord& file : state.scanLists.files) WriteScanFile(out, file);
    }
  }
  const Store& store = state.store;
  out.U32(static_cast<std::uint32_t>(store.folderCount()));
  for (const FolderId id : store.FoldersInOrder()) WriteFolder(out, store.folder(id));
  out.U32(static_cast<std::uint32_t>(store.fileCount()));
  store.ForEachFileInOrder([&](FileId id) { WriteFile(out, store.file(id)); });
  return out.Finish();
}

// The temporary file beside `path`, made exclusively; -1 when it cannot be.
int MakeTemporaryBeside(const std::filesystem::path& path, std::string& name) {
  name = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(name.data());
  if (fd >= 0) ::fchmod(fd, 0644);
  return fd;
}

// ---------------------------------------------------------------- reading

// Reads a log front to back through a window of the file; every read says
// whether the file still holds the bytes asked for.
class LogCursor {
 public:
  LogCursor(ReadHandle& file, std::uint64_t offset) : file_(file), size_(file.Size()), offset_(offset) {}

  std::uint64_t offset() const { return offset_; }
  std::uint64_t size() const { return size_; }
  std::uint64_t left() const { return offset_ <= size_ ? size_ - offset_ : 0; }

  // The next `length` bytes, or nothing when the file ends first.
  std::optional<ByteView> Take(std::size_t length) {
    if (!RangeFits(size_, offset_, length)) return std::nullopt;
    if (!InWindow(length) && !Fill(length)) return std::nullopt;
    const ByteView view(window_.data() + (offset_ - windowStart_), length);
    offset_ += length;
    return view;
  }

  std::optional<std::uint8_t> U8() { return Read<std::uint8_t>(1); }
  std::optional<std::uint16_t> U16() { return Read<std::uint16_t>(2); }
  std::optional<std::uint32_t> U32() { return Read<std::uint32_t>(4); }
  std::optional<std::uint64_t> U64() { return Read<std::uint64_t>(8); }

  // `units` UTF-16 units, as they are (NULs included).
  std::optional<std::u16string> Units(std::size_t units) {
    const auto bytes = Take(units * 2);
    if (!bytes) return std::nullopt;
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(*bytes->u16le(i * 2));
    return text;
  }
  std::optional<std::string> Chars(std::size_t count) {
    const auto bytes = Take(count);
    if (!bytes) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bytes->data()), count);
  }
  // A one-byte count and that many UTF-16 units, cut as the writer cuts.
  std::optional<std::u16string> ShortWide() {
    const auto count = U8();
    if (!count) return std::nullopt;
    auto text = Units(*count);
    if (text) text->resize(CutLogName(*text).size());
    return text;
  }

 private:
  template <typename T>
  std::optional<T> Read(std::size_t width) {
    const auto bytes = Take(width);
    if (!bytes) return std::nullopt;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= std::uint64_t{*bytes->u8(i)} << (8 * i);
    return static_cast<T>(value);
  }

  bool InWindow(std::size_t length) const {
    return offset_ >= windowStart_ && offset_ - windowStart_ + length <= window_.size();
  }
  bool Fill(std::size_t length) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(length, kReadWindowBytes), left()));
    window_.resize(want);
    windowStart_ = offset_;
    return file_.ReadExactAt(offset_, window_) && want >= length;
  }

  ReadHandle& file_;
  std::uint64_t size_;
  std::uint64_t offset_;
  std::uint64_t windowStart_ = 0;
  ReadBuffer window_;
};

// Whether `count` records of at least `minBytes` each can lie in what is
// left: a count the file cannot hold is refused before anything is made.
bool CountFits(const LogCursor& in, std::uint32_t count, std::uint64_t minBytes) {
  const auto needed = CheckedMul(count, minBytes);
  return needed && *needed <= in.left();
}

std::optional<ItemTimes> ReadTimes(LogCursor& in, std::optional<std::uint32_t>& between) {
  std::array<std::uint32_t, 4> lead{};
  for (std::uint32_t& word : lead) {
    const auto value = in.U32();
    if (!value) return std::nullopt;
    word = *value;
  }
  between = in.U32();
  const auto w1 = in.U32();
  const auto w2 = in.U32();
  if (!between || !w1 || !w2) return std::nullopt;
  return ItemTimes{*w1, *w2, lead[2], lead[3], lead[0], lead[1]};
}

std::optional<BootParameters> ReadBootWords(LogCursor& in) {
  std::array<std::uint32_t, 12> words{};
  for (std::uint32_t& word : words) {
    const auto value = in.U32();
    if (!value) return std::nullopt;
    word = *value;
  }
  BootParameters boot;
  boot.sectorsPerFat = words[0];
  boot.sectorsPerCluster = words[1];
  boot.rootDirSectors = words[2];
  boot.rootFirst = words[3];
  boot.reservedSectors = words[4];
  boot.cluster0Sector = words[5];
  boot.fat1FirstSector = words[6];
  boot.fat2FirstSector = words[7];
  boot.mftFirstSector = words[8];
  boot.mftMirrFirstSector = words[9];
  boot.sectorsPerMftRecord = words[10];
  boot.sectorsPerIndexRecord = words[11];
  return boot;
}

std::optional<FileSystemKind> ReadFileSystemName(LogCursor& in) {
  const auto name = in.ShortWide();
  if (!name) return std::nullopt;
  return ParseFileSystemKind(Utf16ToUtf8(*name));
}

// The sectors of a range stay within 64-bit byte arithmetic.
bool SectorsFit(std::uint64_t firstSector, std::uint64_t endSector, std::uint32_t sectorBytes) {
  return CheckedMul(firstSector, sectorBytes) && CheckedMul(endSector, sectorBytes) &&
         (endSector == 0 || firstSector <= endSector);
}

struct LogHeader {
  bool scanLists = false;
  std::string sourceText;
  std::uint8_t device = 0;
  std::uint32_t bytesPerSector = 0;
  std::uint8_t disk = 0;
  std::uint8_t partition = 0;
  FileSystemKind rangeFileSystem = FileSystemKind::Unknown;
  std::string volumeText;
  std::uint64_t firstSector = 0;
  std::uint64_t endSector = 0;
  BootParameters boot;
  BootParameters analysisBoot;
  FileSystemKind analysedFileSystem = FileSystemKind::Unknown;
  bool formattedMode = false;
  bool rangeRun = false;
  std::int32_t currentVolume = 0;
  VolumeCandidateList volumes;
};

// A 32-bit flag word: 0 or 1.
std::optional<bool> ReadFlag(LogCursor& in) {
  const auto value = in.U32();
  if (!value || *value > 1) return std::nullopt;
  return *value == 1;
}

// What the header holds, each field where the lengths before it put it;
// nothing when a field runs past the end or cannot be what it says.
std::optional<LogHeader> ReadHeaderFields(LogCursor& in) {
  LogHeader header;
  const auto title = in.Take(kTitleUnits * 2);
  const auto flag = in.U16();
  if (!title || !flag || *flag > 1) return std::nullopt;
  header.scanLists = *flag == 1;
  const auto sourceUnits = in.U32();
  if (!sourceUnits || !CountFits(in, *sourceUnits, 2)) return std::nullopt;
  const auto sourceText = in.Units(*sourceUnits);
  const auto device = in.U8();
  const auto drive = in.U8();
  const auto bytesPerSector = in.U32();
  const auto disk = in.U8();
  const auto partition = in.U8();
  const auto rangeFileSystem = ReadFileSystemName(in);
  const auto volumeText = in.ShortWide();
  const auto firstSector = in.U64();
  const auto endSector = in.U64();
  const auto boot = ReadBootWords(in);
  const auto analysisBoot = ReadBootWords(in);
  const auto analysedFileSystem = ReadFileSystemName(in);
  const auto formattedMode = ReadFlag(in);
  const auto rangeRun = ReadFlag(in);
  const auto rangePhase = in.U32();
  const auto currentVolume = in.U32();
  if (!sourceText || !device || !drive || !bytesPerSector || !disk || !partition || !rangeFileSystem || !volumeText ||
      !firstSector || !endSector || !boot || !analysisBoot || !analysedFileSystem || !formattedMode || !rangeRun ||
      !rangePhase || !currentVolume) {
    return std::nullopt;
  }
  header.sourceText = Utf16ToUtf8(*sourceText);
  header.device = *device;
  header.bytesPerSector = *bytesPerSector == 0 ? 512 : *bytesPerSector;
  header.disk = *disk;
  header.partition = *partition;
  header.rangeFileSystem = *rangeFileSystem;
  header.volumeText = Utf16ToUtf8(*volumeText);
  header.firstSector = *firstSector;
  header.endSector = *endSector;
  header.boot = *boot;
  header.analysisBoot = *analysisBoot;
  header.analysedFileSystem = *analysedFileSystem;
  header.formattedMode = *formattedMode;
  header.rangeRun = *rangeRun;
  header.currentVolume = static_cast<std::int32_t>(*currentVolume);
  return header;
}

std::optional<VolumeCandidate> ReadCandidate(LogCursor& in) {
  const auto bytes = in.Take(kCandidateBytes);
  if (!bytes) return std::nullopt;
  const ByteView view = *bytes;
  VolumeCandidate volume;
  volume.endSector = *view.u64le(0);
  volume.firstSector = *view.u64le(8);
  volume.sectorsPerCluster = *view.u32le(16);
  volume.cluster0Sector = *view.u32le(20);
  volume.fat1FirstSector = *view.u32le(24);
  volume.reservedSectors = *view.u32le(28);
  volume.rootDirSectors = *view.u32le(32);
  volume.rootFirst = *view.u32le(36);
  volume.fat2FirstSector = *view.u32le(40);
  volume.sectorsPerFat = *view.u32le(44);
  const auto kind = ParseFileSystemKind(Utf16ToUtf8(ReadUtf16(view, 48, kCandidateNameUnits, false)));
  if (!kind) return std::nullopt;
  volume.fileSystem = *kind;
  volume.sectorsPerMftRecord = *view.u32le(68);
  volume.sectorsPerIndexRecord = *view.u32le(72);
  return volume;
}

bool ReadCandidates(LogCursor& in, std::uint32_t sectorBytes, VolumeCandidateList& volumes) {
  const auto count = in.U32();
  if (!count || !CountFits(in, *count, kCandidateBytes)) return false;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const auto volume = ReadCandidate(in);
    if (!volume || !SectorsFit(volume->firstSector, volume->endSector, sectorBytes)) return false;
    volumes.push_back(*volume);
  }
  return true;
}

// Why the header cannot be used with the source at hand, or nothing.
std::optional<std::string_view> RefuseHeader(const LogHeader& header, const LogTableSizes& tables,
                                             const RecoveryLogState& state) {
  if (header.scanLists && !header.rangeRun) return kMsgLogInvalid;
  if (header.bytesPerSector != 512 && header.bytesPerSector != 4096) return kMsgLogInvalid;
  if (header.device >= tables.devices || header.disk >= tables.disks) return kMsgLogInvalid;
  if (header.partition != kNoPartition && header.partition >= tables.partitions) return kMsgLogInvalid;
  if (!SectorsFit(header.firstSector, header.endSector, header.bytesPerSector)) return kMsgLogInvalid;
  // Folders carry 16-bit volume numbers.
  if (header.currentVolume < 0 || header.currentVolume > UINT16_MAX) return kMsgLogInvalid;
  // The log must be of the disk selected now, read as it was.
  const bool diskFile = state.source.isVirtual() || state.source.isImage();
  if (!diskFile || header.sourceText != state.range.selectedText) return kMsgLogWrongDevice;
  if (header.bytesPerSector != state.sectorBytes) return kMsgLogWrongDevice;
  // Every disk file is "Disk" + its number: a range the disk open now
  // cannot hold tells another disk file apart. An image of the disk holds
  // the same sectors, so a log of either serves the other.
  if (const std::optional<VirtualDiskFacts> facts = OpenDiskFacts(state.source)) {
    const std::uint64_t diskSectors = std::max(facts->diskSizeBytes, facts->inventorySizeBytes) / state.sectorBytes;
    if (header.endSector > diskSectors) return kMsgLogWrongDevice;
  }
  return std::nullopt;
}

RecoveryMode ModeOfLog(const LogHeader& header) {
  if (header.rangeRun) return RecoveryMode::PartitionData;
  return header.formattedMode ? RecoveryMode::FormattedData : RecoveryMode::DeletedData;
}

void ApplyHeader(LogHeader& header, RecoveryLogState& state) {
  SelectedRange& range = state.range;
  range.firstSector = header.firstSector;
  range.endSector = header.endSector;
  range.fileSystem = header.rangeFileSystem;
  range.diskNumber = header.disk;
  range.partitionIndex = header.partition == kNoPartition ? std::int16_t{-1} : std::int16_t{header.partition};
  range.partitionText = header.volumeText;
  state.boot = header.boot;
  state.parameters.boot = header.analysisBoot;
  state.parameters.fileSystem = header.analysedFileSystem;
  state.wizard.mode = ModeOfLog(header);
  state.wizard.rangeMode = header.rangeRun;
  state.wizard.formattedMode = header.formattedMode;
  state.wizard.rangeRun = header.rangeRun;
  state.wizard.imagingMode = false;
  state.flags = AnalysisRunFlags{};
  state.flags.logLoaded = true;
  state.store.ClearStore();
  state.store.currentVolume = header.currentVolume;
  state.scanLists.Clear();
  state.volumes = std::move(header.volumes);
}

// ---------------------------------------------------------------- lists

// A name pair as the item's name (and, for a wide-named file, its stream).
struct LogName {
  std::u16string wide;
  std::string eightBit;
};

std::optional<LogName> ReadNamePair(LogCursor& in) {
  auto wide = in.ShortWide();
  const auto count = in.U8();
  if (!wide || !count) return std::nullopt;
  auto eightBit = in.Chars(*count);
  if (!eightBit) return std::nullopt;
  return LogName{std::move(*wide), std::move(*eightBit)};
}

// Which of the two names is the item's, and the stream the other may carry.
void TakeName(const LogName& name, ItemName& itemName, std::u16string* stream) {
  if (name.wide.empty()) {
    itemName = ItemName{name.eightBit, {}};
    return;
  }
  itemName = ItemName{{}, name.wide};
  if (stream != nullptr) *stream = Utf8ToUtf16(name.eightBit);
}

bool ReadScanDir(LogCursor& in, ScanDirRecord& dir) {
  std::optional<std::uint32_t> volume;
  const auto times = ReadTimes(in, volume);
  const auto indexLcn = in.U32();
  const auto parent = in.U32();
  const auto recordSector = in.U32();
  const auto indexLcnAgain = in.U32();
  const auto own = in.U32();
  const auto deleted = in.U8();
  const auto name = ReadNamePair(in);
  if (!times || !indexLcn || !parent || !recordSector || !indexLcnAgain || !own || !deleted || !name) return false;
  dir.times = *times;
  dir.volumeNumber = static_cast<std::int32_t>(*volume);
  dir.indexLcn = *indexLcn;
  dir.parentNumber = *parent;
  dir.recordSector = *recordSector;
  dir.ownNumber = *own;
  dir.deleted = static_cast<char>(*deleted);
  dir.wideName = name->wide;
  return true;
}

bool ReadScanFile(LogCursor& in, ScanFileRecord& file) {
  std::optional<std::uint32_t> countAtScan;
  const auto times = ReadTimes(in, countAtScan);
  const auto size = in.U64();
  const auto parent = in.U32();
  const auto recordSector = in.U64();
  const auto own = in.U32();
  const auto deleted = in.U8();
  const auto name = ReadNamePair(in);
  if (!times || !size || !parent || !recordSector || !own || !deleted || !name) return false;
  file.times = *times;
  file.fileCountAtScan = static_cast<std::int32_t>(*countAtScan);
  file.size = *size;
  file.parentNumber = *parent;
  file.recordSector = *recordSector;
  file.ownNumber = *own;
  file.deleted = static_cast<char>(*deleted);
  file.wideName = name->wide;
  file.stream = Utf8ToUtf16(name->eightBit);
  return true;
}

// A folder record, added to the store through AddFolder.
bool LoadFolder(LogCursor& in, Store& store, std::u16string& shownName) {
  const auto treeItem = in.U32();
  std::optional<std::uint32_t> volume;
  const auto times = ReadTimes(in, volume);
  const auto parent = in.U32();
  const auto recordSector = in.U64();
  const auto own = in.U32();
  const auto kind = in.U8();
  const auto deleted = in.U8();
  const auto name = ReadNamePair(in);
  if (!treeItem || !times || !parent || !recordSector || !own || !kind || !deleted || !name) return false;
  NewFolder folder;
  TakeName(*name, folder.name, nullptr);
  folder.deleted = static_cast<char>(*deleted);
  folder.parentNumber = *parent;
  folder.ownNumber = *own;
  folder.recordSector = *recordSector;
  folder.times = *times;
  folder.volumeNumber = static_cast<std::uint16_t>(*volume);
  store.AddFolder(folder);
  shownName = name->wide.empty() ? EightBitToUtf16(name->eightBit) : name->wide;
  return true;
}

bool LoadFile(LogCursor& in, Store& store, std::u16string& shownName) {
  std::optional<std::uint32_t> insertion;
  const auto times = ReadTimes(in, insertion);
  const auto size = in.U64();
  const auto parent = in.U32();
  const auto recordSector = in.U64();
  const auto own = in.U32();
  const auto kind = in.U8();
  const auto deleted = in.U8();
  const auto name = ReadNamePair(in);
  if (!times || !size || !parent || !recordSector || !own || !kind || !deleted || !name) return false;
  NewFile file;
  TakeName(*name, file.name, &file.stream);
  file.deleted = static_cast<char>(*deleted);
  file.size = *size;
  file.parentNumber = *parent;
  file.ownNumber = *own;
  file.recordSector = *recordSector;
  file.times = *times;
  store.AddFile(file);
  shownName = name->wide.empty() ? EightBitToUtf16(name->eightBit) : name->wide;
  return true;
}

enum class ReadStep { On, Damaged, Stopped, Abandoned };

// Reads one list: its count, bounded by what is left, then each record,
// with progress and a checkpoint after each.
class ListLoader {
 public:
  ListLoader(AnalysisJob& job, LogCursor& in) : job_(job), in_(in), percent_(job) {}

  template <typename ReadRecord>
  ReadStep Load(std::uint64_t minBytes, ReadRecord&& readRecord) {
    const auto count = in_.U32();
    if (!count || !CountFits(in_, *count, minBytes)) return ReadStep::Damaged;
    std::u16string name;
    for (std::uint32_t i = 0; i < *count; ++i) {
      if (!readRecord(name)) return ReadStep::Damaged;
      job_.ReportItem(name);
      percent_.Show(in_.offset(), in_.size());
      if (!job_.worker.checkpoint()) return job_.worker.abandoned() ? ReadStep::Abandoned : ReadStep::Stopped;
    }
    return ReadStep::On;
  }

 private:
  AnalysisJob& job_;
  LogCursor& in_;
  StepPercent percent_;
};

ReadStep LoadLists(AnalysisJob& job, LogCursor& in, bool withScanLists) {
  ListLoader loader(job, in);
  ReadStep step = ReadStep::On;
  const auto then = [&](auto&& load) {
    if (step == ReadStep::On) step = load();
  };
  if (withScanLists) {
    then([&] {
      return loader.Load(kScanDirMinBytes, [&](std::u16string& name) {
        ScanDirRecord dir;
        if (!ReadScanDir(in, dir)) return false;
        name = dir.wideName;
        job.scanLists.AddScanDir(dir);
        return true;
      });
    });
    then([&] {
      return loader.Load(kScanFileMinBytes, [&](std::u16string& name) {
        ScanFileRecord file;
        if (!ReadScanFile(in, file)) return false;
        name = file.wideName;
        job.scanLists.AddScanFile(file);
        return true;
      });
    });
  }
  then([&] {
    return loader.Load(kFolderMinBytes, [&](std::u16string& name) { return LoadFolder(in, job.store, name); });
  });
  then([&] { return loader.Load(kFileMinBytes, [&](std::u16string& name) { return LoadFile(in, job.store, name); }); });
  return step;
}

}  // namespace

std::filesystem::path RecoveryLogPath(const std::filesystem::path& chosen) {
  const std::string name = chosen.filename().string();
  const bool hasExtension = name.size() > kLogExtension.size() && EndsWithIgnoringCase(name, kLogExtension);
  if (hasExtension) return chosen;
  std::filesystem::path withExtension = chosen;
  withExtension += std::string(kLogExtension);
  return withExtension;
}

std::u16string_view CutLogName(std::u16string_view name) {
  if (name.size() <= kLogNameUnits) {
    // A name read back whole may still end in half a pair another writer cut.
    if (!name.empty() && name.size() == kLogNameUnits && name.back() >= 0xD800 && name.back() <= 0xDBFF) {
      return name.substr(0, kLogNameUnits - 1);
    }
    return name;
  }
  const char16_t last = name[kLogNameUnits - 1];
  const bool splitsPair = last >= 0xD800 && last <= 0xDBFF;
  return name.substr(0, splitsPair ? kLogNameUnits - 1 : kLogNameUnits);
}

std::optional<std::string_view> SaveRecoveryLog(const RecoveryLogState& state, const std::filesystem::path& path,
                                                bool withScanLists) {
  if (path.filename().empty()) return kMsgLogNoPath;
  std::string temporary;
  const int fd = MakeTemporaryBeside(path, temporary);
  if (fd < 0) return kMsgLogCreateFailed;
  LogWriter out(fd);
  bool written = WriteLog(out, state, withScanLists);
  written = ::close(fd) == 0 && written;
  if (written) written = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!written) {
    ::unlink(temporary.c_str());
    return kMsgLogCreateFailed;
  }
  return std::nullopt;
}

std::optional<std::string_view> LoadRecoveryLogHeader(const std::filesystem::path& path, const LogTableSizes& tables,
                                                      RecoveryLogState& state, LoadedLog& loaded) {
  if (path.empty()) return kMsgLogNoPath;
  const auto file = File::OpenReadOnly(path);
  if (!file || !IsRegularFile(path)) return kMsgLogOpenFailed;
  LogCursor in(*file, 0);
  auto header = ReadHeaderFields(in);
  if (!header) return kMsgLogInvalid;
  if (header->rangeRun && !ReadCandidates(in, header->bytesPerSector, header->volumes)) return kMsgLogInvalid;
  if (const auto refusal = RefuseHeader(*header, tables, state)) return refusal;
  loaded = LoadedLog{path, in.offset(), header->scanLists};
  ApplyHeader(*header, state);
  return std::nullopt;
}

LogListsOutcome LoadRecoveryLogLists(AnalysisJob& job, const LoadedLog& log) {
  const auto file = File::OpenReadOnly(log.path);
  if (!file) {
    job.prompts.ShowMessage(kMsgLogUnableToOpen);
    return LogListsOutcome::Refused;
  }
  job.store.ClearStore();
  job.scanLists.Clear();
  LogCursor in(*file, log.dataOffset);
  switch (LoadLists(job, in, log.scanLists)) {
    case ReadStep::On:
      return LogListsOutcome::Loaded;
    case ReadStep::Stopped:
      return LogListsOutcome::Stopped;
    case ReadStep::Abandoned:
      return LogListsOutcome::Abandoned;
    case ReadStep::Damaged:
      break;
  }
  job.store.ClearStore();
  job.scanLists.Clear();
  job.prompts.ShowMessage(kMsgLogInvalid);
  return LogListsOutcome::Refused;
}

}  // namespace korv
