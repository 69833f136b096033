// Progress of a worker, as both front ends show it. The engine decides what
// to show and when (refresh rules included); a sink only displays it.
#pragma once

#include <string_view>

namespace korv {

// The places a progress page shows text in.
enum class ProgressField {
  Banner,        // what the run does, in one or two lines
  StepPicture,   // the name of the step picture beside the banner
  Mode,          // "Mode     :" line
  Device,        // "Device   :" line
  Capacity,      // "Capacity :" line
  SizeLabel,     // the label of the size line ("Total Size ..." or "Indexes Found ...")
  Size,          // total size of the files found
  Folders,       // folders found
  Files,         // files found
  LastName,      // the name of the last item found
  Sector,        // the current-sector control
  IndexCount,    // INDX records found by a formatted NTFS scan
  Status,        // the status line under the details
  Elapsed,       // the clock
};

// Groups of controls a run shows or hides as one.
enum class ProgressGroup {
  Details,     // every detail line (Hide/Show Details)
  SectorLine,  // the current-sector control and its label
  Status,      // the status lines
};

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetText(ProgressField field, std::string_view text) = 0;
  // 0 to 100.
  virtual void SetPercent(int percent) = 0;
  // One step of the moving bar shown while the amount of work is unknown.
  virtual void Pulse() = 0;
  virtual void SetVisible(ProgressGroup, bool) {}
};

// A sink that shows nothing.
class NullProgress final : public ProgressSink {
 public:
  void SetText(ProgressField, std::string_view) override {}
  void SetPercent(int) override {}
  void Pulse() override {}
};

}  // namespace korv
