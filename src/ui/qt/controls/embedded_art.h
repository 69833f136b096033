// The pictures built into the program rather than read from the picture
// folder: the header banner every page shows, the start-up picture of the
// splash (with its transparent colour around the shape) and the
// application icon. The picture generator draws the installed icon with the
// same code, and takes its colours and font from here, so every picture of
// the wizard shares one look.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace korv {

QPixmap HeaderBitmap(QSize size);
QPixmap StartupBitmap();
QImage ApplicationIconImage(int side);
QIcon ApplicationIcon();

// The wizard's palette: a deep blue-teal accent with white text on it.
namespace art {
inline constexpr QRgb kAccent = 0xFF0F5E7A;
inline constexpr QRgb kAccentLight = 0xFF1B7FA1;  // mouse over
inline constexpr QRgb kAccentDark = 0xFF093F53;   // pressed
inline constexpr QRgb kHighlight = 0xFFF2A93B;    // the recovery arrow, the current step
inline constexpr QRgb kDisabled = 0xFFC3CCD1;
inline constexpr QRgb kDisabledText = 0xFFF3F6F7;
inline constexpr QRgb kSurface = 0xFFFFFFFF;  // page and dialog background
inline constexpr QRgb kRaisedSurface = 0xFFEEF3F5;  // buttons, alternate rows, empty bars
inline constexpr QRgb kInk = 0xFF1D2D35;            // text on the surface
inline constexpr QRgb kMutedInk = 0xFF5E6E77;       // secondary text, still 4.5:1 on the surface
inline constexpr QRgb kHeadingInk = 0xFF9E4E27;     // page headings
inline constexpr QRgb kLink = 0xFF1457B8;
inline constexpr QRgb kDeletedInk = 0xFFC00000;  // deleted items: a red that reads on the surface

// DejaVu Sans at a pixel size, so pictures come out alike on every screen.
QFont ArtFont(int pixelSize, bool bold);
}  // namespace art

}  // namespace korv
