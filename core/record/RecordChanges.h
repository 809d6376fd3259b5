#pragma once

#include "core/record/BoardAttempt.h"

#include <QList>
#include <QString>

#include <optional>

namespace quorvane::record {

class RecordStore;

// The rows by change number, as a reader that follows the record asks for
// them. Without the change counter (a record of an older station) SQLite's
// rowid stands in: new rows are seen, later changes to a row are not; a
// server's record without it has no order and gives only the latest rows.
struct ChangedBoard {
    qint64 change = 0;
    BoardAttempt board;
};

struct ChangeQuery {
    std::optional<qint64> after; // the rows changed after it, oldest first; else the latest
    QString station;             // empty: every station
    QString label;               // empty: every label
    int limit = 100;
};

enum class ChangeOrder { Counter, RowId, None };
ChangeOrder ChangeOrderOf(RecordStore& store);

bool ReadChanges(RecordStore& store, const ChangeQuery& query, QList<ChangedBoard>* rows,
                 QString* error = nullptr);
// The highest change number in the record; 0 when it has none.
std::optional<qint64> LastChange(RecordStore& store, QString* error = nullptr);

} // namespace quorvane::record
