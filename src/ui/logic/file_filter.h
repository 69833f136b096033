// Open-file filters as the system writes them ("Text (*.txt)|*.txt||": pairs
// of a description and its patterns separated by "|", patterns by ";",
// ended by an empty pair) turned into the form Qt's file dialogs take
// ("Text (*.txt);;All (*)": entries separated by ";;", patterns by blanks).
#pragma once

#include <string>
#include <string_view>

namespace korv {

// Each entry keeps its description up to its "(" and lists the patterns of
// its pattern part, trimmed; the first entry stays the first (the default).
std::string QtFileFilter(std::string_view pipeFilter);

// The virtual file selection's filter as Linux file dialogs show it: every
// disk file the program opens first (the default), then each format by its
// name ("VHD (*.vhd)", "QCOW (*.qcow *.qcow2 *.img)", ...), raw disk images,
// the program's own images, and "All files (*)".
std::string DiskFileFilter();

}  // namespace korv
