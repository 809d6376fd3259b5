#include "core/record/RecordSummary.h"

#include "core/record/RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <vector>

namespace quorvane::record {

namespace {

QString Duration(qint64 ms) {
    if (ms < 0)
        return QStringLiteral("-");
    const qint64 seconds = (ms + 999) / 1000;
    return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60);
}

// The value at rank p (0..1) of sorted values, nearest rank.
qint64 Percentile(const std::vector<qint64>& sorted, double p) {
    if (sorted.empty())
        return -1;
    const auto rank = static_cast<std::size_t>(p * static_cast<double>(sorted.size()) + 0.999999);
    return sorted[std::min(sorted.size(), std::max<std::size_t>(rank, 1)) - 1];
}

} // namespace

RecordSummary Summarise(RecordStore& store, qint64 since, QString* error) {
    RecordSummary s;
    QSqlQuery query(store.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral(
        "SELECT"
        " SUM(CASE WHEN outcome IN ('written-done', 'written-timer') THEN 1 ELSE 0 END),"
        " SUM(CASE WHEN outcome IN ('released', 'stopped') THEN 1 ELSE 0 END),"
        " SUM(CASE WHEN refetches > 0 THEN 1 ELSE 0 END),"
        " SUM(CASE WHEN outcome IN ('scan-cancelled', 'reburn-refused') THEN 1 ELSE 0 END),"
        " MIN(claimed_at),"
        " MAX(CASE WHEN outcome IN ('written-done', 'written-timer') THEN finished_at END)"
        " FROM boards WHERE claimed_at >= ?"));
    query.addBindValue(since);
    if (!query.exec() || !query.next()) {
        if (error)
            *error = query.lastError().text();
        return s;
    }
    s.written = query.value(0).toInt();
    s.failed = query.value(1).toInt();
    s.fetchedAgain = query.value(2).toInt();
    s.cancelled = query.value(3).toInt();
    const qint64 first = query.value(4).toLongLong();
    const qint64 lastFinish = query.value(5).toLongLong();
    if (s.written > 0 && lastFinish > first)
        s.perHour = s.written * 3600000.0 / static_cast<double>(lastFinish - first);

    query.prepare(QStringLiteral("SELECT elapsed_ms, finished_at FROM boards WHERE claimed_at >= ? "
                                 "AND outcome IN ('written-done', 'written-timer') "
                                 "ORDER BY elapsed_ms"));
    query.addBindValue(since);
    if (!query.exec()) {
        if (error)
            *error = query.lastError().text();
        return s;
    }
    std::vector<qint64> elapsed;
    qint64 newest = -1;
    while (query.next()) {
        elapsed.push_back(query.value(0).toLongLong());
        const qint64 finished = query.value(1).toLongLong();
        if (finished >= newest) {
            newest = finished;
            s.lastBoardMs = elapsed.back();
        }
    }
    s.medianMs = Percentile(elapsed, 0.5);
    s.p90Ms = Percentile(elapsed, 0.9);
    return s;
}

QString SummaryLine(const RecordSummary& s) {
    return QStringLiteral("已写 %1 / 失败 %2 / 每小时 %3 块 / 最后一块 %4")
        .arg(s.written)
        .arg(s.failed)
        .arg(s.perHour, 0, 'f', 1)
        .arg(Duration(s.lastBoardMs));
}

} // namespace quorvane::record
