#include "core/record/RecordWriter.h"

#include "core/record/RecordStore.h"

#include <QMetaObject>
#include <QSqlError>
#include <QTimer>

namespace quorvane::record {

RecordWriter::RecordWriter(QString databasePath) : m_path(std::move(databasePath)) {
    m_thread.setObjectName(QStringLiteral("record writer"));
    moveToThread(&m_thread);
    m_thread.start();
}

RecordWriter::~RecordWriter() {
    flush();
    QMetaObject::invokeMethod(
        this, [this] { m_store.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void RecordWriter::save(const BoardAttempt& attempt) {
    QMetaObject::invokeMethod(
        this, [this, attempt] { enqueue(attempt); }, Qt::QueuedConnection);
}

void RecordWriter::flush() {
    QMetaObject::invokeMethod(
        this, [this] { commitPending(); }, Qt::BlockingQueuedConnection);
}

void RecordWriter::enqueue(const BoardAttempt& attempt) {
    // A later state of the same row replaces the earlier one not yet written.
    for (BoardAttempt& pending : m_pending) {
        if (pending.id == attempt.id) {
            pending = attempt;
            return;
        }
    }
    m_pending.append(attempt);
    if (!m_commitScheduled) {
        m_commitScheduled = true;
        QTimer::singleShot(0, this, [this] { commitPending(); });
    }
}

void RecordWriter::commitPending() {
    m_commitScheduled = false;
    if (m_pending.isEmpty())
        return;
    QString error;
    if (!m_store)
        m_store = RecordStore::Open(m_path, &error);
    bool ok = m_store != nullptr;
    if (ok) {
        QSqlDatabase& db = m_store->database();
        ok = db.transaction();
        for (const BoardAttempt& attempt : m_pending) {
            if (ok)
                ok = m_store->save(attempt, &error);
        }
        if (ok)
            ok = db.commit();
        if (!ok) {
            if (error.isEmpty())
                error = db.lastError().text();
            db.rollback();
        }
    }
    if (!ok) {
        // Kept for the next try (the next row, or the close), newest state
        // of each row only; a disk that stays full costs the oldest.
        while (m_pending.size() > kMaxPending)
            m_pending.removeFirst();
        Q_EMIT failed(error);
        return;
    }
    QStringList ids;
    for (const BoardAttempt& attempt : m_pending)
        ids << attempt.id;
    m_pending.clear();
    Q_EMIT committed(ids);
}

} // namespace quorvane::record
