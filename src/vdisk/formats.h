// The container formats this system reads, in one table. Everything that
// varies by format (its name and letter, its file extensions, the order in
// which a picked file is tried, how its reader is made and how the choice of
// a file of that format is accepted) is read from here.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "storage/virtual_disk.h"
#include "vdisk/open_result.h"

namespace korv {

// The letter that names a format's reader in the inventory and the log.
namespace VirtualFormat {
constexpr char Qcow = 'C';
constexpr char Qed = 'Q';
constexpr char Parallels = 'E';
constexpr char Vdi = 'D';
constexpr char Vhd = 'H';
constexpr char Vhdx = 'X';
constexpr char Vmdk = 'N';  // "none of the others": read as VMDK
}  // namespace VirtualFormat

// How accepting a file of the format goes on from what picking it found.
enum class Acceptance {
  AsOpened,       // the reader that opened the file is taken; a damaged file is refused
  WithParents,    // as AsOpened, and a differencing disk's parent chain must open too (VHD)
  TriedLast,      // not tried when a file is picked: any file no other format
                  // recognised is opened with this format when accepted (VMDK)
};

struct ContainerFormat {
  char letter;
  std::string_view name;                        // "VHD", "VHDX", ...
  std::span<const std::string_view> extensions;  // ".vhd", ... as the file dialog lists them
  int probeOrder;                               // formats tried when a file is picked go from low to high
  Acceptance acceptance;
  // A reader born open, or why the file could not be opened as this format.
  OpenAttempt<VirtualDisk> (*open)(const std::filesystem::path& path);
};

// Every format, in the order the file dialog lists them.
std::span<const ContainerFormat> ContainerFormats();

// The formats tried when a file is picked, in probe order (all but the one
// tried last).
std::span<const ContainerFormat* const> ProbedFormats();

// The format tried on acceptance for a file no other format recognised.
const ContainerFormat& LastTriedFormat();

// The format of a letter; nullptr for a letter no format has.
const ContainerFormat* FormatOfLetter(char letter);

// The format's name for a letter ("VHD", "VHDX", ...); empty for a letter no
// format has.
std::string_view FormatName(char letter);

// The open-file filter of the file dialog: every extension of the table,
// with the machine files (".vbox") that name a disk first.
std::string VirtualFileFilter();

}  // namespace korv
