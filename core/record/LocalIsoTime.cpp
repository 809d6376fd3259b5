#include "core/record/LocalIsoTime.h"

#include <QDateTime>

#include <cstdlib>
#include <cstring>

namespace quorvane::record {

namespace {

constexpr qint64 kHourMs = 3600000;
constexpr qint64 kDayMs = 24 * kHourMs;
constexpr qint64 kYear10000Ms = 253402300800000; // 10000-01-01T00:00:00Z

// Qt's local time asks the C library, which looks at /etc/localtime on
// every call: a zone of its own is much faster.
QDateTime Local(qint64 ms, const QTimeZone& zone) {
    return QDateTime::fromMSecsSinceEpoch(ms, zone);
}

void Digits(char* out, int value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

void WriteLocalDate(char* out, qint64 days) {
    // Days to a civil date (H. Hinnant's algorithm), for days after 1970.
    const qint64 z = days + 719468;
    const qint64 era = z / 146097;
    const int dayOfEra = static_cast<int>(z - era * 146097);
    const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int mp = (5 * dayOfYear + 2) / 153;
    const int day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int month = mp < 10 ? mp + 3 : mp - 9;
    const int year = static_cast<int>(yearOfEra + era * 400) + (month <= 2 ? 1 : 0);
    Digits(out, year, 4);
    out[4] = '-';
    Digits(out + 5, month, 2);
    out[7] = '-';
    Digits(out + 8, day, 2);
    out[10] = 'T';
}

void WriteClock(char* out, int msOfDay) {
    Digits(out, msOfDay / 3600000, 2);
    out[2] = ':';
    Digits(out + 3, msOfDay / 60000 % 60, 2);
    out[5] = ':';
    Digits(out + 6, msOfDay / 1000 % 60, 2);
    out[8] = '.';
    Digits(out + 9, msOfDay % 1000, 3);
}

QTimeZone LocalZone() {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    return zone.isValid() ? zone : QTimeZone::utc();
}

LocalIsoTime::LocalIsoTime() : m_zone(LocalZone()) {}

int LocalIsoTime::offsetOfHour(qint64 ms) {
    const qint64 hour = ms / kHourMs;
    Hour& kept = m_hours[hour & 1];
    if (kept.hour != hour) {
        const int first = Local(hour * kHourMs, m_zone).offsetFromUtc();
        const int last = Local(hour * kHourMs + kHourMs - 1, m_zone).offsetFromUtc();
        kept = {hour, first == last ? first : kMixed};
    }
    return kept.offset;
}

void LocalIsoTime::append(QByteArray& out, qint64 ms) {
    if (ms <= 0)
        return;
    const int offset = ms < kYear10000Ms ? offsetOfHour(ms) : kMixed;
    const qint64 local = ms + offset * qint64{1000};
    // Qt writes an offset in whole minutes only; leave such zones to it.
    if (offset == kMixed || offset % 60 != 0 || local < 0 || local >= kYear10000Ms) {
        const QDateTime at = Local(ms, m_zone);
        out += at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
        return;
    }
    char text[29];
    // A million rows span a few hundred days.
    if (const qint64 day = local / kDayMs; day != m_day) {
        m_day = day;
        WriteLocalDate(m_date, day);
    }
    std::memcpy(text, m_date, sizeof m_date);
    WriteClock(text + sizeof m_date, static_cast<int>(local % kDayMs));
    qsizetype size = 23;
    if (offset == 0) {
        text[size++] = 'Z';
    } else {
        const int minutes = std::abs(offset) / 60;
        text[size++] = offset < 0 ? '-' : '+';
        Digits(text + size, minutes / 60, 2);
        text[size + 2] = ':';
        Digits(text + size + 3, minutes % 60, 2);
        size += 5;
    }
    out.append(text, size);
}

} // namespace quorvane::record
