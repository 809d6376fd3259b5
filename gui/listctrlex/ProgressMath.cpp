#include "gui/listctrlex/ProgressMath.h"

#include <algorithm>

namespace ListCtrlEx {

float ProgressFraction(quint32 value, quint32 maximum) {
    if (value >= maximum)
        return 1.0f;
    if (value > 0 && maximum > 0)
        return float(value) / float(maximum);
    return 0.0f;
}

QRect ProgressBarRect(const QRect& trough, float fraction) {
    const QRect inner = trough.adjusted(1, 1, -1, -1);
    if (inner.isEmpty())
        return {};
    const int length = int(float(trough.width()) * fraction);
    const int right = std::min(inner.left() + length, inner.left() + inner.width());
    return QRect(inner.left(), inner.top(), std::max(0, right - inner.left()), inner.height());
}

QString ProgressText(float fraction) {
    return QString::asprintf("%.2f%%", double(fraction * 100.0f));
}

} // namespace ListCtrlEx
