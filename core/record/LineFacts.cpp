#include "core/record/LineFacts.h"

#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <functional>
#include <limits>

namespace quorvane::record {

namespace {

QString Written() {
    return QStringLiteral("outcome IN ") + QLatin1String(kWrittenOutcomes);
}

bool Each(RecordStore& store, const QString& sql, const QVariantList& values, QString* error,
          const std::function<void(const QSqlQuery&)>& row) {
    QSqlQuery query(store.database());
    if (RunSelect(query, sql, values)) {
        while (query.next())
            row(query);
        if (!query.lastError().isValid())
            return true;
    }
    if (error)
        *error = query.lastError().text();
    return false;
}

} // namespace

bool Stations(RecordStore& store, QList<StationSeen>* out, QString* error) {
    // One index step per station rather than a pass over every row: the next
    // name after the last, then that station's newest written board. SQLite's
    // planner, without statistics, is told the index.
    const bool hint =
        store.isSqlite() && SchemaAdditions(store.database()) >= kChangeCounterAddition;
    return Each(
        store,
        QStringLiteral("WITH RECURSIVE names(station) AS (SELECT MIN(station) FROM boards "
                       "UNION ALL SELECT (SELECT MIN(station) FROM boards WHERE station > "
                       "names.station) FROM names WHERE names.station IS NOT NULL) SELECT "
                       "station, (SELECT MAX(finished_at) FROM boards b%2 WHERE b.station = "
                       "names.station AND %1) FROM names WHERE station IS NOT NULL")
            .arg(Written(), hint ? QStringLiteral(" INDEXED BY boards_station_finish") : QString()),
        {}, error, [out](const QSqlQuery& q) {
            out->append({q.value(0).toString(), q.value(1).toLongLong()});
        });
}

bool HourlyWritten(RecordStore& store, qint64 since, QList<HourCount>* out, QString* error) {
    constexpr qint64 kHour = 3600000;
    const auto into = [](QList<HourCount>* list) {
        return [list](const QSqlQuery& q) {
            list->append(
                {q.value(0).toLongLong() * kHour, q.value(1).toString(), q.value(2).toInt()});
        };
    };
    // From the boards themselves, between since and until (ms).
    const auto counted = QStringLiteral("SELECT finished_at / 3600000, station, COUNT(*) FROM "
                                        "boards%2 WHERE %1 AND finished_at > 0 AND finished_at >= "
                                        "? AND finished_at < ? GROUP BY station, finished_at / "
                                        "3600000");
    const int additions = SchemaAdditions(store.database());
    if (!store.isSqlite() && additions >= kBoardHoursAddition) {
        // Whole hours are kept counted; the first hour, when since cuts it, is
        // counted from its boards. A reader the table was not granted to
        // still gets the chart, by the slower way.
        const qint64 whole = (since + kHour - 1) / kHour;
        QList<HourCount> kept;
        if (Each(
                store,
                QStringLiteral("SELECT hour, station, written FROM board_hours WHERE hour >= ? AND "
                               "written > 0 UNION ALL %1 ORDER BY 1, 2")
                    .arg(counted.arg(Written(), QString())),
                {whole, since, whole * kHour}, nullptr, into(&kept))) {
            *out += kept;
            return true;
        }
    }
    // A long period reads a station's index alone: the hour index groups in
    // its own order, the finish index only with a sort of every row.
    const int sqliteAdditions = store.isSqlite() ? additions : 0;
    const QString hint = sqliteAdditions >= kStationSummaryAddition
                             ? QStringLiteral(" INDEXED BY boards_station_hour")
                         : sqliteAdditions >= kChangeCounterAddition
                             ? QStringLiteral(" INDEXED BY boards_station_finish")
                             : QString();
    return Each(store, counted.arg(Written(), hint) + QStringLiteral(" ORDER BY 1, 2"),
                {since, std::numeric_limits<qint64>::max()}, error, into(out));
}

bool RepeatedLabels(RecordStore& store, qint64 since, QList<BoardAttempt>* out, QString* error) {
    const QString written = QStringLiteral("%1 AND label <> '' AND claimed_at >= ?").arg(Written());
    return Each(store,
                QStringLiteral("SELECT %1 FROM boards WHERE %2 AND label IN (SELECT label FROM "
                               "boards WHERE %2 GROUP BY label HAVING COUNT(*) > 1) ORDER BY "
                               "label, finished_at")
                    .arg(BoardColumnList(), written),
                {since, since}, error, [out](const QSqlQuery& q) { out->append(ReadBoard(q)); });
}

} // namespace quorvane::record
