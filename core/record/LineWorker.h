#pragma once

#include "core/record/BoardAttempt.h"

#include <QHash>

#include <QList>
#include <QSet>
#include <QSqlError>
#include <QString>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace quorvane::record {

class RecordStore;
using LineClock = std::chrono::steady_clock;

struct LineTiming {
    // The guard's longest wait for the line's answer.
    std::chrono::milliseconds checkWait{300};
    // Between attempts while the line is unreachable; a row the server
    // refuses is tried again after this, then twice as long each time.
    std::chrono::milliseconds retry{5000};
    // At close, the longest the last rows are given to reach the line.
    std::chrono::milliseconds closeWait{3000};
};

struct LineQuestion {
    quint64 number = 0;
    QString label;
    LineClock::time_point deadline;
};

struct LineAnswer {
    quint64 number = 0;
    bool asked = false; // false: the line could not be asked
    std::optional<BoardAttempt> written;
};

struct LineNews {
    bool reachable = false;
    QString text;
};

// What the station's thread and the line's thread hand each other, only
// under `mutex`. A std::mutex rather than queued signals, as the rest of the
// station talks: the guard waits for the line's answer with a deadline on the
// station's thread, which a queued signal allows only through a nested event
// loop (letting routers' datagrams in while the guard decides); and Qt's own
// locks are invisible to ThreadSanitizer, which must see every hand-over.
// Texts cross as copies of their own, never shared by both threads.
struct LineMailbox {
    std::mutex mutex;
    std::condition_variable wake;     // the line's thread waits on it
    std::condition_variable answered; // the guard waits on it
    QSet<QString> saved;              // ids committed since the line's thread looked
    std::optional<LineQuestion> question;
    std::optional<LineAnswer> answer;
    QList<LineNews> news;
    quint64 questions = 0;
    bool down = false; // known unreachable: the guard does not ask
    bool stopping = false;
    bool finished = false;
};

QString Detached(const QString& text);

// The line's thread: owns its connections to the line and to the station's
// file, delivers rows in small batches and answers the guard in between.
class LineWorker final : public QThread {
public:
    // newsTo gets takeNews() queued whenever the line goes down or comes back.
    // where: the line as the operator may see it.
    LineWorker(LineMailbox& box, const QString& url, const QString& where, const QString& localFile,
               LineTiming timing, QObject* newsTo);
    ~LineWorker() override;

protected:
    void run() override;

private:
    struct Pending;
    // A row the server refused, kept here and offered again later.
    struct SetAside {
        LineClock::time_point due;
        std::chrono::milliseconds backOff{0};
    };
    enum class Sent { Done, Refused, Unreachable };
    void answer(const LineQuestion& question);
    // True when it delivered something and more may follow at once.
    bool deliverSome();
    bool connectLine();
    bool openLocal();
    // Of m_pending, the ids whose time has come; without any, the sweep's.
    QStringList takeBatch();
    bool readPending(const QStringList& ids, QList<Pending>& rows);
    // refused: the row the server refused, -1 when it refused the batch.
    bool upsert(RecordStore& line, const QList<Pending>& rows, QSqlError* error,
                qsizetype* refused);
    bool markDelivered(const QList<Pending>& rows);
    void setAside(const QString& id);
    // The earliest time a row set aside is due, else never.
    LineClock::time_point nextDue() const;
    // Runs op on the line; a connection the server dropped gets one fresh
    // try. A refusal leaves its reason in m_refusal.
    template <class Op>
    Sent withLine(Op op);
    void markUp();
    void markDown(const QString& error);
    void later();
    void tell(bool reachable, const QString& text);

    LineMailbox& m_box;
    const QString m_url;
    const QString m_where;
    const QString m_localFile;
    const LineTiming m_timing;
    QObject* const m_newsTo;

    std::unique_ptr<RecordStore> m_line;
    std::unique_ptr<RecordStore> m_local;
    QSet<QString> m_pending;
    QHash<QString, SetAside> m_setAside;
    QString m_refusal;     // the server's reason for the last refusal
    QString m_toldRefusal; // the reason the operator was told, while rows are set aside
    bool m_sweep = true;   // rows may wait that no id names: at start, after a failure
    LineClock::time_point m_retryAt;
    enum class Reported { Nothing, Up, Down } m_reported = Reported::Nothing;
};

} // namespace quorvane::record
