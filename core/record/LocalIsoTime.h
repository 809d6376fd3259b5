#pragma once

#include <QByteArray>
#include <QTimeZone>

namespace quorvane::record {

// ISO 8601 in local time with its offset, milliseconds included, as
// QDateTime writes it (2024-03-31T03:00:00.000+02:00; Z for UTC). Asking
// Qt's zone for every time of a million rows costs seconds, so the offset is
// asked once an hour of times; an hour with an offset change in it, and
// what falls outside the years 1970 to 9999, still go through QDateTime.
class LocalIsoTime {
public:
    LocalIsoTime();
    // Nothing for 0 or less: "not yet".
    void append(QByteArray& out, qint64 msSinceEpoch);

private:
    // The offset of the hour holding ms, or kMixed when it changes in it.
    int offsetOfHour(qint64 ms);
    static constexpr int kMixed = 1 << 30;
    QTimeZone m_zone;
    struct Hour {
        qint64 hour = -1;
        int offset = 0;
    } m_hours[2];
};

// The fixed-width form, 23 characters, for a local time of 1970 to 9999;
// out holds 23 bytes.
void WriteLocalDateTime(char* out, qint64 localMs);

} // namespace quorvane::record
