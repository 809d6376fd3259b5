#include "core/record/BoardRows.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

namespace quorvane::record {

namespace {

class QtRows final : public BoardRows {
public:
    explicit QtRows(QSqlDatabase& db) : m_query(db) {}
    bool start(const BoardSelect& select) { return RunSelect(m_query, select.sql, select.values); }
    bool next() override { return m_query.next(); }
    Cell cell(int column) override { return {Cell::Other, 0, {}, m_query.value(column)}; }
    QString error() const override {
        return m_query.lastError().isValid() ? m_query.lastError().text() : QString();
    }

private:
    QSqlQuery m_query;
};

bool IsAscii(const unsigned char* text, int size) {
    for (int i = 0; i < size; ++i) {
        if (text[i] >= 0x80)
            return false;
    }
    return true;
}

// A connection of its own to the file, read-only, waiting for a writer as
// the station's does; used by one thread, so without SQLite's locks.
class SqliteRows final : public BoardRows {
public:
    ~SqliteRows() override {
        sqlite3_finalize(m_statement);
        sqlite3_close(m_db);
    }
    bool start(const QString& path, const BoardSelect& select) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
            sqlite3_busy_timeout(m_db, 5000) != SQLITE_OK)
            return fail();
        const QByteArray sql = select.sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, sql.constData(), static_cast<int>(sql.size()), &m_statement,
                               nullptr) != SQLITE_OK)
            return fail();
        int at = 1;
        for (const QVariant& value : select.values) {
            const int bound =
                value.typeId() == QMetaType::QString
                    ? sqlite3_bind_text(m_statement, at, value.toString().toUtf8().constData(), -1,
                                        SQLITE_TRANSIENT)
                    : sqlite3_bind_int64(m_statement, at, value.toLongLong());
            if (bound != SQLITE_OK)
                return fail();
            ++at;
        }
        return true;
    }
    bool next() override {
        const int step = sqlite3_step(m_statement);
        if (step == SQLITE_ROW)
            return true;
        if (step != SQLITE_DONE)
            fail();
        return false;
    }
    Cell cell(int column) override {
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_INTEGER:
            return {Cell::Integer, sqlite3_column_int64(m_statement, column), {}, {}};
        case SQLITE_TEXT: {
            const unsigned char* text = sqlite3_column_text(m_statement, column);
            const int size = sqlite3_column_bytes(m_statement, column);
            if (IsAscii(text, size))
                return {Cell::Ascii, 0, QByteArrayView(text, size), {}};
            // As Qt's driver reads it, invalid UTF-8 included.
            const auto* utf16 =
                static_cast<const QChar*>(sqlite3_column_text16(m_statement, column));
            return {Cell::Other,
                    0,
                    {},
                    QString(utf16, sqlite3_column_bytes16(m_statement, column) / 2)};
        }
        case SQLITE_FLOAT:
            return {Cell::Other, 0, {}, sqlite3_column_double(m_statement, column)};
        case SQLITE_BLOB:
            return {Cell::Other,
                    0,
                    {},
                    QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                               sqlite3_column_bytes(m_statement, column))};
        default:
            return {Cell::Other, 0, {}, QVariant(QMetaType::fromType<QString>())};
        }
    }
    QString error() const override { return m_error; }

private:
    bool fail() {
        m_error = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        return false;
    }
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    QString m_error;
};

} // namespace

std::unique_ptr<BoardRows> OpenBoardRows(RecordStore& store, const RowFilter& filter,
                                         QString* error) {
    const BoardSelect select = SelectBoards(filter);
    // An in-memory database is only reachable through its own connection.
    const QString file = store.database().databaseName();
    if (store.isSqlite() && !file.isEmpty() && file != u":memory:") {
        auto rows = std::make_unique<SqliteRows>();
        if (rows->start(file, select))
            return rows;
        if (error)
            *error = rows->error();
        return nullptr;
    }
    auto rows = std::make_unique<QtRows>(store.database());
    if (rows->start(select))
        return rows;
    if (error)
        *error = rows->error();
    return nullptr;
}

} // namespace quorvane::record
