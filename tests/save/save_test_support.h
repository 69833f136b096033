// What the save tests share: a session analysed over a fixture disk or a
// volume held in memory, scripted answers to the save's questions, and one
// call that saves the session's selection.
#pragma once

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/session.h"
#include "save/extraction.h"
#include "save/result_selection.h"
#include "save/save_walk.h"
#include "support/memory_disk.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv::test {

using Json = nlohmann::json;

inline Json ReadJson(const std::filesystem::path& path) {
  std::ifstream in(path);
  return Json::parse(in);
}

class ScriptedSaveQuestions final : public SaveQuestions {
 public:
  std::deque<ReplaceReply> replaceAnswers;
  ReplaceReply replaceDefault{ReplaceAnswer::Yes, false};
  std::deque<CopyErrorAnswer> copyErrorAnswers;
  CopyErrorAnswer copyErrorDefault = CopyErrorAnswer::Skip;

  std::vector<std::filesystem::path> replaceAsked;
  std::vector<std::filesystem::path> copyErrorAsked;

  ReplaceReply AskReplace(std::string_view question, const std::filesystem::path& path) override {
    EXPECT_EQ(question, kQuestionReplace);
    replaceAsked.push_back(path);
    if (replaceAnswers.empty()) return replaceDefault;
    const ReplaceReply reply = replaceAnswers.front();
    replaceAnswers.pop_front();
    return reply;
  }

  CopyErrorAnswer AskCopyError(std::string_view question, const std::filesystem::path& path) override {
    EXPECT_EQ(question, kQuestionCopyError);
    copyErrorAsked.push_back(path);
    if (copyErrorAnswers.empty()) return copyErrorDefault;
    const CopyErrorAnswer answer = copyErrorAnswers.front();
    copyErrorAnswers.pop_front();
    return answer;
  }
};

// Records what the progress dialog is shown; `onPiece` runs after each
// piece, where a test presses a button.
class RecordingSaveProgress final : public SaveProgressSink {
 public:
  std::map<SaveField, std::string> last;
  std::vector<int> filePercents;
  std::vector<int> overallPercents;
  std::function<void()> onPiece;

  void SetText(SaveField field, std::string_view text) override { last[field] = std::string(text); }
  void SetFilePercent(int percent) override { filePercents.push_back(percent); }
  void SetOverallPercent(int percent) override {
    overallPercents.push_back(percent);
    if (onPiece) onPiece();
  }
};

// A session whose analysis has run, and everything a save of it needs.
struct SavedVolume {
  TempDir dir;
  ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  NullProgress analysisSink;
  AnalysisProgress analysisProgress{analysisSink};
  std::unique_ptr<MemoryDisk> disk;

  SaveFilters filters;
  SaveState state;
  ScriptedSaveQuestions questions;
  RecordingSaveProgress saveSink;
  SaveProgress saveProgress{saveSink};
  RecordingProgress evaluationSink;
  std::optional<std::uint64_t> freeBytes = 1ULL << 50;

  // Partition `partition` of a disk file, through the whole Next path.
  bool AnalyseDisk(const std::filesystem::path& file, int partition) {
    if (!session.OpenVirtualFile(file).accepted || !session.SelectPartition(partition)) return false;
    return session.Analyse(RecoveryMode::DeletedData, analysisProgress) == AnalysisOutcome::DeletedRunEnded;
  }

  // Loads a volume file into memory (so a test may change its bytes) and
  // selects the volume at firstSector under `treeName`.
  void LoadVolume(const std::filesystem::path& file, std::uint64_t firstSector, std::uint64_t sectorCount,
                  std::string_view treeName) {
    const auto bytes = ReadFileBytes(file);
    disk = std::make_unique<MemoryDisk>(bytes.size() / 512);
    std::copy(bytes.begin(), bytes.end(), disk->bytes.begin());
    session.source.kind = SourceKind::VirtualDisk;
    session.source.virtualDisk = disk.get();
    session.range.firstSector = firstSector;
    session.range.endSector = firstSector + sectorCount;
    session.range.fileSystem = test::FileSystemNamed(treeName);
  }

  bool AnalyseLoaded() {
    return session.AnalyseSelectedRange(RecoveryMode::DeletedData, analysisProgress) == AnalysisOutcome::DeletedRunEnded;
  }

  std::uint32_t rootNumber() const { return RootNumberOf(session.analysisParameters.fileSystem); }

  SaveOutcome Save(const std::filesystem::path& destination) {
    ExtractionSource source(session.sectors, session.analysisParameters);
    SaveJob job{source, session.store, filters, state, session.worker, prompts, questions, saveProgress};
    const auto freeBytesNow = freeBytes;
    return RunSave(job, evaluationSink,
                   SaveRequest{destination.string(), [freeBytesNow](const std::filesystem::path&) { return freeBytesNow; }});
  }
};


inline timespec ModificationTime(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {};
  return info.st_mtim;
}

}  // namespace korv::test
