// korvane-cli: the recovery engine without a window.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.h"

namespace {

constexpr const char* kVersion = "0.1.0";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Korvane Vireon: recovers files from virtual-machine disk files.", "korvane-cli"};
  app.set_version_flag("--version", std::string("korvane-cli ") + kVersion);
  app.require_subcommand(1);

  korv::cli::ProbeOptions probe;
  auto* probeCommand = app.add_subcommand("probe", "Recognise a disk file and say whether it can be worked on.");
  probeCommand->add_option("IMAGE", probe.image, "The virtual disk file (or a .vbox naming one)")->required();
  probeCommand->add_flag("--json", probe.json, "Print JSON");

  korv::cli::PartitionsOptions partitions;
  auto* partitionsCommand = app.add_subcommand("partitions", "List the partitions of a disk file.");
  partitionsCommand->add_option("IMAGE", partitions.image, "The virtual disk file (or a .vbox naming one)")->required();
  partitionsCommand->add_flag("--json", partitions.json, "Print JSON");

  korv::cli::ReadOptions read;
  auto* readCommand = app.add_subcommand("read", "Write the bytes of a run of sectors of a disk file.");
  readCommand->add_option("IMAGE", read.image, "The virtual disk file")->required();
  readCommand->add_option("--first", read.first, "First sector")->required();
  readCommand->add_option("--count", read.count, "Number of sectors")->required();
  readCommand->add_option("--output", read.output, "Write to this file instead of standard output");
  readCommand->add_option("--bad-sectors", read.badSectors, "What to do with unreadable sectors")
      ->check(CLI::IsMember({"retry", "skip"}));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    // Bad arguments are refused input; --help and --version are not errors.
    return status == 0 ? 0 : korv::cli::kExitRefused;
  }
  if (probeCommand->parsed()) return korv::cli::RunProbe(probe);
  if (partitionsCommand->parsed()) return korv::cli::RunPartitions(partitions);
  if (readCommand->parsed()) return korv::cli::RunRead(read);
  return korv::cli::kExitRefused;
}
