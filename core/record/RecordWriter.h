#pragma once

#include "core/record/BoardAttempt.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

namespace quorvane::record {

class RecordStore;

// Commits the record's rows on a thread of its own: each commit waits for
// the disk (a power cut must not lose it), and the station's event loop must
// not. Rows that arrive while a commit is under way go in the next one.
// Talks by queued calls only; owns its database connection.
class RecordWriter : public QObject {
    Q_OBJECT
public:
    // Starts the thread; the file is opened there.
    explicit RecordWriter(QString databasePath);
    ~RecordWriter() override; // commits what is queued, then stops

    // Callable from the owner's thread.
    void save(const BoardAttempt& attempt);
    // Returns once everything saved before has been committed (or failed).
    void flush();

Q_SIGNALS:
    // Emitted on the writer's thread; connect queued.
    void committed(const QStringList& ids);
    void failed(const QString& error);

private:
    static constexpr qsizetype kMaxPending = 10000;
    void enqueue(const BoardAttempt& attempt);
    void commitPending();

    QThread m_thread;
    QString m_path;
    std::unique_ptr<RecordStore> m_store; // lives on m_thread
    QList<BoardAttempt> m_pending;        // touched on m_thread only
    bool m_commitScheduled = false;
};

} // namespace quorvane::record
