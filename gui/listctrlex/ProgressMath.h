#pragma once

#include <QRect>
#include <QString>
#include <QtGlobal>

namespace ListCtrlEx {

// Share of the bar to fill: 1 at or above the maximum (so also for a maximum
// of 0), value / maximum when both are positive, else 0.
float ProgressFraction(quint32 value, quint32 maximum);

// The filled part of a progress cell: the trough shrunk by its 1-pixel edge,
// filled from the left for the fraction of the trough's own width.
QRect ProgressBarRect(const QRect& trough, float fraction);

// "50.00%" for 0.5.
QString ProgressText(float fraction);

} // namespace ListCtrlEx
