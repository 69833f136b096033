// The recovery log: the input as a ".kvfr" file, its header loaded for the
// virtual disk "Disk0" (as the seeds name it) and its lists replayed into
// the store. A log refused while its lists load must leave the store and
// the scan lists empty.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "app/session.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path inventory = std::filesystem::temp_directory_path() / "korv-fuzz-inventory.json";
  korv::fuzz::QuietPrompts prompts;
  korv::Session session(prompts, korv::SessionOptions{inventory, false});
  session.source.kind = korv::SourceKind::VirtualDisk;
  session.range.selectedText = "Disk0";
  const std::filesystem::path log = korv::fuzz::InputAsFile({data, size}, ".kvfr");
  if (session.LoadLogHeader(log)) return 0;

  korv::NullProgress sink;
  korv::AnalysisProgress progress(sink);
  if (session.ReplayLog(progress) != korv::AnalysisOutcome::CloseNoResults) return 0;
  const bool empty = session.store.folderCount() == 0 && session.store.fileCount() == 0 &&
                     session.scanLists.dirs.empty() && session.scanLists.files.empty();
  korv::fuzz::Require(empty, "a refused log left items behind");
  return 0;
}
