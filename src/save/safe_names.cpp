#include "save/safe_names.h"

#include <algorithm>
#include <system_error>

#include "platform/bytes.h"

namespace korv {

namespace {

constexpr int kUniqueNameTries = 10000;
// An extension longer than this is not kept when a name is shortened: it
// would leave too little of the stem.
constexpr std::size_t kMaxKeptExtensionBytes = 32;

bool ContinuesCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The longest prefix of `text` of at most `maxBytes` bytes that ends on a
// character boundary.
std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  while (end > 0 && ContinuesCharacter(text[end])) --end;
  return text.substr(0, end);
}

// The stem and extension (with its dot) of a name; no extension when the
// name has no "." or only a leading one.
std::pair<std::string_view, std::string_view> SplitExtension(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

}  // namespace

std::string ShortenName(std::string_view name, std::size_t maxBytes) {
  if (name.size() <= maxBytes) return std::string(name);
  const auto [stem, extension] = SplitExtension(name);
  if (extension.empty() || extension.size() > kMaxKeptExtensionBytes || extension.size() >= maxBytes) {
    return std::string(CutAtCharacter(name, maxBytes));
  }
  std::string shortened(CutAtCharacter(stem, maxBytes - extension.size()));
  shortened += extension;
  return shortened;
}

std::string SafeHostName(std::u16string_view name, std::uint32_t emptyNumber) {
  std::string text = Utf16ToUtf8(name);
  for (char& c : text) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (text.empty()) return std::string(kNoNamePrefix) + std::to_string(emptyNumber);
  if (text == ".") return "_";
  if (text == "..") return "__";
  return ShortenName(text);
}

std::string SavedFileName(const FoundFile& file, bool namesMayHoldColons) {
  std::string name = SafeHostName(file.name, file.insertionNumber);
  if (file.stream.empty() || namesMayHoldColons) return name;
  std::replace(name.begin(), name.end(), ':', '_');
  return name;
}

bool LiesInside(const std::filesystem::path& folder, const std::filesystem::path& path) {
  const std::filesystem::path relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
  if (relative.empty() || relative == ".") return false;
  return *relative.begin() != "..";
}

bool SomethingAt(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found && !error;
}

void MakeUniqueName(SaveTarget& target) {
  const auto [stem, extension] = [&] {
    const auto dot = target.name.rfind('.');
    const std::string_view name = target.name;
    return dot == std::string::npos ? std::pair{name, std::string_view{}}
                                    : std::pair{name.substr(0, dot), name.substr(dot)};
  }();
  for (int i = 0; i < kUniqueNameTries; ++i) {
    const std::string number = std::to_string(i);
    std::string candidate(CutAtCharacter(stem, kMaxHostNameBytes - std::min(kMaxHostNameBytes, number.size() + extension.size())));
    candidate += number;
    candidate += extension;
    if (!SomethingAt(target.folder / candidate)) {
      target.name = std::move(candidate);
      return;
    }
  }
}

bool CreateFolderPath(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

}  // namespace korv
