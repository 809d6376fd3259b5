#pragma once

#include <QByteArray>
#include <QTimeZone>

namespace quorvane::record {

// The zone TZ or the system names; UTC when TZ names none, as the C library
// takes it (Qt's invalid zone would leave every time empty).
QTimeZone LocalZone();

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
    qint64 m_day = -1;
    char m_date[11] = {}; // m_day's, as WriteLocalDate writes it
};

// For a local time of 1970 to 9999: "2024-03-31T" of the day since the
// epoch (11 bytes) and "03:00:00.000" of the ms in its day (12 bytes).
void WriteLocalDate(char* out, qint64 days);
void WriteClock(char* out, int msOfDay);

} // namespace quorvane::record
