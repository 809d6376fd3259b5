#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quorvane {

// Written at shutdown: programDir + "log/" + the time as
// "%Y.%m.%d.%a_%H.%M.%S.txt", one CR LF line per row of the run list. A file
// of the same name is replaced. False when nothing could be written.
bool WriteRunFile(const QString& programDir, const QStringList& runListRows,
                  QDateTime now = QDateTime::currentDateTime());

} // namespace quorvane
