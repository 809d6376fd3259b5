#include "gui/widgets/DialogUnits.h"

#include <QFontMetrics>

namespace quorvane {

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    // Windows rounds the mean advance of the 52 Latin letters this way.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

// MulDiv rounds half away from zero; units are never negative here.
static int MulDivRounded(int value, int numerator, int denominator) {
    if (denominator <= 0) {
        return 0;
    }
    const long long product = static_cast<long long>(value) * numerator;
    const long long rounded = product >= 0 ? (product + denominator / 2) / denominator
                                           : (product - denominator / 2) / denominator;
    return static_cast<int>(rounded);
}

int DluToPixelsX(int dlu, const DialogBaseUnits& base) {
    return MulDivRounded(dlu, base.x, 4);
}

int DluToPixelsY(int dlu, const DialogBaseUnits& base) {
    return MulDivRounded(dlu, base.y, 8);
}

QPoint DluToPixels(const QPoint& dlu, const DialogBaseUnits& base) {
    return {DluToPixelsX(dlu.x(), base), DluToPixelsY(dlu.y(), base)};
}

QSize DluToPixels(const QSize& dlu, const DialogBaseUnits& base) {
    return {DluToPixelsX(dlu.width(), base), DluToPixelsY(dlu.height(), base)};
}

QRect DluToPixels(const QRect& dlu, const DialogBaseUnits& base) {
    const int left = DluToPixelsX(dlu.x(), base);
    const int top = DluToPixelsY(dlu.y(), base);
    const int right = DluToPixelsX(dlu.x() + dlu.width(), base);
    const int bottom = DluToPixelsY(dlu.y() + dlu.height(), base);
    return {left, top, right - left, bottom - top};
}

} // namespace quorvane
