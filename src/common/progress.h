// Progress of a worker, as both front ends show it. The engine decides what
// to show and when (refresh rules included); a sink only displays it.
#pragma once

#include <string_view>

namespace korv {

// The places a progress page shows text in.
enum class ProgressField { Banner, Step, Status, Items, Size, Sector, Elapsed };

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetText(ProgressField field, std::string_view text) = 0;
  // 0 to 100.
  virtual void SetPercent(int percent) = 0;
  // One step of the moving bar shown while the amount of work is unknown.
  virtual void Pulse() = 0;
};

// A sink that shows nothing.
class NullProgress final : public ProgressSink {
 public:
  void SetText(ProgressField, std::string_view) override {}
  void SetPercent(int) override {}
  void Pulse() override {}
};

}  // namespace korv
