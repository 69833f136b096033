#include "ui/qt/controls/wizard_palette.h"

#include <QApplication>
#include <QColor>

#include "ui/qt/controls/embedded_art.h"

namespace korv {

QPalette WizardPalette() {
  const QColor surface(art::kSurface);
  const QColor ink(art::kInk);
  const QColor muted(art::kMutedInk);
  const QColor raised(art::kRaisedSurface);
  QPalette palette(ink, raised, QColor(Qt::white), QColor(art::kDisabled), muted, ink, surface);
  palette.setColor(QPalette::Window, surface);
  palette.setColor(QPalette::WindowText, ink);
  palette.setColor(QPalette::Base, surface);
  palette.setColor(QPalette::AlternateBase, raised);
  palette.setColor(QPalette::Text, ink);
  palette.setColor(QPalette::Button, raised);
  palette.setColor(QPalette::ButtonText, ink);
  palette.setColor(QPalette::BrightText, QColor(Qt::white));
  palette.setColor(QPalette::Highlight, QColor(art::kAccent));
  palette.setColor(QPalette::HighlightedText, QColor(Qt::white));
  palette.setColor(QPalette::Link, QColor(art::kLink));
  palette.setColor(QPalette::LinkVisited, QColor(art::kAccentDark));
  palette.setColor(QPalette::ToolTipBase, surface);
  palette.setColor(QPalette::ToolTipText, ink);
  palette.setColor(QPalette::PlaceholderText, muted);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Disabled, role, muted);
  }
  palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(art::kDisabled));
  return palette;
}

void ApplyWizardPalette() { QApplication::setPalette(WizardPalette()); }

}  // namespace korv
