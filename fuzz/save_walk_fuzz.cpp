// The whole save of Deleted Data Recovery's results from a FAT volume made
// of the input: the save filters (deleted choice, extension list, date
// ranges) and the replace and copy-error answers come from the input's
// last bytes, then every file is saved into a scratch destination, once or
// twice (the second time over what the first wrote).
//
// The names come from the disk, so whatever they hold, nothing may be
// written outside the destination and nothing written may be a link.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "save/save_walk.h"
#include "volume_support.h"

namespace {

namespace fs = std::filesystem;

// Files above this size are left unselected: the extraction of big files
// is the volume targets' work, and a claimed size of 4 GiB must not make
// one input write that much.
constexpr std::uint64_t kMaxSavedFileBytes = 1 << 20;

class InputQuestions final : public korv::SaveQuestions {
 public:
  korv::ReplaceReply replace;
  korv::CopyErrorAnswer copyError = korv::CopyErrorAnswer::Skip;
  korv::ReplaceReply AskReplace(std::string_view, const fs::path&) override { return replace; }
  korv::CopyErrorAnswer AskCopyError(std::string_view, const fs::path&) override { return copyError; }
};

korv::CalendarDate DateFrom(FuzzedDataProvider& input) {
  return {input.ConsumeIntegralInRange<int>(korv::kFirstListedYear, korv::kLastListedYear),
          input.ConsumeIntegralInRange<int>(1, 12), input.ConsumeIntegralInRange<int>(1, 31)};
}

void ReadFilters(FuzzedDataProvider& input, korv::SaveFilters& filters, InputQuestions& questions) {
  filters.deletedChoice = static_cast<korv::DeletedChoice>(input.ConsumeIntegralInRange<int>(0, 2));
  const int extensions = input.ConsumeIntegralInRange<int>(0, 3);
  for (int i = 0; i < extensions; ++i) filters.AddExtension(input.ConsumeRandomLengthString(8));
  for (int kind = 0; kind < 3; ++kind) {
    if (!input.ConsumeBool()) continue;
    const korv::CalendarDate from = DateFrom(input);
    filters.SetDateRange(static_cast<korv::DateKind>(kind), from, DateFrom(input));
  }
  questions.replace.answer = static_cast<korv::ReplaceAnswer>(input.ConsumeIntegralInRange<int>(0, 2));
  questions.replace.forAll = input.ConsumeBool();
  questions.copyError = static_cast<korv::CopyErrorAnswer>(input.ConsumeIntegralInRange<int>(0, 2));
}

void UnselectBigFiles(korv::Store& store) {
  std::vector<korv::FileId> big;
  store.ForEachFileInOrder([&](korv::FileId id) {
    if (store.file(id).size > kMaxSavedFileBytes) big.push_back(id);
  });
  for (const korv::FileId id : big) store.SetFileSelected(id, korv::kFlagNo);
}

// `destination` must be the only thing in `scratch`, and everything in it
// a plain file or folder.
void RequireNothingOutside(const fs::path& scratch, const fs::path& destination) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(scratch, ec)) {
    korv::fuzz::Require(entry.path() == destination, "the save wrote outside its destination");
  }
  for (auto it = fs::recursive_directory_iterator(destination, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    korv::fuzz::Require(!it->is_symlink(), "the save wrote a link");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The settings are read from the end, the volume is the rest.
  FuzzedDataProvider input(data, size);
  const std::size_t geometry = input.ConsumeIntegralInRange<std::size_t>(0, korv::fuzz::kFatGeometryCount - 1);
  const bool twice = input.ConsumeBool();
  korv::fuzz::VolumeSession volume(korv::fuzz::FatDiskSectors(geometry));
  korv::Session& session = volume.session;
  InputQuestions questions;
  ReadFilters(input, session.saveFilters, questions);
  const std::vector<std::uint8_t> bytes = input.ConsumeRemainingBytes<std::uint8_t>();
  korv::fuzz::MakeFatVolume(volume, geometry, bytes);
  session.AnalyseSelectedRange(korv::RecoveryMode::DeletedData, volume.progress);
  korv::SelectEverything(session.store);
  UnselectBigFiles(session.store);

  const fs::path scratch = korv::fuzz::EmptyScratchFolder("save");
  const fs::path destination = scratch / "to";
  korv::ExtractionSource source(session.sectors, session.analysisParameters);
  korv::NullSaveProgress saveSink;
  korv::SaveProgress saveProgress(saveSink);
  korv::NullProgress evaluationSink;
  korv::SaveJob job{source, session.store, session.saveFilters, session.saveState, session.worker,
                    volume.prompts, questions, saveProgress};
  const korv::SaveRequest request{destination.string(), [](const fs::path&) { return std::optional<std::uint64_t>{}; }};
  for (int pass = 0; pass < (twice ? 2 : 1); ++pass) korv::RunSave(job, evaluationSink, request);
  RequireNothingOutside(scratch, destination);
  return 0;
}
