#include "volume_support.h"

#include "save/extraction.h"

namespace korv::fuzz {

namespace {

SessionOptions ScratchOptions() {
  SessionOptions options;
  options.inventoryPath = EmptyScratchFolder("state") / "inventory.json";
  options.findPhysicalDisks = false;
  return options;
}

test::MemoryDisk& ZeroedDisk(std::size_t sectors) {
  static test::MemoryDisk disk(0);
  disk.bytes.assign(sectors * kVirtualSectorBytes, 0);
  return disk;
}

}  // namespace

VolumeSession::VolumeSession(std::size_t diskSectors)
    : disk(ZeroedDisk(diskSectors)), session(prompts, ScratchOptions()) {
  session.source.kind = SourceKind::VirtualDisk;
  session.source.virtualDisk = &disk;
}

void VolumeSession::SelectVolume(std::uint64_t first, std::uint64_t count, FileSystemKind fileSystem) {
  session.range.firstSector = first;
  session.range.endSector = first + count;
  session.range.fileSystem = fileSystem;
}

void ExtractEveryFile(Session& session, const std::filesystem::path& folder, ExtractionLimits limits) {
  ExtractionSource source(session.sectors, session.analysisParameters);
  const std::filesystem::path out = folder / "extracted";
  std::size_t written = 0;
  session.store.ForEachFileInOrder([&](FileId id) {
    const FoundFile& file = session.store.file(id);
    if (written < limits.maxFiles && file.size <= limits.maxFileBytes) {
      ++written;
      ExtractFoundFile(source, file, out);
      return;
    }
    if (source.fileSystem() == FileSystemKind::Ntfs) {
      LocateNtfsData(source, file);
    } else {
      LocateFatData(source, file);
    }
  });
}

}  // namespace korv::fuzz
