#pragma once

#include "core/record/BoardAttempt.h"

#include <QList>
#include <QString>

namespace quorvane::record {

class RecordStore;

// What a line supervisor looks at beside each station's summary.
struct StationSeen {
    QString station;
    qint64 lastFinishedAt = 0; // its board written last; 0: none
};
struct HourCount {
    qint64 hour = 0; // the hour's start, ms since the epoch
    QString station;
    int boards = 0;
    bool operator==(const HourCount&) const = default;
};

// Every station of the record, by name.
bool Stations(RecordStore& store, QList<StationSeen>* out, QString* error = nullptr);
// Written boards by the hour they finished in, finished at or after since.
bool HourlyWritten(RecordStore& store, qint64 since, QList<HourCount>* out,
                   QString* error = nullptr);
// Written boards claimed at or after since whose label was written more than
// once, at one station or several; by label, then time.
bool RepeatedLabels(RecordStore& store, qint64 since, QList<BoardAttempt>* out,
                    QString* error = nullptr);

} // namespace quorvane::record
