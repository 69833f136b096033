#include "ui/logic/preview_rules.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <memory>
#include <optional>

#include "engine/store_names.h"
#include "fs/ntfs/record_values.h"
#include "platform/bytes.h"
#include "ui/logic/item_texts.h"

namespace korv {

namespace {

// ---------------------------------------------------------------------------
// Kinds

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EndsWithIgnoringCase(std::u16string_view name, std::string_view ending) {
  if (name.size() < ending.size()) return false;
  const std::u16string_view tail = name.substr(name.size() - ending.size());
  for (std::size_t i = 0; i < ending.size(); ++i) {
    if (AsciiLower(tail[i]) != AsciiLower(static_cast<char16_t>(ending[i]))) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// RTF

// Groups nested deeper than this are read as skipped text, so a document of
// nothing but "{" costs no more than its own size.
constexpr std::size_t kMaxRtfDepth = 256;
// Control words longer than this are not RTF; parameters longer than this
// are cut (the value is clamped anyway).
constexpr std::size_t kMaxControlWordLetters = 32;
constexpr std::size_t kMaxParameterDigits = 10;

// Groups whose text is not part of the document.
constexpr std::array<std::string_view, 21> kSkippedDestinations = {
    "fonttbl", "colortbl",  "stylesheet",        "info",    "pict",      "object",    "header",
    "headerl", "headerr",   "headerf",           "footer",  "footerl",   "footerr",   "footerf",
    "fldinst", "listtable", "listoverridetable", "rsidtbl", "themedata", "datastore", "latentstyles"};

bool IsSkippedDestination(std::string_view word) {
  for (const std::string_view skipped : kSkippedDestinations) {
    if (word == skipped) return true;
  }
  return false;
}

struct RtfGroupState {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool skip = false;      // a destination whose text is not shown
  int fallbackChars = 1;  // \ucN: characters after \uN that stand in for it
};

struct ControlWord {
  std::string_view word;
  std::optional<long> parameter;
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendCodePoint(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Reads one document front to back. Every step consumes at least one byte
// of input, and the group stack never grows past kMaxRtfDepth.
class RtfReader {
 public:
  explicit RtfReader(std::string_view document) : in_(document) { stack_.push_back({}); }

  std::vector<RtfRun> Read() {
    while (at_ < in_.size()) Step();
    Flush(false);
    return std::move(runs_);
  }

 private:
  RtfGroupState& state() { return stack_.back(); }
  bool skipping() const { return overflowDepth_ > 0 || stack_.back().skip; }

  void Step() {
    const char c = in_[at_++];
    switch (c) {
      case '{':
        OpenGroup();
        return;
      case '}':
        CloseGroup();
        return;
      case '\\':
        ReadControl();
        return;
      case '\r':
      case '\n':
        return;  // line breaks of the file itself carry no meaning
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return;
        if (ConsumeFallback()) return;
        EmitByte(static_cast<unsigned char>(c));
    }
  }

  // Text read so far ends its run at every group boundary, so a run never
  // takes the formatting of a group it was not written in.
  void OpenGroup() {
    pendingFallback_ = 0;
    if (!skipping()) Flush(false);
    if (overflowDepth_ > 0 || stack_.size() >= kMaxRtfDepth) {
      ++overflowDepth_;
      return;
    }
    stack_.push_back(stack_.back());
  }

  void CloseGroup() {
    pendingFallback_ = 0;
    if (!skipping()) Flush(false);
    if (overflowDepth_ > 0) {
      --overflowDepth_;
      return;
    }
    if (stack_.size() > 1) stack_.pop_back();  // an unmatched "}" is passed over
  }

  void ReadControl() {
    if (at_ >= in_.size()) return;
    const char c = in_[at_];
    if (IsLetter(c)) {
      const ControlWord control = ReadControlWord();
      if (control.word == "bin") return SkipBinary(control.parameter.value_or(0));
      if (ConsumeFallback()) return;
      ApplyControlWord(control);
      return;
    }
    ++at_;
    if (c == '\'') {
      ReadHexByte();
      return;
    }
    if (c == '*') {
      SkipGroup();
      return;
    }
    if (ConsumeFallback()) return;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        EmitByte(static_cast<unsigned char>(c));
        return;
      case '~':
        EmitCodePoint(0x00A0);
        return;
      case '_':
        EmitCodePoint(0x2011);
        return;
      case '\r':
      case '\n':
        EndParagraph();
        return;
      default:
        return;  // "\-" (optional hyphen) and unknown symbols show nothing
    }
  }

  ControlWord ReadControlWord() {
    const std::size_t start = at_;
    while (at_ < in_.size() && IsLetter(in_[at_]) && at_ - start < kMaxControlWordLetters) ++at_;
    ControlWord control{in_.substr(start, at_ - start), std::nullopt};
    bool negative = false;
    if (at_ + 1 < in_.size() && in_[at_] == '-' && IsDigit(in_[at_ + 1])) {
      negative = true;
      ++at_;
    }
    if (at_ < in_.size() && IsDigit(in_[at_])) {
      long value = 0;
      std::size_t digits = 0;
      while (at_ < in_.size() && IsDigit(in_[at_])) {
        if (digits++ < kMaxParameterDigits) value = value * 10 + (in_[at_] - '0');
        ++at_;
      }
      control.parameter = negative ? -value : value;
    }
    if (at_ < in_.size() && in_[at_] == ' ') ++at_;  // the delimiter belongs to the word
    return control;
  }

  void ReadHexByte() {
    int value = 0;
    for (int i = 0; i < 2; ++i) {
      const int digit = at_ < in_.size() ? HexValue(in_[at_]) : -1;
      if (digit < 0) break;
      value = value * 16 + digit;
      ++at_;
    }
    if (ConsumeFallback()) return;
    EmitByte(static_cast<unsigned char>(value));
  }

  // True when the character just read stands in for a preceding \uN.
  bool ConsumeFallback() {
    if (pendingFallback_ == 0) return false;
    --pendingFallback_;
    return true;
  }

  void ApplyControlWord(const ControlWord& control) {
    const std::string_view word = control.word;
    if (overflowDepth_ > 0) return;
    if (IsSkippedDestination(word)) return SkipGroup();
    const bool on = control.parameter.value_or(1) != 0;
    if (word == "b") return SetFormat(&RtfGroupState::bold, on);
    if (word == "i") return SetFormat(&RtfGroupState::italic, on);
    if (word == "ul") return SetFormat(&RtfGroupState::underline, on);
    if (word == "ulnone") return SetFormat(&RtfGroupState::underline, false);
    if (word == "plain") {
      SetFormat(&RtfGroupState::bold, false);
      SetFormat(&RtfGroupState::italic, false);
      SetFormat(&RtfGroupState::underline, false);
      return;
    }
    if (word == "uc") {
      state().fallbackChars = static_cast<int>(std::clamp(control.parameter.value_or(1), 0L, 16L));
      return;
    }
    if (word == "u") return EmitUnicode(control.parameter.value_or(0));
    if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row") return EndParagraph();
    if (word == "tab" || word == "cell") return EmitCodePoint(U'\t');
    if (word == "emdash") return EmitCodePoint(0x2014);
    if (word == "endash") return EmitCodePoint(0x2013);
    if (word == "bullet") return EmitCodePoint(0x2022);
    if (word == "lquote") return EmitCodePoint(0x2018);
    if (word == "rquote") return EmitCodePoint(0x2019);
    if (word == "ldblquote") return EmitCodePoint(0x201C);
    if (word == "rdblquote") return EmitCodePoint(0x201D);
  }

  // Raw bytes follow that may hold anything, braces included.
  void SkipBinary(long count) {
    const auto bytes = static_cast<std::size_t>(std::max(0L, count));
    at_ += std::min(bytes, in_.size() - at_);
  }

  void SkipGroup() {
    if (overflowDepth_ > 0) return;
    if (!skipping()) Flush(false);
    state().skip = true;
  }

  void SetFormat(bool RtfGroupState::*field, bool on) {
    if (state().*field == on) return;
    if (!skipping()) Flush(false);
    state().*field = on;
  }

  void EmitUnicode(long parameter) {
    // The parameter is a signed 16-bit number: negative values stand for
    // the upper half of the range.
    const auto unit = static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter);
    pendingFallback_ = state().fallbackChars;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      highSurrogate_ = unit;
      return;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      const char16_t high = highSurrogate_;
      highSurrogate_ = 0;
      EmitCodePoint(high != 0 ? 0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00) : 0xFFFD);
      return;
    }
    EmitCodePoint(unit);
  }

  void EmitByte(unsigned char byte) {
    if (byte < 0x80) return EmitCodePoint(byte);
    const char text[1] = {static_cast<char>(byte)};
    const std::u16string wide = EightBitToUtf16(std::string_view(text, 1));
    EmitCodePoint(wide.empty() ? char32_t{0xFFFD} : char32_t{wide[0]});
  }

  void EmitCodePoint(char32_t c) {
    if (skipping()) return;
    if (c < 0x20 && c != U'\t') return;  // control characters are not text
    if (highSurrogate_ != 0) {           // a first half that no second half followed
      highSurrogate_ = 0;
      AppendCodePoint(text_, 0xFFFD);
    }
    AppendCodePoint(text_, c);
  }

  void EndParagraph() {
    if (skipping()) return;
    Flush(true);
  }

  // Ends the current run with the formatting in force.
  void Flush(bool paragraphEnd) {
    if (text_.empty() && !paragraphEnd) return;
    const RtfGroupState& current = state();
    runs_.push_back({std::move(text_), current.bold, current.italic, current.underline, paragraphEnd});
    text_.clear();
  }

  std::string_view in_;
  std::size_t at_ = 0;
  std::vector<RtfGroupState> stack_;
  std::size_t overflowDepth_ = 0;
  int pendingFallback_ = 0;
  char16_t highSurrogate_ = 0;
  std::string text_;
  std::vector<RtfRun> runs_;
};

// ---------------------------------------------------------------------------
// ZIP

struct ZipCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};

// libzip reads an entry's DOS date and time as local time; showing the
// local fields again gives back what the archive holds.
std::string ZipTimeText(std::time_t time) {
  std::tm fields{};
  if (localtime_r(&time, &fields) == nullptr) return {};
  const std::time_t asUtc = timegm(&fields);
  if (asUtc < -kNtfsSecondsBefore1970) return {};
  const auto seconds = static_cast<std::uint64_t>(asUtc + kNtfsSecondsBefore1970);
  return NtfsDateText(seconds * kNtfsTicksPerSecond);
}

}  // namespace

PreviewKind PreviewKindOf(std::u16string_view name) {
  constexpr std::string_view kPictureEndings[] = {"jpeg", ".jpg", ".bmp", ".png", ".gif", ".tif", ".dng", ".ico"};
  for (const std::string_view ending : kPictureEndings) {
    if (EndsWithIgnoringCase(name, ending)) return PreviewKind::Picture;
  }
  if (EndsWithIgnoringCase(name, ".rtf")) return PreviewKind::RichText;
  if (EndsWithIgnoringCase(name, ".zip")) return PreviewKind::Archive;
  return PreviewKind::None;
}

bool ExtractForPreview(std::u16string_view name, std::uint64_t size) {
  return PreviewKindOf(name) != PreviewKind::None && size <= kMaxPreviewBytes;
}

std::vector<RtfRun> ReadRtf(std::string_view document) { return RtfReader(document).Read(); }

std::string RtfPlainText(std::string_view document) {
  std::string text;
  for (const RtfRun& run : ReadRtf(document)) {
    text += run.text;
    if (run.paragraphEnd) text += '\n';
  }
  return text;
}

std::optional<std::vector<ZipEntry>> ListZipEntries(const std::string& path) {
  int error = 0;
  const std::unique_ptr<zip_t, ZipCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
  if (!archive) return std::nullopt;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  if (count < 0) return std::nullopt;

  std::vector<ZipEntry> entries;
  const auto listed = static_cast<zip_uint64_t>(std::min<zip_int64_t>(count, static_cast<zip_int64_t>(kMaxZipEntries)));
  entries.reserve(listed);
  for (zip_uint64_t i = 0; i < listed; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.get(), i, 0, &stat) != 0) continue;
    ZipEntry entry;
    if ((stat.valid & ZIP_STAT_NAME) != 0 && stat.name != nullptr) entry.name = stat.name;
    if ((stat.valid & ZIP_STAT_MTIME) != 0) entry.modified = ZipTimeText(stat.mtime);
    if ((stat.valid & ZIP_STAT_SIZE) != 0) entry.size = stat.size;
    if ((stat.valid & ZIP_STAT_COMP_SIZE) != 0) entry.compressedSize = stat.comp_size;
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace korv
