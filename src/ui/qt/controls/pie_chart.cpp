#include "ui/qt/controls/pie_chart.h"

#include <QPainter>
#include <algorithm>
#include <array>

#include "ui/qt/controls/embedded_art.h"

namespace korv {

namespace {

// The chart's own colours, used in turn for slices given none.
constexpr std::array<QRgb, 8> kSliceColours = {0xFF0F5E7A, 0xFFF2A93B, 0xFF4CA38B, 0xFFD9534F,
                                               0xFF7A6FD0, 0xFF8FB339, 0xFF3AA6D9, 0xFFB0707A};
constexpr int kMargin = 8;
constexpr int kLegendSwatch = 12;

}  // namespace

CPieChartWnd::CPieChartWnd(QWidget* parent) : QWidget(parent) {}

void CPieChartWnd::SetTitle(const QString& title) {
  title_ = title;
  update();
}

void CPieChartWnd::AddSlice(const QString& label, double percent, QColor colour) {
  if (!colour.isValid()) colour = QColor(kSliceColours[slices_.size() % kSliceColours.size()]);
  slices_.push_back({label, std::clamp(percent, 0.0, 100.0), colour});
  update();
}

void CPieChartWnd::Clear() {
  slices_.clear();
  update();
}

void CPieChartWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);

  QFont titleFont = font();
  titleFont.setBold(true);
  painter.setFont(titleFont);
  painter.setPen(QColor(art::kInk));
  const int titleHeight = QFontMetrics(titleFont).height() + kMargin;
  painter.drawText(QRect(kMargin, kMargin / 2, width() - 2 * kMargin, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   title_);
  painter.setFont(font());

  const int side = std::max(0, std::min(height() - titleHeight - 2 * kMargin, width() * 2 / 5 - kMargin));
  const QRect pie(kMargin, titleHeight + kMargin, side, side);
  painter.setPen(QPen(Qt::white, 1));
  if (slices_.empty()) {
    painter.setBrush(QColor(art::kDisabled));
    painter.drawEllipse(pie);
  }
  // Angles in 1/16 degree, clockwise from twelve o'clock.
  int start = 90 * 16;
  for (const Slice& slice : slices_) {
    const int span = -static_cast<int>(slice.percent * 360.0 * 16.0 / 100.0 + 0.5);
    painter.setBrush(slice.colour);
    painter.drawPie(pie, start, span);
    start += span;
  }

  const int lineHeight = std::max(kLegendSwatch, fontMetrics().height()) + 4;
  const int legendLeft = pie.right() + 2 * kMargin;
  const int textLeft = legendLeft + kLegendSwatch + 6;
  const int textWidth = width() - textLeft - kMargin;
  int y = pie.top();
  for (const Slice& slice : slices_) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(slice.colour);
    painter.drawRect(legendLeft, y + (lineHeight - kLegendSwatch) / 2, kLegendSwatch, kLegendSwatch);
    painter.setPen(QColor(art::kInk));
    // A long label gives way to its percentage.
    const QString percent = QStringLiteral(" (%1 %)").arg(slice.percent, 0, 'f', 1);
    const int labelWidth = textWidth - fontMetrics().horizontalAdvance(percent);
    const QString line = fontMetrics().elidedText(slice.label, Qt::ElideRight, std::max(0, labelWidth)) + percent;
    painter.drawText(QRect(textLeft, y, textWidth, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, line);
    y += lineHeight;
  }
}

}  // namespace korv
