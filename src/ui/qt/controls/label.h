// Labels of the pages: CLabel with its own font, weight, colour and
// background mode (headings, message texts), and CTransparentStatic, a text
// drawn over the page without a background.
#pragma once

#include <QColor>
#include <QLabel>

namespace korv {

class CLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CLabel(QWidget* parent = nullptr);
  CLabel& SetFontName(const QString& family);
  // Points, scaled to the screen's density by Qt.
  CLabel& SetFontSize(int points);
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
