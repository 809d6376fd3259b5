#include "core/record/RecordSummary.h"

#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <optional>
#include <utility>

namespace quorvane::record {

namespace {

QString Duration(qint64 ms) {
    if (ms < 0)
        return QStringLiteral("-");
    const qint64 seconds = (ms + 999) / 1000;
    return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60);
}

// Runs one statement with its values bound; false, and the reason in error,
// when it fails.
bool Run(QSqlQuery& query, const QString& sql, const QVariantList& values, QString* error) {
    if (RunSelect(query, sql, values))
        return true;
    if (error)
        *error = query.lastError().text();
    return false;
}

// A board of one of the counted outcomes into its column of s.
void Count(RecordSummary& s, const QString& outcomeText, int count) {
    const std::optional<Outcome> outcome = OutcomeFromText(outcomeText);
    if (!outcome)
        return;
    if (IsWritten(*outcome))
        s.written += count;
    else if (*outcome == Outcome::Released || *outcome == Outcome::Stopped)
        s.failed += count;
    else
        s.cancelled += count;
}

// The period, and the station when one is asked for.
QString Period(const QString& station) {
    return station.isEmpty() ? QStringLiteral("claimed_at >= ?")
                             : QStringLiteral("claimed_at >= ? AND station = ?");
}
QVariantList Bound(qint64 since, const QString& station) {
    return station.isEmpty() ? QVariantList{since} : QVariantList{since, station};
}

// A station's first board and its boards fetched again have indexes of
// their own (an addition); without them SQLite reads all its rows.
auto OwnHint(RecordStore& store, const QString& station) {
    const bool own = store.isSqlite() && !station.isEmpty() &&
                     SchemaAdditions(store.database()) >= kStationSummaryAddition;
    return [own](const char* index) {
        return own ? QStringLiteral(" INDEXED BY ") + QLatin1String(index) : QString();
    };
}

// Written boards per hour from the first claim to the last finish, over an
// hour at least: a short run shows the boards written so far, not the rate
// of two boards 30 s apart.
double PerHour(int written, qint64 first, qint64 lastFinish) {
    constexpr qint64 kHour = 3600000;
    return written * static_cast<double>(kHour) /
           static_cast<double>(std::max(lastFinish - first, kHour));
}

constexpr char kCounted[] = "outcome IN ('written-done', 'written-timer', 'released', 'stopped', "
                            "'scan-cancelled', 'reburn-refused')";

// Boards by outcome, fetched again, and the repeated MACs when asked for.
bool Counts(RecordStore& store, qint64 since, const QString& station, bool repeated,
            RecordSummary& s, QString* error) {
    QSqlDatabase& db = store.database();
    QSqlQuery query(db);
    const QString period = Period(station);
    const QVariantList bound = Bound(since, station);
    const auto ownHint = OwnHint(store, station);
    if (!Run(query,
             QStringLiteral("SELECT outcome, COUNT(*) FROM boards WHERE %1 AND %2 GROUP BY outcome")
                 .arg(QLatin1String(kCounted), period),
             bound, error))
        return false;
    while (query.next())
        Count(s, query.value(0).toString(), query.value(1).toInt());
    if (!Run(query,
             QStringLiteral("SELECT COUNT(*) FROM boards%1 WHERE refetches > 0 AND %2")
                 .arg(ownHint("boards_station_refetched"), period),
             bound, error) ||
        !query.next())
        return false;
    s.fetchedAgain = query.value(0).toInt();
    if (s.written > 1 && repeated) {
        if (!Run(query,
                 QStringLiteral("SELECT COUNT(*), SUM(n) FROM (SELECT COUNT(*) AS n FROM boards "
                                "WHERE %1 GROUP BY base_mac HAVING COUNT(*) > 1) AS repeated")
                     .arg(RepeatedMacCondition()),
                 {since}, error) ||
            !query.next())
            return false;
        s.repeatedMacs = query.value(0).toInt();
        s.repeatedBoards = query.value(1).toInt();
    }
    return true;
}

// The written boards' times, s.written of them: the first claim, the board
// finished last, boards per hour and the ranks.
bool Times(RecordStore& store, qint64 since, const QString& station, RecordSummary& s,
           QString* error) {
    if (s.written == 0)
        return true;
    QSqlDatabase& db = store.database();
    QSqlQuery query(db);
    const QString period = Period(station);
    const QVariantList bound = Bound(since, station);
    const auto ownHint = OwnHint(store, station);

    // SQLite's planner cannot tell a shift from a year by a bound value: a
    // long period walks the written boards' indexes in order, a short one
    // sorts its few rows. Both give the same rows. PostgreSQL's planner
    // chooses by itself.
    bool walk = !store.isSqlite();
    // One station's rows have indexes of their own (an addition).
    const bool indexed =
        store.isSqlite() && (station.isEmpty() ? SchemaVersion(db) >= kSummaryIndexVersion
                                               : SchemaAdditions(db) >= kChangeCounterAddition);
    if (indexed) {
        if (!Run(query, QStringLiteral("SELECT MAX(rowid) FROM boards"), {}, error) ||
            !query.next())
            return false;
        walk = s.written > query.value(0).toLongLong() / 8;
    }
    const auto hint = [&](const char* index) {
        if (!indexed)
            return QString();
        QString name = QString::fromLatin1(index);
        if (!station.isEmpty())
            name.replace(QStringLiteral("boards_written"), QStringLiteral("boards_station"));
        return QStringLiteral(" INDEXED BY ") + name;
    };

    if (!Run(query,
             QStringLiteral("SELECT MIN(claimed_at) FROM boards%1 WHERE %2")
                 .arg(ownHint("boards_station_claimed"), period),
             bound, error) ||
        !query.next())
        return false;
    const qint64 first = query.value(0).toLongLong();
    // The newest finished boards lead the index, so it stops almost at once.
    if (!Run(query,
             QStringLiteral("SELECT finished_at, elapsed_ms FROM boards%1 WHERE outcome IN %2 AND "
                            "%3 ORDER BY finished_at DESC, elapsed_ms DESC LIMIT 1")
                 .arg(hint("boards_written_finish"), QLatin1String(kWrittenOutcomes), period),
             bound, error) ||
        !query.next())
        return false;
    const qint64 lastFinish = query.value(0).toLongLong();
    s.lastFinishedAt = lastFinish;
    s.lastBoardMs = query.value(1).toLongLong();
    s.perHour = PerHour(s.written, first, lastFinish);

    // Nearest rank: the smallest time at or above that share of the boards.
    const qint64 n = s.written;
    const std::pair<qint64, qint64*> ranks[] = {{(n + 1) / 2, &s.medianMs},
                                                {(9 * n + 9) / 10, &s.p90Ms}};
    const QString ordered =
        QStringLiteral("SELECT elapsed_ms FROM boards%1 WHERE outcome IN %2 AND %3 "
                       "ORDER BY elapsed_ms")
            .arg(walk ? hint("boards_written_time") : QString(), QLatin1String(kWrittenOutcomes),
                 period);
    if (walk) {
        // The index skips to a rank without handing over the rows before it,
        // but steps over each of them: it walks in from the nearer end (the
        // written boards of the period are exactly the n rows it walks).
        for (const auto& [rank, out] : ranks) {
            const bool fromTop = n - rank < rank - 1;
            if (!Run(query,
                     ordered + (fromTop ? QStringLiteral(" DESC") : QString()) +
                         QStringLiteral(" LIMIT 1 OFFSET ?"),
                     QVariantList(bound) << (fromTop ? n - rank : rank - 1), error) ||
                !query.next())
                return false;
            *out = query.value(0).toLongLong();
        }
        return true;
    }
    // Otherwise one sort serves both ranks (an older SQLite file without the
    // indexes, or a short period).
    if (!Run(query, ordered, bound, error))
        return false;
    for (qint64 row = 1; row <= ranks[1].first && query.next(); ++row) {
        for (const auto& [rank, out] : ranks) {
            if (row == rank)
                *out = query.value(0).toLongLong();
        }
    }
    return true;
}

// Every station's counts in one pass over the period.
bool StationCounts(RecordStore& store, qint64 since, QMap<QString, RecordSummary>* stations,
                   QString* error) {
    QSqlQuery query(store.database());
    if (!Run(query,
             QStringLiteral("SELECT station, outcome, COUNT(*) FROM boards WHERE %1 AND %2 GROUP "
                            "BY station, outcome")
                 .arg(QLatin1String(kCounted), Period({})),
             {since}, error))
        return false;
    while (query.next())
        Count((*stations)[query.value(0).toString()], query.value(1).toString(),
              query.value(2).toInt());
    if (!Run(query,
             QStringLiteral("SELECT station, COUNT(*) FROM boards WHERE refetches > 0 AND %1 "
                            "GROUP BY station")
                 .arg(Period({})),
             {since}, error))
        return false;
    while (query.next())
        (*stations)[query.value(0).toString()].fetchedAgain = query.value(1).toInt();
    return true;
}

} // namespace

RecordSummary Summarise(RecordStore& store, qint64 since, QString* error) {
    RecordSummary s;
    if (Counts(store, since, QString(), true, s, error))
        Times(store, since, QString(), s, error);
    return s;
}

bool SummariseStations(RecordStore& store, qint64 since, const QStringList& names,
                       QMap<QString, RecordSummary>* stations, RecordSummary* line,
                       QString* error) {
    if (store.isSqlite()) {
        // SQLite's planner, without statistics, cannot skip from station to
        // station in one pass: each station's counts are a few seeks into its
        // own index, where one pass reads all of it even for a shift.
        for (const QString& name : names) {
            if (!Counts(store, since, name, false, (*stations)[name], error))
                return false;
        }
    } else if (!StationCounts(store, since, stations, error)) {
        return false;
    }
    *line = {};
    for (auto it = stations->begin(); it != stations->end(); ++it) {
        line->written += it->written;
        line->failed += it->failed;
        line->fetchedAgain += it->fetchedAgain;
        line->cancelled += it->cancelled;
        if (!Times(store, since, it.key(), *it, error))
            return false;
    }
    return Times(store, since, QString(), *line, error);
}

QString RepeatedMacCondition() {
    return QStringLiteral("outcome IN %1 AND base_mac <> '' AND claimed_at >= ?")
        .arg(QLatin1String(kWrittenOutcomes));
}

QString SummaryLine(const RecordSummary& s) {
    QString line = QStringLiteral("已写 %1 / 失败 %2 / 每小时 %3 块 / 最后一块 %4")
                       .arg(s.written)
                       .arg(s.failed)
                       .arg(s.perHour, 0, 'f', 1)
                       .arg(Duration(s.lastBoardMs));
    if (s.repeatedMacs > 0)
        line += QStringLiteral(" / 重复MAC %1个(%2块板)").arg(s.repeatedMacs).arg(s.repeatedBoards);
    return line;
}

} // namespace quorvane::record
