#pragma once

#include "core/record/RecordStore.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <memory>

namespace quorvane::record {

// One value of a row as read: an integer, ASCII text, or anything else as
// Qt SQL hands it over (the one form the slower readers give).
struct Cell {
    enum Type { Integer, Ascii, Other } type = Other;
    qint64 integer = 0;
    QByteArrayView text; // valid until the next row
    QVariant other;
};

// The rows a filter selects, one at a time, columns in BoardColumnList()'s
// order. Values read the same as through ReadBoard (QSqlQuery::value).
class BoardRows {
public:
    virtual ~BoardRows() = default;
    // False at the end or on an error (then error() says it).
    virtual bool next() = 0;
    virtual Cell cell(int column) = 0;
    virtual QString error() const = 0;
};

// A station's file is read through SQLite's own interface: Qt SQL turns each
// value into a QVariant and each text into UTF-16, which triples the time of
// an export. A server's rows come through Qt SQL.
std::unique_ptr<BoardRows> OpenBoardRows(RecordStore& store, const RowFilter& filter,
                                         QString* error);

} // namespace quorvane::record
