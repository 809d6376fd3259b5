#pragma once

#include <QIcon>
#include <QString>

namespace quorvane {

// The program's icons by their resource numbers: 128 the station window, 129 the second icon.
QString IconPath(int id); // empty for an unknown number
QIcon StationIcon(int id);

} // namespace quorvane
