#include "platform/inventory_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <nlohmann/json.hpp>

namespace korv {

namespace fs = std::filesystem;

namespace {
// An inventory larger than this is not ours: it is ignored, not parsed.
constexpr std::uintmax_t kMaxStoreBytes = 4 * 1024 * 1024;
}  // namespace

InventoryStore::InventoryStore(fs::path path) : path_(std::move(path)) {
  std::error_code ec;
  const auto size = fs::file_size(path_, ec);
  if (ec || size > kMaxStoreBytes) return;
  std::ifstream in(path_);
  const auto json = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return;
  for (const auto& [key, values] : json.items()) {
    if (!values.is_object()) continue;
    auto& stored = keys_[key];
    for (const auto& [name, value] : values.items()) {
      if (value.is_string()) stored[name] = value.get<std::string>();
    }
  }
}

fs::path InventoryStore::DefaultPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && *state == '/') return fs::path(state) / "korvane" / "inventory.json";
  const char* home = std::getenv("HOME");
  const fs::path base = (home && *home) ? fs::path(home) : fs::temp_directory_path();
  return base / ".local" / "state" / "korvane" / "inventory.json";
}

bool InventoryStore::SetValue(const std::string& key, const std::string& name, const std::string& value) {
  const auto found = keys_.find(key);
  if (found == keys_.end()) return false;
  found->second[name] = value;
  return true;
}

std::optional<std::string> InventoryStore::GetValue(const std::string& key, const std::string& name) const {
  const auto found = keys_.find(key);
  if (found == keys_.end()) return std::nullopt;
  const auto value = found->second.find(name);
  if (value == found->second.end()) return std::nullopt;
  return value->second;
}

namespace {

std::optional<std::string> FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file the user made read-only is left alone, whoever runs the program.
bool MadeReadOnly(const fs::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

// Writes only what changed: reading a disk that is registered already must
// not touch the file (its time included), and a read-only file is never
// replaced.
bool InventoryStore::Save() const {
  nlohmann::json json = nlohmann::json::object();
  for (const auto& [key, values] : keys_) json[key] = values;
  const std::string text = json.dump(2) + '\n';
  if (FileText(path_) == text) return true;
  if (MadeReadOnly(path_)) return false;
  std::error_code ec;
  fs::create_directories(path_.parent_path(), ec);
  const fs::path temporary = path_.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      fs::remove(temporary, ec);
      return false;
    }
  }
  fs::rename(temporary, path_, ec);
  if (!ec) return true;
  std::error_code ignored;
  fs::remove(temporary, ignored);
  return false;
}

}  // namespace korv
