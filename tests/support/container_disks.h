// The container files the fixtures make with qemu-img from one raw disk
// (basic.raw), each with the letter of the format that reads it.
#pragma once

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vdisk/formats.h"

namespace korv::test {

struct ContainerDisk {
  const char* file;
  char letter;
};

inline const std::vector<ContainerDisk>& ContainerDisks() {
  static const std::vector<ContainerDisk> kDisks = {
      {"basic-fixed.vhd", VirtualFormat::Vhd},
      {"basic-dynamic.vhd", VirtualFormat::Vhd},
      {"basic-dynamic.vhdx", VirtualFormat::Vhdx},
      {"basic-fixed.vhdx", VirtualFormat::Vhdx},
      {"basic-dynamic.vdi", VirtualFormat::Vdi},
      {"basic-fixed.vdi", VirtualFormat::Vdi},
      {"basic.qcow", VirtualFormat::Qcow},
      {"basic-v2.qcow2", VirtualFormat::Qcow},
      {"basic-v3.qcow2", VirtualFormat::Qcow},
      {"basic-compressed.qcow2", VirtualFormat::Qcow},
      {"basic.qed", VirtualFormat::Qed},
      {"basic.hdd", VirtualFormat::Parallels},
      {"basic-monolithicSparse.vmdk", VirtualFormat::Vmdk},
      {"basic-monolithicFlat.vmdk", VirtualFormat::Vmdk},
      {"basic-twoGbMaxExtentSparse.vmdk", VirtualFormat::Vmdk},
      {"basic-twoGbMaxExtentFlat.vmdk", VirtualFormat::Vmdk},
      {"basic-streamOptimized.vmdk", VirtualFormat::Vmdk},
  };
  return kDisks;
}

inline void PrintTo(const ContainerDisk& disk, std::ostream* out) { *out << disk.file; }

// A file name as a gtest parameter name.
inline std::string ParamName(std::string name) {
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

inline std::string ContainerDiskName(const ::testing::TestParamInfo<ContainerDisk>& info) {
  return ParamName(info.param.file);
}

}  // namespace korv::test
