// The toolbar row of the mode, source and results pages: "Help", "Load log",
// "Save Log", "Settings" and "Search" as four-frame picture buttons with
// their captions.
#pragma once

#include <QWidget>
#include <array>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"

namespace korv {

class PageToolbar : public QWidget {
  Q_OBJECT
 public:
  explicit PageToolbar(QWidget* parent = nullptr);
  void SetButtonEnabled(ToolbarButton button, bool enabled);
  CHoverButton* button(ToolbarButton which) const;

 signals:
  // `button` is a ToolbarButton.
  void clicked(int button);

 private:
  std::array<CHoverButton*, kAllToolbarButtons.size()> buttons_{};
};

}  // namespace korv
