#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>
#include <variant>

namespace quorvane::dashboard {

struct DashboardOptions {
    QString db; // empty: the station's production.db, found as quorvane-record finds it
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8080;
    std::optional<int> target; // boards per hour per station
    QList<QTime> shifts{QTime(6, 0), QTime(18, 0)};
    bool help = false;
};

// The options after the program's name; the reason when they are bad (a
// URL in it shown with its password as ***).
std::variant<DashboardOptions, QString> ParseOptions(const QStringList& arguments);

// The start of the shift now is in: the latest of the shift times, today or
// yesterday, that is not after now.
QDateTime ShiftStart(const QList<QTime>& shifts, const QDateTime& now);

extern const char kUsage[];

} // namespace quorvane::dashboard
