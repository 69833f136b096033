// The wizard's colours for every widget: one light palette built from the
// brand colours of embedded_art.h and applied to the whole application, so
// pages, dialogs, lists, radio and check boxes read the same on a light or a
// dark desktop theme (the pictures are drawn for a light page). Widgets do
// not set colours of their own; the few that must (a heading, deleted rows)
// take them from art::.
#pragma once

#include <QPalette>

namespace korv {

QPalette WizardPalette();
// Replaces the application's palette (the desktop theme's) with the
// wizard's. Every window made afterwards, and every one shown now, uses it.
void ApplyWizardPalette();

}  // namespace korv
