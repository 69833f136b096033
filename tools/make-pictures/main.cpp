// korv-make-pictures SHARE_DIR: draws every picture the wizard's pages load
// into SHARE_DIR/korvane/vireon/ (as BMP files, the names the pages ask
// for) and the application icon into SHARE_DIR/icons/hicolor/256x256/apps/.
// Prints nothing on success.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/pictures.h"

namespace korv {
namespace {

enum class Kind { Mode, Toolbar, Button, Step, Icon, NoPreview };
enum class Glyph { None, Help, Open, Save, Gear, Search, Trash, Drive, Partition, Raw, Image, Info, Question, Photo };

struct PictureEntry {
  std::string_view name;
  Kind kind;
  std::string_view caption;
  Glyph glyph = Glyph::None;
  int step = 0;
};

// Every picture of the pages, by the name the pages load it by.
const PictureEntry kPictures[] = {
    {picture::kDeletedDataRecovery, Kind::Mode, "Deleted Data Recovery", Glyph::Trash},
    {picture::kFormattedDataRecovery, Kind::Mode, "Formatted Data Recovery", Glyph::Drive},
    {picture::kPartitionDataRecovery, Kind::Mode, "Partition Data Recovery", Glyph::Partition},
    {picture::kRawDataRecovery, Kind::Mode, "Raw Data Recovery", Glyph::Raw},
    {picture::kCreateDiskImage, Kind::Mode, "Create Disk Image", Glyph::Image},
    {picture::kHelpToolbar, Kind::Toolbar, "", Glyph::Help},
    {picture::kLoadLogToolbar, Kind::Toolbar, "", Glyph::Open},
    {picture::kSaveLogToolbar, Kind::Toolbar, "", Glyph::Save},
    {picture::kSettingsToolbar, Kind::Toolbar, "", Glyph::Gear},
    {picture::kSearchToolbar, Kind::Toolbar, "", Glyph::Search},
    {picture::kStep1, Kind::Step, "", Glyph::None, 1},
    {picture::kStep2, Kind::Step, "", Glyph::None, 2},
    {picture::kStep3, Kind::Step, "", Glyph::None, 3},
    {picture::kStep4, Kind::Step, "", Glyph::None, 4},
    {picture::kNext, Kind::Button, "Next >"},
    {picture::kBack, Kind::Button, "< Back"},
    {picture::kStop, Kind::Button, "Stop"},
    {picture::kSave, Kind::Button, "Save"},
    {picture::kPreview, Kind::NoPreview, "Select a file to preview it", Glyph::Photo},
    {picture::kSearchAdvanced, Kind::Button, "Search"},
    {picture::kOk, Kind::Button, "OK"},
    {picture::kYes, Kind::Button, "Yes"},
    {picture::kNo, Kind::Button, "No"},
    {picture::kRetry, Kind::Button, "Retry"},
    {picture::kRetryAll, Kind::Button, "Retry All"},
    {picture::kSkip, Kind::Button, "Skip"},
    {picture::kSkipAll, Kind::Button, "Skip All"},
    {picture::kInformation, Kind::Icon, "", Glyph::Info},
    {picture::kQuestion, Kind::Icon, "", Glyph::Question},
    {picture::kNoPreview, Kind::NoPreview, "No preview available", Glyph::Photo},
};

constexpr std::string_view kStepNames[] = {"Select Source", "Analysis", "Results", "Recovery"};

constexpr QSize kModeFrame{200, 150};
constexpr QSize kToolbarFrame{60, 40};
constexpr QSize kButtonFrame{100, 30};
constexpr QSize kStepSize{600, 64};
constexpr QSize kIconSize{48, 48};
constexpr QSize kNoPreviewSize{200, 150};

// The look of a button frame: 0 normal, 1 mouse over, 2 pressed, 3 disabled.
struct FrameLook {
  QColor fill;
  QColor ink;
  int shift;
};

FrameLook ButtonLook(int frame) {
  switch (frame) {
    case 1:
      return {QColor(art::kAccentLight), Qt::white, 0};
    case 2:
      return {QColor(art::kAccentDark), Qt::white, 1};
    case 3:
      return {QColor(art::kDisabled), QColor(art::kDisabledText), 0};
    default:
      return {QColor(art::kAccent), Qt::white, 0};
  }
}

// Toolbar glyphs stand on the page; only mouse over and pressed get a tile.
FrameLook ToolbarLook(int frame) {
  switch (frame) {
    case 1:
      return {QColor(0xFFE1EFF4), QColor(art::kAccent), 0};
    case 2:
      return {QColor(art::kAccent), Qt::white, 1};
    case 3:
      return {QColor(art::kSurface), QColor(art::kDisabled), 0};
    default:
      return {QColor(art::kSurface), QColor(art::kAccent), 0};
  }
}

QImage Canvas(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(art::kSurface));
  return image;
}

void Prepare(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
}

// A small drawing in `box` with `ink`: lines for outlines, fills for solids.
void DrawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& ink) {
  const double s = box.width();
  const double line = std::max(1.5, s / 14);
  painter.save();
  painter.translate(box.topLeft());
  painter.setPen(QPen(ink, line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  auto at = [s](double x, double y) { return QPointF(x * s, y * s); };
  auto rect = [s](double x, double y, double w, double h) { return QRectF(x * s, y * s, w * s, h * s); };
  switch (glyph) {
    case Glyph::Help:
    case Glyph::Info:
    case Glyph::Question: {
      const bool solid = glyph != Glyph::Help;
      if (solid) painter.setBrush(ink);
      painter.drawEllipse(rect(0.08, 0.08, 0.84, 0.84));
      painter.setPen(solid ? QColor(Qt::white) : ink);
      painter.setFont(art::ArtFont(static_cast<int>(s * 0.6), true));
      painter.drawText(rect(0, 0, 1, 1), Qt::AlignCenter, glyph == Glyph::Info ? "i" : "?");
      break;
    }
    case Glyph::Open: {
      QPainterPath folder;
      folder.moveTo(at(0.08, 0.3));
      folder.lineTo(at(0.38, 0.3));
      folder.lineTo(at(0.46, 0.4));
      folder.lineTo(at(0.92, 0.4));
      folder.lineTo(at(0.92, 0.86));
      folder.lineTo(at(0.08, 0.86));
      folder.closeSubpath();
      painter.drawPath(folder);
      painter.drawLine(at(0.5, 0.78), at(0.5, 0.5));
      painter.drawPolyline(QPolygonF({at(0.38, 0.62), at(0.5, 0.5), at(0.62, 0.62)}));
      break;
    }
    case Glyph::Save:
      painter.drawRoundedRect(rect(0.12, 0.12, 0.76, 0.76), s * 0.06, s * 0.06);
      painter.drawRect(rect(0.28, 0.12, 0.44, 0.24));
      painter.drawRect(rect(0.26, 0.54, 0.48, 0.34));
      break;
    case Glyph::Gear:
      for (int tooth = 0; tooth < 8; ++tooth) {
        painter.save();
        painter.translate(at(0.5, 0.5));
        painter.rotate(tooth * 45.0);
        painter.drawLine(QPointF(0, -s * 0.28), QPointF(0, -s * 0.42));
        painter.restore();
      }
      painter.drawEllipse(at(0.5, 0.5), s * 0.28, s * 0.28);
      painter.drawEllipse(at(0.5, 0.5), s * 0.1, s * 0.1);
      break;
    case Glyph::Search:
      painter.drawEllipse(rect(0.12, 0.12, 0.5, 0.5));
      painter.setPen(QPen(ink, line * 1.8, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(at(0.56, 0.56), at(0.86, 0.86));
      break;
    case Glyph::Trash:
      painter.drawLine(at(0.16, 0.24), at(0.84, 0.24));
      painter.drawPolyline(QPolygonF({at(0.4, 0.24), at(0.42, 0.12), at(0.58, 0.12), at(0.6, 0.24)}));
      painter.drawPolygon(QPolygonF({at(0.24, 0.24), at(0.3, 0.9), at(0.7, 0.9), at(0.76, 0.24)}));
      painter.drawArc(rect(0.36, 0.42, 0.28, 0.28), 90 * 16, 270 * 16);
      painter.drawPolyline(QPolygonF({at(0.44, 0.36), at(0.5, 0.42), at(0.44, 0.48)}));
      break;
    case Glyph::Drive:
      painter.drawRoundedRect(rect(0.08, 0.3, 0.84, 0.4), s * 0.06, s * 0.06);
      painter.setBrush(ink);
      painter.drawEllipse(at(0.78, 0.5), s * 0.04, s * 0.04);
      painter.setBrush(Qt::NoBrush);
      painter.drawLine(at(0.2, 0.5), at(0.56, 0.5));
      painter.drawLine(at(0.2, 0.82), at(0.8, 0.82));
      break;
    case Glyph::Partition:
      painter.drawPie(rect(0.1, 0.14, 0.76, 0.76), 90 * 16, 270 * 16);
      painter.setBrush(ink);
      painter.drawPie(rect(0.16, 0.08, 0.76, 0.76), 0, 90 * 16);
      break;
    case Glyph::Raw: {
      QPainterPath page;
      page.moveTo(at(0.2, 0.08));
      page.lineTo(at(0.62, 0.08));
      page.lineTo(at(0.82, 0.28));
      page.lineTo(at(0.82, 0.92));
      page.lineTo(at(0.2, 0.92));
      page.closeSubpath();
      painter.drawPath(page);
      painter.setFont(art::ArtFont(static_cast<int>(s * 0.2), true));
      painter.drawText(rect(0.2, 0.3, 0.62, 0.6), Qt::AlignCenter, "01\n10");
      break;
    }
    case Glyph::Image:
      painter.drawRoundedRect(rect(0.1, 0.08, 0.8, 0.3), s * 0.05, s * 0.05);
      painter.drawLine(at(0.22, 0.23), at(0.5, 0.23));
      painter.drawLine(at(0.5, 0.46), at(0.5, 0.7));
      painter.drawPolyline(QPolygonF({at(0.4, 0.6), at(0.5, 0.7), at(0.6, 0.6)}));
      painter.setBrush(ink);
      painter.drawEllipse(at(0.76, 0.23), s * 0.035, s * 0.035);
      painter.drawRoundedRect(rect(0.22, 0.78, 0.56, 0.14), s * 0.04, s * 0.04);
      break;
    case Glyph::Photo:
      painter.drawRoundedRect(rect(0.06, 0.16, 0.88, 0.68), s * 0.06, s * 0.06);
      painter.drawPolyline(QPolygonF({at(0.14, 0.74), at(0.38, 0.44), at(0.56, 0.64), at(0.68, 0.52), at(0.86, 0.74)}));
      painter.drawEllipse(at(0.7, 0.34), s * 0.07, s * 0.07);
      break;
    case Glyph::None:
      break;
  }
  painter.restore();
}

// Three frames of a card with the mode's drawing and its name.
QImage DrawMode(const PictureEntry& entry) {
  QImage image = Canvas({kModeFrame.width() * 3, kModeFrame.height()});
  QPainter painter(&image);
  Prepare(painter);
  for (int frame = 0; frame < 3; ++frame) {
    const FrameLook look = ButtonLook(frame);
    const QRectF card = QRectF(frame * kModeFrame.width(), 0, kModeFrame.width(), kModeFrame.height())
                            .adjusted(3, 3, -3, -3)
                            .translated(look.shift, look.shift);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.fill);
    painter.drawRoundedRect(card, 14, 14);
    DrawGlyph(painter, entry.glyph, QRectF(card.center().x() - 30, card.top() + 14, 60, 60), look.ink);
    painter.setPen(look.ink);
    painter.setFont(art::ArtFont(16, true));
    painter.drawText(card.adjusted(10, 80, -10, -6), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     ToQString(entry.caption));
  }
  return image;
}

// Four frames of a glyph; the button draws the caption under it.
QImage DrawToolbar(const PictureEntry& entry) {
  QImage image = Canvas({kToolbarFrame.width() * 4, kToolbarFrame.height()});
  QPainter painter(&image);
  Prepare(painter);
  for (int frame = 0; frame < 4; ++frame) {
    const FrameLook look = ToolbarLook(frame);
    const QRectF tile =
        QRectF(frame * kToolbarFrame.width(), 0, kToolbarFrame.width(), kToolbarFrame.height()).adjusted(2, 2, -2, -2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.fill);
    painter.drawRoundedRect(tile, 6, 6);
    const double side = 28;
    const QRectF box(tile.center().x() - side / 2 + look.shift, tile.center().y() - side / 2 + look.shift, side, side);
    DrawGlyph(painter, entry.glyph, box, look.ink);
  }
  return image;
}

// Four frames of a rounded button with its caption.
QImage DrawButton(const PictureEntry& entry) {
  QImage image = Canvas({kButtonFrame.width() * 4, kButtonFrame.height()});
  QPainter painter(&image);
  Prepare(painter);
  painter.setFont(art::ArtFont(13, true));
  for (int frame = 0; frame < 4; ++frame) {
    const FrameLook look = ButtonLook(frame);
    const QRectF face =
        QRectF(frame * kButtonFrame.width(), 0, kButtonFrame.width(), kButtonFrame.height()).adjusted(1, 1, -1, -1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.fill);
    painter.drawRoundedRect(face, 7, 7);
    painter.setPen(look.ink);
    painter.drawText(face.translated(look.shift, look.shift), Qt::AlignCenter, ToQString(entry.caption));
  }
  return image;
}

// The four steps of a run, the current one highlighted, those done filled.
QImage DrawStep(const PictureEntry& entry) {
  QImage image = Canvas(kStepSize);
  QPainter painter(&image);
  Prepare(painter);
  const int count = static_cast<int>(std::size(kStepNames));
  const double slot = static_cast<double>(kStepSize.width()) / count;
  const double y = 20;
  painter.setPen(QPen(QColor(art::kDisabled), 3));
  painter.drawLine(QPointF(slot / 2, y), QPointF(kStepSize.width() - slot / 2, y));
  for (int index = 0; index < count; ++index) {
    const int number = index + 1;
    const QPointF centre(slot * index + slot / 2, y);
    const bool current = number == entry.step;
    const QColor fill = current              ? QColor(art::kHighlight)
                        : number < entry.step ? QColor(art::kAccent)
                                             : QColor(art::kDisabled);
    const double radius = current ? 15 : 12;
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(fill);
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::white);
    painter.setFont(art::ArtFont(current ? 15 : 12, true));
    painter.drawText(QRectF(centre.x() - radius, y - radius, 2 * radius, 2 * radius), Qt::AlignCenter,
                     QString::number(number));
    painter.setPen(current ? QColor(art::kInk) : QColor(art::kMutedInk));
    painter.setFont(art::ArtFont(12, current));
    painter.drawText(QRectF(slot * index, y + 18, slot, 22), Qt::AlignCenter,
                     QStringLiteral("Step %1 %2").arg(number).arg(ToQString(kStepNames[index])));
  }
  return image;
}

QImage DrawIcon(const PictureEntry& entry) {
  QImage image = Canvas(kIconSize);
  QPainter painter(&image);
  Prepare(painter);
  DrawGlyph(painter, entry.glyph, QRectF(QPointF(0, 0), QSizeF(kIconSize)), QColor(art::kAccent));
  return image;
}

QImage DrawNoPreview(const PictureEntry& entry) {
  QImage image = Canvas(kNoPreviewSize);
  QPainter painter(&image);
  Prepare(painter);
  const QRectF panel = QRectF(QPointF(0, 0), QSizeF(kNoPreviewSize)).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(QColor(art::kDisabled));
  painter.setBrush(QColor(0xFFF1F5F7));
  painter.drawRect(panel);
  DrawGlyph(painter, entry.glyph, QRectF(panel.center().x() - 32, 24, 64, 64), QColor(art::kDisabled));
  painter.setPen(QColor(art::kMutedInk));
  painter.setFont(art::ArtFont(13, false));
  painter.drawText(panel.adjusted(8, 96, -8, -8), Qt::AlignHCenter | Qt::AlignTop, ToQString(entry.caption));
  return image;
}

QImage Draw(const PictureEntry& entry) {
  switch (entry.kind) {
    case Kind::Mode:
      return DrawMode(entry);
    case Kind::Toolbar:
      return DrawToolbar(entry);
    case Kind::Button:
      return DrawButton(entry);
    case Kind::Step:
      return DrawStep(entry);
    case Kind::Icon:
      return DrawIcon(entry);
    case Kind::NoPreview:
      return DrawNoPreview(entry);
  }
  return {};
}

bool Fail(const QString& message) {
  std::fprintf(stderr, "korv-make-pictures: %s\n", qPrintable(message));
  return false;
}

bool SaveAll(const QString& shareDir) {
  const QString pictureDir = shareDir + QStringLiteral("/korvane/vireon");
  const QString iconDir = shareDir + QStringLiteral("/icons/hicolor/256x256/apps");
  for (const QString& dir : {pictureDir, iconDir}) {
    if (!QDir().mkpath(dir)) return Fail(QStringLiteral("cannot create %1").arg(dir));
  }
  for (const PictureEntry& entry : kPictures) {
    const QString path = QString::fromStdString(PicturePath(pictureDir.toStdString(), entry.name));
    if (!Draw(entry).save(path, "BMP")) return Fail(QStringLiteral("cannot write %1").arg(path));
  }
  const QString iconPath = iconDir + QStringLiteral("/korvane.png");
  if (!ApplicationIconImage(256).save(iconPath, "PNG")) return Fail(QStringLiteral("cannot write %1").arg(iconPath));
  return true;
}

}  // namespace
}  // namespace korv

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: korv-make-pictures SHARE_DIR\n");
    return 2;
  }
  return korv::SaveAll(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
