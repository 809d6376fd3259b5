#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace quorvane {

// The station's windows are laid out in dialog units: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of
// its height, both measured the way Windows measures a dialog font.
struct DialogBaseUnits {
    int x = 0; // average character width in pixels
    int y = 0; // character height in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);
int DluToPixelsX(int dlu, const DialogBaseUnits& base);
int DluToPixelsY(int dlu, const DialogBaseUnits& base);
QPoint DluToPixels(const QPoint& dlu, const DialogBaseUnits& base);
QSize DluToPixels(const QSize& dlu, const DialogBaseUnits& base);
QRect DluToPixels(const QRect& dlu, const DialogBaseUnits& base);

} // namespace quorvane
