// The disk inventory's key-value store: keys such as "KorvGeometry" and
// "KorvGeometry\Size", each holding named string values ("Disk0" ...), kept
// in one JSON file. Changes live in memory until Save().
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace korv {

class InventoryStore {
 public:
  // The store kept at `path`; what the file holds is loaded now (a missing or
  // unreadable file is an empty store).
  explicit InventoryStore(std::filesystem::path path);

  // $XDG_STATE_HOME/korvane/inventory.json, or ~/.local/state/... without it.
  static std::filesystem::path DefaultPath();

  const std::filesystem::path& path() const { return path_; }

  void CreateKey(const std::string& key) { keys_[key]; }
  void DeleteKey(const std::string& key) { keys_.erase(key); }
  // False when the key does not exist.
  bool SetValue(const std::string& key, const std::string& name, const std::string& value);
  std::optional<std::string> GetValue(const std::string& key, const std::string& name) const;

  // Writes the whole store to its file (through a temporary file and a
  // rename, so a reader never sees half of it). False when it cannot.
  bool Save() const;

 private:
  std::filesystem::path path_;
  std::map<std::string, std::map<std::string, std::string>> keys_;
};

}  // namespace korv
