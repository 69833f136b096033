#include <iostream>
#include <nlohmann/json.hpp>

#include "app/session.h"
#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "common/size_text.h"

namespace korv::cli {

namespace {

struct DiskListing {
  std::string disk;
  std::vector<const SourceNode*> partitions;
  std::uint32_t sectorBytes = 512;

  std::uint64_t BytesOf(const SourceNode& node) const {
    return node.endSector > node.firstSector ? (node.endSector - node.firstSector) * std::uint64_t{sectorBytes} : 0;
  }
};

void PrintText(const DiskListing& listing) {
  std::cout << listing.disk << '\n';
  if (listing.partitions.empty()) std::cout << "  (no partitions found)\n";
  for (const SourceNode* node : listing.partitions) {
    std::cout << "  " << node->slot + 1 << "  " << node->text << "  " << FileSystemName(node->fileSystem)
              << "  first sector " << node->firstSector << "  end sector " << node->endSector << "  "
              << FormatSizeText(listing.BytesOf(*node)) << '\n';
  }
}

void PrintJson(const DiskListing& listing) {
  nlohmann::json partitions = nlohmann::json::array();
  for (const SourceNode* node : listing.partitions) {
    partitions.push_back({{"number", node->slot + 1},
                          {"label", node->text},
                          {"fileSystem", FileSystemName(node->fileSystem)},
                          {"firstSector", node->firstSector},
                          {"endSector", node->endSector},
                          {"sizeBytes", listing.BytesOf(*node)}});
  }
  std::cout << nlohmann::json{{"disk", listing.disk}, {"partitions", partitions}}.dump(2) << '\n';
}

}  // namespace

int RunPartitions(const PartitionsOptions& options) {
  CliPrompts prompts(BadSectorAnswer::SkipAll);
  Session session(prompts, SessionOptions{options.inventory});
  const VirtualFileSelection selection = session.OpenVirtualFile(options.image);
  if (!selection.accepted) {
    std::cerr << selection.message << '\n';
    return kExitRefused;
  }
  const std::string problem = session.sourceTree.Fill(session.OpenDiskFacts());
  if (!problem.empty()) std::cerr << problem << '\n';

  DiskListing listing;
  listing.sectorBytes = session.sectors.sectorBytes();
  for (const SourceNode& node : session.sourceTree.nodes()) {
    if (node.kind == SourceNodeKind::Disk) listing.disk = node.text;
    if (node.kind == SourceNodeKind::Partition) listing.partitions.push_back(&node);
  }
  if (options.json) {
    PrintJson(listing);
  } else {
    PrintText(listing);
  }
  return kExitDone;
}

}  // namespace korv::cli
