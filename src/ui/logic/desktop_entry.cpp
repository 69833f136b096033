#include "ui/logic/desktop_entry.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace korv {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The escapes of a string value: \s \n \t \r \\; any other backslash
// stays, for the Exec quoting rules to read.
std::string Unescape(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

std::vector<std::string> SplitList(std::string_view value) {
  std::vector<std::string> items;
  while (!value.empty()) {
    const std::size_t end = value.find(';');
    const std::string_view item = Trim(value.substr(0, end));
    if (!item.empty()) items.emplace_back(item);
    if (end == std::string_view::npos) break;
    value.remove_prefix(end + 1);
  }
  return items;
}

bool IsTrue(std::string_view value) { return value == "true"; }

std::string Folded(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return folded;
}

// Splits Exec into its words: a word is quoted with double quotes, in which
// a backslash escapes " ` $ and \; blanks separate words elsewhere.
std::optional<std::vector<std::string>> SplitExec(std::string_view exec) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size() && std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos) {
        word += exec[++i];
      } else {
        word += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      if (words.size() > kMaxExecArguments) return std::nullopt;
      continue;
    }
    inWord = true;
    if (c == '"') {
      quoted = true;
      continue;
    }
    word += c;
  }
  if (quoted) return std::nullopt;
  if (inWord) words.push_back(std::move(word));
  if (words.size() > kMaxExecArguments) return std::nullopt;
  return words;
}

bool IsFileCode(char code) { return code == 'f' || code == 'F' || code == 'u' || code == 'U'; }

// One word with its field codes expanded; nothing when the word was a
// dropped field code alone.
std::optional<std::string> ExpandWord(const std::string& word, const std::string& file, bool& fileGiven) {
  std::string out;
  bool dropped = false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%' || i + 1 == word.size()) {
      out += word[i];
      continue;
    }
    const char code = word[++i];
    if (code == '%') {
      out += '%';
    } else if (IsFileCode(code)) {
      out += file;
      fileGiven = true;
    } else {
      dropped = true;
    }
  }
  if (out.empty() && dropped) return std::nullopt;
  return out;
}

}  // namespace

std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text, std::string_view id) {
  text = text.substr(0, kMaxDesktopEntryBytes);
  DesktopEntry entry;
  entry.id = std::string(id);
  bool inGroup = false;
  bool application = false;
  bool hidden = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#' || line.size() > kMaxDesktopEntryLine) continue;
    if (line.front() == '[') {
      // Only the first group is the entry; the actions after it are not.
      if (inGroup) break;
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    if (!inGroup) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (key == "Type") application = value == "Application";
    if (key == "Name") entry.name = Unescape(value);
    if (key == "Exec") entry.exec = Unescape(value);
    if (key == "MimeType") entry.mimeTypes = SplitList(value);
    if (key == "Hidden") hidden = IsTrue(value);
    if (key == "NoDisplay") entry.noDisplay = IsTrue(value);
  }
  if (!application || hidden || entry.name.empty() || entry.exec.empty()) return std::nullopt;
  return entry;
}

std::vector<std::string> ExecArguments(std::string_view exec, const std::string& file) {
  const auto words = SplitExec(exec);
  // The program is named as it is; a field code in its place names none.
  if (!words || words->empty() || words->front().find('%') != std::string::npos) return {};
  std::vector<std::string> arguments;
  bool fileGiven = false;
  for (const std::string& word : *words) {
    if (auto expanded = ExpandWord(word, file, fileGiven)) arguments.push_back(std::move(*expanded));
  }
  if (arguments.empty() || arguments.front().empty()) return {};
  if (!fileGiven) arguments.push_back(file);
  return arguments;
}

std::vector<DesktopEntry> OrderForTypes(std::vector<DesktopEntry> entries, const std::vector<std::string>& types) {
  std::vector<DesktopEntry> ordered;
  std::set<std::string> seen;
  for (DesktopEntry& entry : entries) {
    if (!seen.insert(entry.id).second) continue;
    entry.declaresType = std::any_of(entry.mimeTypes.begin(), entry.mimeTypes.end(), [&](const std::string& type) {
      return std::find(types.begin(), types.end(), type) != types.end();
    });
    if (entry.declaresType || !entry.noDisplay) ordered.push_back(std::move(entry));
  }
  std::stable_sort(ordered.begin(), ordered.end(), [](const DesktopEntry& a, const DesktopEntry& b) {
    if (a.declaresType != b.declaresType) return a.declaresType;
    return Folded(a.name) < Folded(b.name);
  });
  return ordered;
}

}  // namespace korv
