// What the end-to-end tests share: the container formats of the test disk,
// the manifests, and korvane-cli runs in a private scratch folder.
#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/container_disks.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv::e2e {

using Json = nlohmann::json;
namespace fs = std::filesystem;

// basic.raw in every container format make-disks.sh writes, with the format
// letter the selection gives it.
using Container = test::ContainerDisk;

inline const std::vector<Container>& Containers() { return test::ContainerDisks(); }

using test::ParamName;

inline std::string DiskPath(const std::string& file) { return (test::TestDisksDir() / file).string(); }

inline std::string SamplePath() { return std::string(KORV_SOURCE_DIR) + "/samples/sample.vhd"; }

inline Json ReadJson(const fs::path& path) {
  std::ifstream in(path);
  return Json::parse(in);
}

inline const Json& Manifest() {
  static const Json manifest = ReadJson(test::TestDisksDir() / "manifest.json");
  return manifest;
}

// The manifest's record of one disk file; null when it has none.
inline const Json& ManifestDisk(const std::string& file) {
  static const Json kNone = nullptr;
  for (const Json& disk : Manifest()["disks"]) {
    if (disk["file"] == file) return disk;
  }
  return kNone;
}

// The entries of partition `index` (from 1) of basic.raw.
inline Json PartitionEntries(int index) {
  for (const Json& partition : ManifestDisk("basic.raw")["partitions"]) {
    if (partition["index"] == index) return partition["entries"];
  }
  return Json::array();
}

inline std::uint64_t PartitionFirstSector(int index) {
  for (const Json& partition : ManifestDisk("basic.raw")["partitions"]) {
    if (partition["index"] == index) return partition["firstSector"];
  }
  return 0;
}

// An upper-case 8.3 name: FAT keeps it without long-name entries, so once
// deleted it shows "_" for its first letter, as the Sleuth Kit does too.
inline bool IsShortUpperName(const std::string& name) {
  const auto dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3 || extension.find('.') != std::string::npos) {
    return false;
  }
  for (const char c : name) {
    if (c == ' ' || std::islower(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// The path the program shows for a manifest path: on FAT, every deleted 8.3
// component along it has lost its first letter.
inline std::string ShownPath(const std::string& path, const std::map<std::string, bool>& deletedByPath, bool fat) {
  std::string shown;
  std::string prefix;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    std::string component = path.substr(start, slash - start);
    prefix += (prefix.empty() ? "" : "/") + component;
    const auto deleted = deletedByPath.find(prefix);
    if (fat && deleted != deletedByPath.end() && deleted->second && IsShortUpperName(component)) component[0] = '_';
    shown += (shown.empty() ? "" : "/") + component;
    start = slash + 1;
  }
  return shown;
}

// What a listing says of one item, compared between the manifest and the
// program.
struct Item {
  std::string kind;
  bool deleted = false;
  std::uint64_t size = 0;
  std::string sha256;  // manifest files only

  bool operator==(const Item& other) const {
    return kind == other.kind && deleted == other.deleted && size == other.size;
  }
};

// The manifest's entries by the path the program shows them under. An empty
// FAT file owns no cluster and is not reported, so it is left out.
inline std::map<std::string, Item> ExpectedItems(const Json& entries, bool fat) {
  std::map<std::string, bool> deletedByPath;
  for (const Json& entry : entries) deletedByPath[entry["path"]] = entry["deleted"];
  std::map<std::string, Item> items;
  for (const Json& entry : entries) {
    Item item{entry["kind"], entry["deleted"], entry.value("size", std::uint64_t{0}), entry.value("sha256", "")};
    if (fat && item.kind == "file" && item.size == 0) continue;
    items[ShownPath(entry["path"], deletedByPath, fat)] = item;
  }
  return items;
}

// The file-system's own items (NTFS metadata files, "$"-named) and the
// "Lost" folder are found besides what the manifest lists.
inline bool IsSystemItem(const std::string& path) {
  return path == "Lost" || path.starts_with("Lost/") || path.starts_with('$');
}

// What was saved below `folder`, the file system's own files left out.
inline std::map<std::string, std::string> SavedFiles(const fs::path& folder) {
  std::map<std::string, std::string> saved;
  for (const auto& [path, sum] : test::Sha256Below(folder)) {
    if (!IsSystemItem(path)) saved[path] = sum;
  }
  return saved;
}

// The items of an `analyze --json` report, system items left out.
inline std::map<std::string, Item> FoundItems(const Json& report) {
  std::map<std::string, Item> items;
  for (const Json& found : report["items"]) {
    const std::string path = found["path"];
    if (IsSystemItem(path)) continue;
    items[path] = Item{found["kind"], found["deleted"], found["size"], ""};
  }
  return items;
}

// Lines saying where two listings differ; empty when they agree.
inline std::vector<std::string> Differences(const std::map<std::string, Item>& expected,
                                            const std::map<std::string, Item>& found) {
  std::vector<std::string> lines;
  for (const auto& [path, item] : expected) {
    const auto it = found.find(path);
    if (it == found.end()) {
      lines.push_back("missing: " + path);
    } else if (!(it->second == item)) {
      lines.push_back("differs: " + path + " (" + it->second.kind + (it->second.deleted ? " deleted " : " live ") +
                      std::to_string(it->second.size) + ", expected " + item.kind +
                      (item.deleted ? " deleted " : " live ") + std::to_string(item.size) + ")");
    }
  }
  for (const auto& [path, item] : found) {
    if (!expected.contains(path)) lines.push_back("unexpected: " + path);
  }
  return lines;
}

// A korvane-cli run with its inventory in its own scratch folder.
class CliTest {
 protected:
  test::CliRun Cli(const std::vector<std::string>& args) { return test::RunCli(args, scratch_.path()); }
  fs::path Scratch(const std::string& name) const { return scratch_ / name; }

  test::TempDir scratch_;
};

}  // namespace korv::e2e
