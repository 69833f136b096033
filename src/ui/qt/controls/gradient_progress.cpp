#include "ui/qt/controls/gradient_progress.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/pictures.h"

namespace korv {

CGradientProgressCtrl::CGradientProgressCtrl(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CGradientProgressCtrl::SetPosition(int position) {
  const int clamped = std::clamp(position, 0, 100);
  if (clamped == position_) return;
  position_ = clamped;
  update();
}

QString CGradientProgressCtrl::text() const { return ToQString(ProgressPercentText(position_)); }

// The bar is drawn into an off-screen pixmap and copied in one go.
void CGradientProgressCtrl::paintEvent(QPaintEvent*) {
  const qreal ratio = devicePixelRatioF();
  QPixmap buffer(size() * ratio);
  buffer.setDevicePixelRatio(ratio);
  {
    QPainter painter(&buffer);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRect area = rect();
    painter.fillRect(area, QColor(art::kRaisedSurface));

    const int filled = (area.width() - 2) * position_ / 100;
    if (filled > 0) {
      QLinearGradient gradient(area.left(), 0, area.right(), 0);
      gradient.setColorAt(0, QColor(art::kAccentLight));
      gradient.setColorAt(1, QColor(art::kAccentDark));
      painter.fillRect(QRect(1, 1, filled, area.height() - 2), gradient);
    }
    painter.setPen(QColor(art::kMutedInk));
    painter.drawRect(area.adjusted(0, 0, -1, -1));

    // The number reads white over the bar and dark past its end.
    const QString percent = text();
    painter.setPen(QColor(art::kInk));
    painter.drawText(area, Qt::AlignCenter, percent);
    painter.setClipRect(QRect(1, 1, filled, area.height() - 2));
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignCenter, percent);
  }
  QPainter(this).drawPixmap(0, 0, buffer);
}

}  // namespace korv
