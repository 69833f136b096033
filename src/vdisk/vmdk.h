// The VMDK reader: descriptor files with their extents, single sparse files
// with an embedded descriptor (monolithic and stream-optimised), and bare
// flat extents.
//
// A descriptor is a text file that names the disk's type, its geometry and
// its extents: flat extents hold raw data, sparse extents ("KDMV" files)
// hold grains found through a grain directory and grain tables, zero extents
// hold nothing. A sparse file that carries its own descriptor is a whole disk
// by itself. Stream-optimised files store every grain deflated, behind a
// small marker, and may keep their grain directory at the end of the file.
//
// Extents are read by their own kind, whatever the disk type text says; the
// text only tells the caller what kind of disk it is. Every value read from a
// file is checked against that file before it is used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/inflate.h"
#include "storage/virtual_disk.h"
#include "vdisk/formats.h"
#include "vdisk/l2_cache.h"
#include "vdisk/open_result.h"
#include "vdisk/stretch_reader.h"

namespace korv {

inline constexpr std::size_t kVmdkHeaderBytes = 512;
inline constexpr std::string_view kVmdkMagic = "KDMV";
inline constexpr std::string_view kVmdkDescriptorMark = "# Disk DescriptorFile";
// The first header's directory offset when the directory lies at the end of
// a stream-optimised file; the footer (a second header) gives the real one.
inline constexpr std::uint64_t kVmdkGdAtEnd = 0xFFFFFFFFFFFFFFFFull;
inline constexpr std::uint32_t kVmdkFlagZeroedGrains = 1u << 2;
inline constexpr std::uint32_t kVmdkFlagCompressed = 1u << 16;
inline constexpr std::uint32_t kVmdkFlagMarkers = 1u << 17;
inline constexpr std::uint16_t kVmdkCompressDeflate = 1;
// Bounds on header values, far above anything real tools write (128-sector
// grains, 512 entries per table), so that a damaged header cannot make the
// reader allocate gigabytes.
inline constexpr std::uint64_t kVmdkMaxGrainSectors = 1u << 16;
inline constexpr std::uint64_t kVmdkMaxTableEntries = 1u << 20;
inline constexpr std::uint64_t kVmdkMaxDirectoryBytes = 64u << 20;
inline constexpr std::uint64_t kVmdkMaxDescriptorBytes = 4u << 20;
// File bytes of grain tables kept in memory.
inline constexpr std::uint64_t kVmdkTableCacheBytes = 8u << 20;
// Sectors whose byte offsets still fit 64 bits.
inline constexpr std::uint64_t kVmdkMaxCapacity = 0xFFFFFFFFFFFFFFFFull / 512;

// The disk type texts the selection accepts ("flat" is a bare flat extent).
bool IsAcceptedVmdkType(std::string_view diskType);

// The sparse extent header, in host order.
struct VmdkSparseHeader {
  std::uint32_t version = 0;
  std::uint32_t flags = 0;
  std::uint64_t capacity = 0;          // sectors
  std::uint64_t grainSize = 0;         // sectors
  std::uint64_t descriptorOffset = 0;  // sectors; 0 = no embedded descriptor
  std::uint64_t descriptorSize = 0;    // sectors
  std::uint32_t tableEntries = 0;      // grain table entries per grain table
  std::uint64_t redundantDirectory = 0;  // sectors
  std::uint64_t directory = 0;           // sectors
  std::uint16_t compressAlgorithm = 0;

  bool compressed() const { return (flags & kVmdkFlagCompressed) != 0; }
  bool zeroedGrains() const { return (flags & kVmdkFlagZeroedGrains) != 0; }
};

// The header in `bytes` (at least 512 bytes), or nullopt when it does not
// start with "KDMV" or is cut short.
std::optional<VmdkSparseHeader> ParseVmdkSparseHeader(ByteView bytes);

enum class VmdkExtentKind { Flat, Sparse, Zero, Unsupported };

// One extent line of a descriptor, as written.
struct VmdkExtentLine {
  std::string access;    // "RW", "RDONLY" or "NOACCESS"
  std::string sizeText;  // sectors, decimal
  std::string typeText;  // "FLAT", "SPARSE", "VMFS", "ZERO", ...
  std::string fileName;  // as written; relative to the descriptor's folder
  std::uint64_t offset = 0;  // flat extents: first sector of the data in the file

  // The size in sectors; 0 when the text is no decimal number that fits.
  std::uint64_t sectors() const;
  VmdkExtentKind kind() const;
};

struct VmdkDescriptor {
  std::string createType;
  std::string cylinders;
  std::string heads;
  std::string sectorsPerTrack;
  std::vector<VmdkExtentLine> extents;  // in descriptor order
};

// Parses descriptor text. Lines end with a line feed; the text ends where
// its fourth zero byte lies (an embedded descriptor is padded with zeros).
VmdkDescriptor ParseVmdkDescriptor(std::span<const std::uint8_t> text);

class VmdkReader final : public StretchDisk {
 public:
  VmdkReader(const VmdkReader&) = delete;
  VmdkReader& operator=(const VmdkReader&) = delete;

  // Opens `path`:
  // - CannotOpen: the file (or the first extent, which exists) cannot be
  //   opened;
  // - NotThisFormat: a "KDMV" file without an embedded descriptor, or whose
  //   header is cut short;
  // - Damaged: a sparse header with a grain size or table size of 0 or
  //   beyond reason, an unsupported compression or extent kind, or a file
  //   that is no VMDK at all (another extension than ".vmdk", or smaller than
  //   one sector);
  // - Opened with the disk type text "Damaged": no usable grain directory,
  //   an embedded descriptor beyond the file, an empty extent list, an extent
  //   of size 0, a size beyond reason, a missing first extent (the attempt
  //   carries the reason, and the reader reads nothing);
  // - Opened with any other text: the disk's type. Only the accepted types
  //   (IsAcceptedVmdkType) are read; a disk of another type reads nothing.
  static OpenAttempt<VmdkReader> Open(const std::filesystem::path& path);

  char formatLetter() const override { return VirtualFormat::Vmdk; }
  // Sectors at or past the capacity are not served.
  using StretchDisk::ReadSector;
  using StretchDisk::ReadRun;  // one file read per contiguous stretch
  VirtualDiskFacts facts() const override;
  AllocationRun allocationAt(std::uint64_t sector) const override;

  // The descriptor's createType, "flat" for a bare flat extent, or
  // "Damaged" as Open says; empty when nothing was found.
  const std::string& diskTypeText() const { return diskType_; }
  std::uint64_t capacity() const { return capacity_; }  // sectors
  const std::string& cylindersText() const { return cylinders_; }
  const std::string& headsText() const { return heads_; }
  const std::string& sectorsPerTrackText() const { return sectorsPerTrack_; }
  std::size_t extentCount() const { return extents_.size(); }

 private:
  struct Extent {
    std::string storedName;              // as the descriptor writes it
    mutable std::filesystem::path path;  // resolved on first use
    mutable bool unreachable = false;    // no file of that name was found
    VmdkExtentKind kind = VmdkExtentKind::Unsupported;
    std::uint64_t firstSector = 0;        // on the virtual disk
    std::uint64_t sectors = 0;
    std::uint64_t fileOffsetSectors = 0;  // flat extents
  };
  // What the grain directory of a sparse extent gives, loaded on first use.
  struct SparseExtent {
    VmdkSparseHeader header;
    std::uint64_t sectorsPerTable = 0;
    std::vector<std::uint32_t> directory;
  };
  enum class SparseLoad { Ready, NotSparse, BadGeometry, NoDirectory };
  struct OpenFile {
    std::size_t extent = 0;
    std::unique_ptr<File> file;
    std::uint64_t size = 0;
  };

  VmdkReader() = default;

  OpenVerdict Load(const std::filesystem::path& path);
  OpenVerdict OpenDescriptorFile(const std::filesystem::path& path, std::unique_ptr<File> file, std::uint64_t size);
  OpenVerdict OpenSparseFile(const std::filesystem::path& path, std::unique_ptr<File> file, std::uint64_t size);
  OpenVerdict OpenBareFlat(const std::filesystem::path& path, std::unique_ptr<File> file, std::uint64_t size);
  void TakeTexts(const VmdkDescriptor& descriptor);
  // The first fault of the extent list; empty when the extents were built.
  std::string_view BuildExtents(const std::vector<VmdkExtentLine>& lines);
  OpenVerdict CheckFirstExtent();
  static SparseLoad LoadSparse(File& file, std::uint64_t fileSize, SparseExtent& out);

  // The open file of extent `index` (at most a few are kept open), or
  // nullptr when it cannot be found or opened.
  OpenFile* FileOf(std::size_t index) const;
  std::optional<std::filesystem::path> ResolveExtent(std::size_t index) const;
  const SparseExtent* SparseOf(std::size_t index) const;
  // The grain table of directory entry `directoryIndex` of sparse extent
  // `index`; an empty lease when it cannot be read.
  L2Cache::Lease TableOf(std::size_t index, std::uint64_t directoryIndex) const;
  const std::vector<std::uint8_t>* GrainOf(std::size_t index, std::uint64_t grainSector) const;

  std::size_t ExtentAt(std::uint64_t sector) const;
  ReadOutcome ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out) override;
  // The stretch that starts at `sector`: file data, zeros, something that
  // cannot be read, or a compressed grain (an Other stretch whose fileOffset
  // is the grain's sector).
  Stretch MapStretch(std::uint64_t sector, std::uint64_t limit) const override;
  Stretch SparseStretchAt(std::size_t index, std::uint64_t inExtent, std::uint64_t limit) const;
  ReadOutcome ServeCompressed(const Stretch& stretch, std::uint64_t firstSector, std::span<std::uint8_t> out) const;
  // The allocation state of the sparse extent from `inExtent` on, for at
  // most `limit` sectors: one grain, or one whole table when its directory
  // entry is 0.
  AllocationRun SparseStateAt(std::size_t index, std::uint64_t inExtent, std::uint64_t limit) const;

  std::string diskType_;
  std::string cylinders_;
  std::string heads_;
  std::string sectorsPerTrack_;
  std::uint64_t capacity_ = 0;
  std::filesystem::path descriptorPath_;  // extent names are relative to its folder
  std::vector<Extent> extents_;

  mutable std::vector<OpenFile> files_;  // most recently used first
  mutable std::vector<std::optional<SparseExtent>> sparse_;
  mutable std::vector<bool> sparseFailed_;
  // Grain tables of every sparse extent, known by extent and offset.
  mutable L2Cache tables_{0, TableByteOrder::Little, kVmdkTableCacheBytes, 4};
  mutable InflatedBlock grain_;  // the last grain inflated, by extent and sector
  mutable std::uint64_t grainTag_ = 0;  // gives each compressed stretch its own tag
};

}  // namespace korv
