#include "core/record/RecordChanges.h"

#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace quorvane::record {

namespace {

QString ChangeColumn(ChangeOrder order) {
    switch (order) {
    case ChangeOrder::Counter:
        return QStringLiteral("change");
    case ChangeOrder::RowId:
        return QStringLiteral("rowid");
    case ChangeOrder::None:
        break;
    }
    return QStringLiteral("0");
}

bool Fail(QString* error, const QSqlQuery& query) {
    if (error)
        *error = query.lastError().text();
    return false;
}

} // namespace

ChangeOrder ChangeOrderOf(RecordStore& store) {
    if (SchemaAdditions(store.database()) >= kChangeCounterAddition)
        return ChangeOrder::Counter;
    return store.isSqlite() ? ChangeOrder::RowId : ChangeOrder::None;
}

bool ReadChanges(RecordStore& store, const ChangeQuery& q, QList<ChangedBoard>* rows,
                 QString* error) {
    const ChangeOrder order = ChangeOrderOf(store);
    const QString change = ChangeColumn(order);
    QString sql =
        QStringLiteral("SELECT %1, %2 FROM boards WHERE 1 = 1").arg(BoardColumnList(), change);
    QVariantList values;
    const bool after = q.after && order != ChangeOrder::None;
    if (after) {
        sql += QStringLiteral(" AND %1 > ?").arg(change);
        values << *q.after;
    }
    if (!q.station.isEmpty()) {
        sql += QStringLiteral(" AND station = ?");
        values << q.station;
    }
    if (!q.label.isEmpty()) {
        sql += QStringLiteral(" AND label = ?");
        values << q.label.toUpper();
    }
    const QString key = order == ChangeOrder::None ? QStringLiteral("claimed_at") : change;
    sql += QStringLiteral(" ORDER BY %1 %2 LIMIT %3")
               .arg(key, after ? QStringLiteral("ASC") : QStringLiteral("DESC"))
               .arg(q.limit);
    QSqlQuery query(store.database());
    if (!RunSelect(query, sql, values))
        return Fail(error, query);
    const int column = BoardColumnList().count(u',') + 1;
    while (query.next())
        rows->append({query.value(column).toLongLong(), ReadBoard(query)});
    if (query.lastError().isValid())
        return Fail(error, query);
    return true;
}

std::optional<qint64> LastChange(RecordStore& store, QString* error) {
    const ChangeOrder order = ChangeOrderOf(store);
    if (order == ChangeOrder::None)
        return 0;
    QSqlQuery query(store.database());
    if (!query.exec(QStringLiteral("SELECT MAX(%1) FROM boards").arg(ChangeColumn(order))) ||
        !query.next()) {
        Fail(error, query);
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

} // namespace quorvane::record
