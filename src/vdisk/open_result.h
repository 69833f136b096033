// What opening a file as one format gives: a reader born open, or the answer
// and the check that refused the file.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace korv {

enum class OpenResult : int {
  NotThisFormat = 0,
  Opened = 1,
  Damaged = 2,     // damaged or unsupported
  CannotOpen = 3,  // missing, locked by another program, no access
};

// A reader's verdict on a file, with the check that decided it. The reason
// is a short fixed text (never built from disk bytes); empty when the file
// opened as a sound disk.
struct OpenVerdict {
  OpenResult result = OpenResult::NotThisFormat;
  std::string_view reason;
};

inline constexpr OpenVerdict kOpenedVerdict{OpenResult::Opened, {}};
inline OpenVerdict NotThisFormat(std::string_view reason) { return {OpenResult::NotThisFormat, reason}; }
inline OpenVerdict Damaged(std::string_view reason) { return {OpenResult::Damaged, reason}; }
inline OpenVerdict CannotOpen(std::string_view reason) { return {OpenResult::CannotOpen, reason}; }

inline constexpr std::string_view kReasonCannotOpenFile = "the file cannot be opened";

// The factory's answer. The reader is set exactly when the result is
// Opened; it is open from its birth and closes its files when destroyed.
template <typename Reader>
struct OpenAttempt {
  OpenResult result = OpenResult::NotThisFormat;
  std::unique_ptr<Reader> reader;
  std::string reason;

  OpenAttempt() = default;
  OpenAttempt(OpenResult answer, std::unique_ptr<Reader> opened, std::string why)
      : result(answer), reader(std::move(opened)), reason(std::move(why)) {}
  OpenAttempt(OpenVerdict verdict)  // NOLINT: a refusal reads as its verdict
      : result(verdict.result), reason(verdict.reason) {}
  // A typed attempt hands its reader on as the interface it implements.
  template <typename Derived>
  OpenAttempt(OpenAttempt<Derived>&& other)  // NOLINT: widening, like unique_ptr's
      : result(other.result), reader(std::move(other.reader)), reason(std::move(other.reason)) {}

  bool opened() const { return result == OpenResult::Opened; }
};

// The attempt of a reader that ran its checks: kept when they passed,
// dropped (closing what it opened) when they did not.
template <typename Reader>
OpenAttempt<Reader> Conclude(std::unique_ptr<Reader> reader, OpenVerdict verdict) {
  if (verdict.result != OpenResult::Opened) reader.reset();
  return {verdict.result, std::move(reader), std::string(verdict.reason)};
}

}  // namespace korv
