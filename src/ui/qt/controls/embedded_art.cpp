#include "ui/qt/controls/embedded_art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

inline constexpr std::string_view kTagLine = "Recover lost files from virtual-machine disks";
inline constexpr std::string_view kStartupLine = "Data recovery for virtual disks";
inline constexpr QSize kStartupSize{440, 260};

QLinearGradient AccentGradient(const QRectF& area) {
  QLinearGradient gradient(area.topLeft(), area.bottomRight());
  gradient.setColorAt(0, QColor(art::kAccentLight));
  gradient.setColorAt(1, QColor(art::kAccentDark));
  return gradient;
}

// A disk platter with its hub and an arrow turning back round it: the
// program's sign.
void DrawRecoveryDisk(QPainter& painter, const QRectF& area) {
  const double side = std::min(area.width(), area.height());
  const QPointF centre = area.center();
  const double radius = side * 0.30;
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(centre, radius, radius);
  painter.setBrush(QColor(art::kAccent));
  painter.drawEllipse(centre, radius * 0.28, radius * 0.28);
  painter.setBrush(Qt::white);
  painter.drawEllipse(centre, radius * 0.10, radius * 0.10);

  const double arcRadius = side * 0.41;
  const QRectF arcBox(centre.x() - arcRadius, centre.y() - arcRadius, 2 * arcRadius, 2 * arcRadius);
  QPen arcPen(QColor(art::kHighlight), std::max(1.5, side * 0.07), Qt::SolidLine, Qt::RoundCap);
  painter.setPen(arcPen);
  painter.setBrush(Qt::NoBrush);
  painter.drawArc(arcBox, 120 * 16, 270 * 16);

  // The arrow head at the arc's start (120 degrees), pointing along it.
  const double angle = 120.0 * M_PI / 180.0;
  const QPointF tip(centre.x() + arcRadius * std::cos(angle), centre.y() - arcRadius * std::sin(angle));
  const double head = side * 0.14;
  QPainterPath arrow;
  arrow.moveTo(tip + QPointF(-head * 0.9, -head * 0.1));
  arrow.lineTo(tip + QPointF(head * 0.35, -head * 0.75));
  arrow.lineTo(tip + QPointF(head * 0.45, head * 0.55));
  arrow.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(art::kHighlight));
  painter.drawPath(arrow);
}

}  // namespace

namespace art {
QFont ArtFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}
}  // namespace art

QImage ApplicationIconImage(int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF tile(side * 0.04, side * 0.04, side * 0.92, side * 0.92);
  painter.setPen(Qt::NoPen);
  painter.setBrush(AccentGradient(tile));
  painter.drawRoundedRect(tile, side * 0.2, side * 0.2);
  DrawRecoveryDisk(painter, tile);
  return image;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(ApplicationIconImage(side)));
  return icon;
}

QPixmap HeaderBitmap(QSize size) {
  if (size.isEmpty()) size = QSize(800, 72);
  QPixmap banner(size);
  QPainter painter(&banner);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRectF area(QPointF(0, 0), QSizeF(size));
  QLinearGradient gradient(area.topLeft(), area.topRight());
  gradient.setColorAt(0, QColor(art::kAccentDark));
  gradient.setColorAt(1, QColor(art::kAccentLight));
  painter.fillRect(area, gradient);

  const int height = size.height();
  const int iconSide = height * 3 / 4;
  const int margin = (height - iconSide) / 2;
  painter.drawImage(QPoint(margin, margin), ApplicationIconImage(iconSide));

  const QRectF textArea(margin * 2 + iconSide, 0, size.width() - iconSide - margin * 3, height);
  painter.setPen(Qt::white);
  painter.setFont(art::ArtFont(std::max(10, height * 3 / 10), true));
  painter.drawText(textArea.adjusted(0, 0, 0, -height / 2), Qt::AlignLeft | Qt::AlignBottom, ToQString(kProgramTitle));
  painter.setPen(QColor(0xFFD9ECF2));
  painter.setFont(art::ArtFont(std::max(8, height * 5 / 32), false));
  painter.drawText(textArea.adjusted(0, height / 2 + height / 16, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   ToQString(kTagLine));
  return banner;
}

// The shape's edge is drawn without antialiasing: a blended edge pixel
// would no longer be the transparent colour and would show as a pink fringe.
QPixmap StartupBitmap() {
  QImage image(kStartupSize, QImage::Format_RGB32);
  image.fill(QColor(kSplashTransparentRed, kSplashTransparentGreen, kSplashTransparentBlue));
  QPainter painter(&image);
  const QRectF card(0, 0, kStartupSize.width(), kStartupSize.height());
  painter.setPen(Qt::NoPen);
  painter.setBrush(AccentGradient(card));
  painter.drawRoundedRect(card, 28, 28);

  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.drawImage(QPoint(36, 64), ApplicationIconImage(128));
  const QRectF text(184, 60, card.width() - 204, 140);
  painter.setPen(Qt::white);
  painter.setFont(art::ArtFont(30, true));
  painter.drawText(text, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, ToQString(kProgramTitle));
  painter.setPen(QColor(0xFFD9ECF2));
  painter.setFont(art::ArtFont(14, false));
  painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap,
                   ToQString(kStartupLine) + QLatin1Char('\n') + ToQString(kVersionText));
  painter.end();
  return QPixmap::fromImage(image);
}

}  // namespace korv
