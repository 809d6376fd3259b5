#include "dashboard/RecordSource.h"

#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

namespace quorvane::dashboard {

namespace {

// SQLite's data_version costs next to nothing: looked at often enough that a
// commit reaches the page well within a second. A server is looked at less
// often, its NOTIFY being the fast way.
constexpr int kFileLookMs = 200;
constexpr int kServerLookMs = 3000;
constexpr int kBatch = 500;

} // namespace

RecordSource::RecordSource(const QString& where, const QString& shown, QObject* parent)
    : QObject(parent), m_where(where), m_shown(shown) {
    connect(&m_timer, &QTimer::timeout, this, &RecordSource::look);
}

RecordSource::~RecordSource() = default;

bool RecordSource::open(QString* error) {
    m_store = record::RecordStore::Open(m_where, error, record::OpenMode::ReadOnly);
    if (!m_store)
        return false;
    m_order = record::ChangeOrderOf(*m_store);
    const std::optional<qint64> last = record::LastChange(*m_store, error);
    if (!last)
        return false;
    m_cursor = *last;
    reopen();
    m_timer.start(m_store->isSqlite() ? kFileLookMs : kServerLookMs);
    return true;
}

record::RecordStore* RecordSource::store() {
    if (!m_store)
        reopen();
    return m_store.get();
}

bool RecordSource::reopen() {
    if (!m_store) {
        QString error;
        m_store = record::RecordStore::Open(m_where, &error, record::OpenMode::ReadOnly);
        if (!m_store) {
            if (!m_down)
                emit reachable(false, error.simplified());
            m_down = true;
            return false;
        }
        m_order = record::ChangeOrderOf(*m_store);
    }
    if (m_down)
        emit reachable(true, QString());
    m_down = false;
    QSqlDriver* driver = m_store->database().driver();
    if (!m_store->isSqlite() &&
        !driver->subscribedToNotifications().contains(QLatin1String(record::kBoardsChannel))) {
        driver->subscribeToNotification(QLatin1String(record::kBoardsChannel));
        connect(driver, &QSqlDriver::notification, this, &RecordSource::readNew,
                Qt::UniqueConnection);
    }
    return true;
}

void RecordSource::look() {
    if (!m_store && !reopen())
        return;
    if (m_store->isSqlite()) {
        QSqlQuery query(m_store->database());
        if (query.exec(QStringLiteral("PRAGMA data_version")) && query.next()) {
            const qint64 version = query.value(0).toLongLong();
            if (version == m_dataVersion)
                return;
            m_dataVersion = version;
        }
    }
    readNew();
}

void RecordSource::readNew() {
    if (!m_store || m_order == record::ChangeOrder::None)
        return;
    for (;;) {
        QList<record::ChangedBoard> rows;
        QString error;
        if (!record::ReadChanges(*m_store, {m_cursor, {}, {}, kBatch}, &rows, &error)) {
            // A server that went (a restart): a new connection at the next look,
            // which catches up from the cursor.
            if (!m_store->isSqlite())
                m_store.reset();
            if (!m_down)
                emit reachable(false, error.simplified());
            m_down = true;
            return;
        }
        if (rows.isEmpty())
            return;
        m_cursor = rows.last().change;
        emit changed(rows);
        if (rows.size() < kBatch)
            return;
    }
}

} // namespace quorvane::dashboard
