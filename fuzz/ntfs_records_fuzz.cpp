// NTFS records on their own: the input as an MFT file record (fixups, the
// attribute walk, resident values, run lists, attribute lists) and as an
// index record. The first byte picks the record size in sectors and the
// cluster size the run lists are decoded with.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/boot_parameters.h"
#include "fs/ntfs/attribute_list.h"
#include "fs/ntfs/file_record.h"
#include "fs/ntfs/fixups.h"
#include "fs/ntfs/index_record.h"
#include "fs/ntfs/run_list.h"
#include "platform/bytes.h"

namespace {

void WalkAttributes(korv::ByteView record, const korv::BootParameters& boot) {
  korv::AttributeWalk walk(record);
  for (int step = 0; step < 4096; ++step) {
    const auto attribute = walk.Next();
    if (!attribute) return;
    attribute->name();
    attribute->compressionUnitClusters();
    if (attribute->nonResident()) {
      korv::DecodeAttributeRuns(*attribute, boot);
    } else if (const auto value = attribute->residentValue(); value && attribute->type() == 0x20) {
      korv::ParseAttributeList(*value);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  korv::BootParameters boot;
  boot.sectorsPerMftRecord = 1u << (data[0] & 3);
  boot.sectorsPerIndexRecord = 8;
  boot.sectorsPerCluster = 1u << ((data[0] >> 2) & 7);
  boot.cluster0Sector = 63;
  std::vector<std::uint8_t> record(data + 1, data + size);

  const korv::ByteView raw(record);
  korv::ParseIndexRecord(raw);
  korv::IsPlausibleFileRecord(raw);
  korv::ApplyFixups(record, record.size());
  const korv::ByteView fixed(record);
  korv::FileRecordBytes(fixed);
  korv::IsDirectoryRecord(fixed);
  korv::BaseRecordNumber(fixed);
  korv::OwnRecordNumber(fixed);
  korv::DirectoryNumberFromIndexRoot(fixed);
  korv::FirstIndexAllocationCluster(fixed);
  WalkAttributes(fixed, boot);
  korv::ListedRecords listed;
  korv::CollectListedRecords(fixed, listed);
  korv::ParseIndexRecord(fixed);
  return 0;
}
