// Labels of the pages: CLabel with its own font, weight, colour and
// background mode (headings, message texts), and CTransparentStatic, a text
// drawn over the page without a background.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>

namespace korv {

// `base` with its size multiplied by `factor`, in the unit it was given in
// (points, or pixels for a font set by pixel size).
QFont ScaledFont(QFont base, double factor);
inline constexpr double kHeadingFontScale = 1.25;

class CLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CLabel(QWidget* parent = nullptr);
  // A multiple of the application's font size, so the label follows the
  // desktop's font setting (1.25 for headings).
  CLabel& SetFontScale(double factor);
  CLabel& SetBold(bool bold);
  CLabel& SetTextColor(const QColor& colour);
  CLabel& SetTransparent(bool transparent);
};

class CTransparentStatic : public QLabel {
  Q_OBJECT
 public:
  explicit CTransparentStatic(QWidget* parent = nullptr);
  // Sets the text and has the parent repaint the area under it.
  void SetText(const QString& text);
};

}  // namespace korv
