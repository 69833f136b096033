// korvane-cli: the recovery engine without a window.
#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>
#include <streambuf>
#include <string>

#include "cli/commands.h"
#include "common/file_system_kind.h"

namespace {

constexpr const char* kVersion = KORV_VERSION;

// Passes what a stream writes on, remembering how much was written and the
// last line, so that a command asked for JSON that failed before printing
// any can still answer in JSON.
class WatchedStream final : public std::streambuf {
 public:
  WatchedStream(std::ostream& stream, bool keepLines)
      : stream_(stream), target_(stream.rdbuf()), keepLines_(keepLines) {
    stream_.rdbuf(this);
  }
  ~WatchedStream() override { stream_.rdbuf(target_); }
  WatchedStream(const WatchedStream&) = delete;
  WatchedStream& operator=(const WatchedStream&) = delete;

  std::size_t written() const { return written_; }
  const std::string& lastLine() const { return last_.empty() ? previous_ : last_; }

 protected:
  int overflow(int c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    Note(static_cast<char>(c));
    return target_->sputc(static_cast<char>(c));
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    if (keepLines_) {
      for (std::streamsize i = 0; i < count; ++i) Note(text[i]);
    } else {
      written_ += static_cast<std::size_t>(count);
    }
    return target_->sputn(text, count);
  }
  int sync() override { return target_->pubsync(); }

 private:
  void Note(char c) {
    ++written_;
    if (!keepLines_) return;
    if (c == '\r') {  // a progress line being redrawn
      last_.clear();
      return;
    }
    if (c != '\n') {
      last_.push_back(c);
      return;
    }
    if (!last_.empty()) previous_ = std::move(last_);
    last_.clear();
  }

  std::ostream& stream_;
  std::streambuf* target_;
  bool keepLines_;
  std::size_t written_ = 0;
  std::string last_;
  std::string previous_;
};

void AddInventoryOption(CLI::App& command, std::string& inventory) {
  command.add_option("--inventory", inventory, "The disk inventory file (default: the user's state folder)");
}

// The file systems a typed range can be given.
std::vector<std::string> FileSystemChoices() {
  using korv::FileSystemKind;
  std::vector<std::string> names;
  for (const FileSystemKind kind :
       {FileSystemKind::Ntfs, FileSystemKind::Fat32, FileSystemKind::Fat16, FileSystemKind::Fat12}) {
    names.emplace_back(korv::FileSystemName(kind));
  }
  return names;
}

// The options that say which part of which disk file to analyse.
void AddSourceOptions(CLI::App& command, korv::cli::SourceChoice& source) {
  command.add_option("IMAGE", source.image, "The virtual disk file (or a .vbox naming one), or an image folder")->required();
  command.add_option("--partition", source.partition, "Partition number, from 1, as 'partitions' lists them")
      ->check(CLI::PositiveNumber);
  command.add_option("--first", source.first, "First sector of a typed range");
  command.add_option("--end", source.end, "End sector of a typed range");
  command.add_option("--fs", source.fileSystem, "File system of a typed range")
      ->transform(CLI::IsMember(FileSystemChoices(), CLI::ignore_case));
  command.add_option("--mode", source.mode, "Recovery mode")
      ->transform(CLI::IsMember({"deleted", "formatted", "partition"}, CLI::ignore_case));
  command.add_option("--volume", source.volume, "Partition mode: the found volume to use, from 1, as listed")
      ->check(CLI::PositiveNumber);
  command.add_option("--load-log", source.loadLog, "Load this recovery log instead of analysing");
  AddInventoryOption(command, source.inventory);
}

// The disk file and the partition or typed range of the commands that need
// no file system (carve, image).
void AddRangeOptions(CLI::App& command, korv::cli::SourceChoice& source) {
  command.add_option("IMAGE", source.image, "The virtual disk file (or a .vbox naming one), or an image folder")
      ->required();
  command.add_option("--partition", source.partition, "Partition number, from 1, as 'partitions' lists them")
      ->check(CLI::PositiveNumber);
  command.add_option("--first", source.first, "First sector of a typed range");
  command.add_option("--end", source.end, "End sector of a typed range");
}

// The search criteria analyze and recover share.
void AddSearchOptions(CLI::App& command, korv::cli::SearchFilterOptions& search) {
  command.add_option("--name", search.name,
                     "Only items whose name matches: * and ? as wildcards, else a part of the name; any case");
  command.add_option("--deleted", search.deleted, "Deleted items: include, exclude or only")
      ->transform(CLI::IsMember({"include", "exclude", "only"}, CLI::ignore_case));
  command.add_option("--date", search.date,
                     "Only items whose date lies in a range: created|modified|accessed:YYYY-MM-DD..YYYY-MM-DD");
  command.add_option("--size", search.size,
                     "Only files whose size lies in a range: MIN..MAX in bytes or with K, M, G (1K..2M); "
                     "MAX 0 sets no limit; folders are left out");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Korvane Vireon: recovers files from virtual-machine disk files.", "korvane-cli"};
  app.set_version_flag("--version", std::string("korvane-cli ") + kVersion);
  app.require_subcommand(1);

  korv::cli::ProbeOptions probe;
  auto* probeCommand = app.add_subcommand("probe", "Recognise a disk file and say whether it can be worked on.");
  probeCommand->add_option("IMAGE", probe.image, "The virtual disk file (or a .vbox naming one), or an image folder")->required();
  probeCommand->add_flag("--json", probe.json, "Print JSON");
  AddInventoryOption(*probeCommand, probe.inventory);

  korv::cli::PartitionsOptions partitions;
  auto* partitionsCommand = app.add_subcommand("partitions", "List the partitions of a disk file.");
  partitionsCommand->add_option("IMAGE", partitions.image, "The virtual disk file (or a .vbox naming one), or an image folder")->required();
  partitionsCommand->add_flag("--json", partitions.json, "Print JSON");
  AddInventoryOption(*partitionsCommand, partitions.inventory);

  korv::cli::ReadOptions read;
  auto* readCommand = app.add_subcommand("read", "Write the bytes of a run of sectors of a disk file.");
  readCommand->add_option("IMAGE", read.image, "The virtual disk file")->required();
  readCommand->add_option("--first", read.first, "First sector")->required();
  readCommand->add_option("--count", read.count, "Number of sectors")->required();
  readCommand->add_option("--output", read.output, "Write to this file instead of standard output");
  readCommand->add_option("--bad-sectors", read.badSectors, "What to do with unreadable sectors")
      ->transform(CLI::IsMember({"retry", "skip"}, CLI::ignore_case));
  AddInventoryOption(*readCommand, read.inventory);

  korv::cli::AnalyzeOptions analyze;
  auto* analyzeCommand = app.add_subcommand("analyze", "Analyse a partition or range and list what was found.");
  AddSourceOptions(*analyzeCommand, analyze.source);
  analyzeCommand->add_flag("--json", analyze.json, "Print JSON");
  analyzeCommand
      ->add_option("--save-log", analyze.saveLog,
                   "Write the recovery log of the run to this file (\".kvfr\" appended when missing)")
      ->excludes("--load-log");
  analyzeCommand->add_option("--bad-sectors", analyze.badSectors, "What to do with unreadable sectors")
      ->transform(CLI::IsMember({"retry", "skip"}, CLI::ignore_case));
  AddSearchOptions(*analyzeCommand, analyze.search);

  korv::cli::RecoverOptions recover;
  auto* recoverCommand = app.add_subcommand("recover", "Analyse, then save what was found into a folder.");
  AddSourceOptions(*recoverCommand, recover.source);
  recoverCommand->add_option("--output", recover.output, "The folder to save into")->required();
  recoverCommand->add_option("--select", recover.select, "A path as 'analyze' prints it (repeatable)");
  recoverCommand->add_option("--select-id", recover.selectIds, "An item's ID as 'analyze' prints it: a folder with its subtree, or a file (repeatable)");
  AddSearchOptions(*recoverCommand, recover.search);
  recoverCommand->add_option("--ext", recover.extensions, "Only files with these extensions, comma-separated");
  recoverCommand->add_option("--on-exists", recover.onExists, "An existing file: skip, overwrite or rename")
      ->transform(CLI::IsMember({"skip", "overwrite", "rename"}, CLI::ignore_case));
  recoverCommand->add_option("--bad-sectors", recover.badSectors, "What to do with unreadable sectors")
      ->transform(CLI::IsMember({"retry", "skip"}, CLI::ignore_case));
  recoverCommand->add_flag("--dry-run", recover.dryRun, "List the files that would be written; write nothing");
  recoverCommand->add_flag("-v,--verbose", recover.verbose, "List each file written, renamed, skipped or failed");
  recoverCommand->add_flag("--force", recover.force, "Save even when the files may not fit the free space");
  recoverCommand->add_flag("--json", recover.json, "Print JSON");

  korv::cli::ExtractOptions extract;
  auto* extractCommand = app.add_subcommand("extract", "Write one found file to standard output or a file.");
  AddSourceOptions(*extractCommand, extract.source);
  extractCommand->add_option("--id", extract.id, "The file's ID, as 'analyze' prints it")->required();
  extractCommand->add_option("--output", extract.output, "Write to this file instead of standard output");
  extractCommand->add_option("--bad-sectors", extract.badSectors, "What to do with unreadable sectors")
      ->transform(CLI::IsMember({"retry", "skip"}, CLI::ignore_case));

  korv::cli::CarveOptions carve;
  auto* carveCommand = app.add_subcommand("carve", "Find files by their signatures in a partition or range.");
  AddRangeOptions(*carveCommand, carve.source);
  carveCommand->add_option("--types", carve.types, "File types, comma-separated (JPEG,PNG,...), or 'all'")->required();
  carveCommand->add_option("--output", carve.output, "The folder to write into")->required();
  carveCommand->add_flag("--json", carve.json, "Print JSON");
  carveCommand->add_flag("--whole-sectors", carve.wholeSectors,
                         "End files at whole sectors (the sector holding the end, plus one) instead of exactly");
  carveCommand->add_option("--bad-sectors", carve.badSectors, "What to do with unreadable sectors")
      ->transform(CLI::IsMember({"retry", "skip"}, CLI::ignore_case));
  AddInventoryOption(*carveCommand, carve.source.inventory);

  korv::cli::ImageOptions image;
  auto* imageCommand = app.add_subcommand("image", "Copy a partition, a range or the whole disk into an image folder.");
  AddRangeOptions(*imageCommand, image.source);
  imageCommand->add_flag("--whole", image.whole, "The whole disk, from sector 0");
  imageCommand->add_option("--output", image.output, "The image folder to write DiskImage0.dmg, ... into")->required();
  imageCommand->add_flag("--split", image.split, "Write 2 GB pieces");
  imageCommand->add_option("--bad-sectors", image.badSectors, "What to do with unreadable sectors")
      ->transform(CLI::IsMember({"retry", "skip"}, CLI::ignore_case));
  imageCommand->add_flag("--json", image.json, "Print JSON");
  AddInventoryOption(*imageCommand, image.source.inventory);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    // Bad arguments are refused input; --help and --version are not errors.
    return status == 0 ? 0 : korv::cli::kExitRefused;
  }
  const bool json = (probeCommand->parsed() && probe.json) || (partitionsCommand->parsed() && partitions.json) ||
                    (analyzeCommand->parsed() && analyze.json) || (recoverCommand->parsed() && recover.json) || (carveCommand->parsed() && carve.json) ||
                    (imageCommand->parsed() && image.json);
  WatchedStream out(std::cout, false);
  WatchedStream err(std::cerr, true);
  int status = korv::cli::kExitRefused;
  if (probeCommand->parsed()) status = korv::cli::RunProbe(probe);
  if (partitionsCommand->parsed()) status = korv::cli::RunPartitions(partitions);
  if (readCommand->parsed()) status = korv::cli::RunRead(read);
  if (analyzeCommand->parsed()) status = korv::cli::RunAnalyze(analyze);
  if (recoverCommand->parsed()) status = korv::cli::RunRecover(recover);
  if (extractCommand->parsed()) status = korv::cli::RunExtract(extract);
  if (carveCommand->parsed()) status = korv::cli::RunCarve(carve);
  if (imageCommand->parsed()) status = korv::cli::RunImage(image);
  // A script asking for JSON always gets an object, failures included.
  if (json && status != korv::cli::kExitDone && out.written() == 0) {
    std::cout << nlohmann::json{{"message", err.lastLine()}, {"status", status}}.dump(2) << '\n';
  }
  return status;
}
