#include "core/record/LineWorker.h"

#include "core/record/RecordStore.h"

#include <QMetaObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <algorithm>

#include <utility>

namespace quorvane::record {

namespace {

// Small enough that the guard's question never waits long behind a batch.
constexpr int kBatch = 20;
constexpr std::chrono::milliseconds kLongestBackOff{5 * 60 * 1000};

// "Cannot reach" by its SQLSTATE: a connection that failed or went (class
// 08), a server shutting down or starting (57P01-57P03), or an error the
// client made up without one. Any other is the server's refusal.
bool Unreachable(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return error.type() == QSqlError::ConnectionError || code.isEmpty() ||
           code.startsWith(QLatin1String("08")) || code == u"57P01" || code == u"57P02" ||
           code == u"57P03";
}

QStringList BoardColumns() {
    return BoardColumnList().split(QStringLiteral(", "));
}

} // namespace

struct LineWorker::Pending {
    BoardAttempt row;
    qint64 revision = 0;
};

QString Detached(const QString& text) {
    return QString(text.constData(), text.size());
}

LineWorker::LineWorker(LineMailbox& box, const QString& url, const QString& where,
                       const QString& localFile, LineTiming timing, QObject* newsTo)
    : m_box(box), m_url(Detached(url)), m_where(Detached(where)), m_localFile(Detached(localFile)),
      m_timing(timing), m_newsTo(newsTo) {
    setObjectName(QStringLiteral("quorvane-line"));
}

LineWorker::~LineWorker() = default;

void LineWorker::run() {
    for (;;) {
        std::optional<LineQuestion> question;
        bool stopping = false;
        {
            std::unique_lock lock(m_box.mutex);
            const bool work = m_sweep || !m_pending.isEmpty();
            // While the line is down, new rows wait for the next attempt.
            const auto due = [&] {
                return m_box.stopping || m_box.question || (!work && !m_box.saved.isEmpty());
            };
            if (work)
                m_box.wake.wait_until(lock, m_retryAt, due);
            else if (!m_setAside.isEmpty())
                m_box.wake.wait_until(lock, nextDue(), due);
            else
                m_box.wake.wait(lock, due);
            m_pending.unite(std::exchange(m_box.saved, {}));
            question = std::exchange(m_box.question, std::nullopt);
            stopping = m_box.stopping;
        }
        if (question && LineClock::now() < question->deadline)
            answer(*question);
        if (stopping)
            break;
        if (LineClock::now() >= m_retryAt)
            deliverSome();
    }
    // The last rows of the run, while the line is there to take them: the
    // file is swept, for the writer's last commits may not have been named.
    const LineClock::time_point end = LineClock::now() + m_timing.closeWait;
    m_sweep = true;
    if (m_line) // a slow server must not hold the station's close for long
        QSqlQuery(m_line->database())
            .exec(QStringLiteral("SET statement_timeout = %1").arg(m_timing.closeWait.count()));
    while (m_reported != Reported::Down && LineClock::now() < end && deliverSome()) {
    }
    m_line.reset();
    m_local.reset();
    std::lock_guard lock(m_box.mutex);
    m_box.finished = true;
}

void LineWorker::answer(const LineQuestion& question) {
    LineAnswer reply;
    reply.number = question.number;
    reply.asked = withLine([&](RecordStore& line, QSqlError* error) {
                      QString text;
                      reply.written = line.latestWritten(question.label, &text);
                      *error = QSqlError(text);
                      return text.isEmpty();
                  }) == Sent::Done;
    std::lock_guard lock(m_box.mutex);
    m_box.answer = std::move(reply);
    m_box.answered.notify_all();
}

bool LineWorker::deliverSome() {
    if (!m_line && !connectLine())
        return false;
    if (!m_local && !openLocal())
        return false;
    const QStringList ids = takeBatch();
    const bool sweeping = ids.isEmpty();
    if (sweeping && !m_sweep)
        return false;
    QList<Pending> rows;
    if (!readPending(ids, rows)) {
        m_local.reset();
        m_sweep = true; // the ids taken are found again by the sweep
        later();
        return false;
    }
    for (const QString& id : ids) { // delivered meanwhile: nothing left to send of it
        if (std::none_of(rows.cbegin(), rows.cend(),
                         [&](const Pending& p) { return p.row.id == id; }))
            m_setAside.remove(id);
    }
    while (!rows.isEmpty()) {
        qsizetype refused = -1;
        const Sent sent = withLine([&](RecordStore& line, QSqlError* error) {
            return upsert(line, rows, error, &refused);
        });
        if (sent == Sent::Unreachable)
            return false;
        if (sent == Sent::Done)
            break;
        // The others go on; the refused row waits here for another try.
        if (refused >= 0) {
            setAside(rows.takeAt(refused).row.id);
            continue;
        }
        for (const Pending& p : std::as_const(rows))
            setAside(p.row.id);
        rows.clear();
    }
    // Delivered but not noted: sent again later, which changes nothing there.
    if (!markDelivered(rows)) {
        later();
        return false;
    }
    if (sweeping && rows.size() < kBatch)
        m_sweep = false;
    if (m_setAside.isEmpty()) // all taken at last: a new refusal is news again
        m_toldRefusal.clear();
    return true;
}

bool LineWorker::connectLine() {
    return withLine([](RecordStore&, QSqlError*) { return true; }) == Sent::Done;
}

bool LineWorker::openLocal() {
    m_local = RecordStore::Open(m_localFile, nullptr);
    if (!m_local) {
        m_sweep = true;
        later();
    }
    return m_local != nullptr;
}

QStringList LineWorker::takeBatch() {
    const LineClock::time_point now = LineClock::now();
    for (auto it = m_setAside.cbegin(); it != m_setAside.cend(); ++it) {
        if (it->due <= now)
            m_pending.insert(it.key());
    }
    QStringList ids;
    for (auto it = m_pending.begin(); it != m_pending.end() && ids.size() < kBatch;) {
        const auto aside = m_setAside.constFind(*it);
        // A row set aside keeps its time, however often it changes meanwhile.
        if (aside == m_setAside.cend() || aside->due <= now)
            ids << *it;
        it = m_pending.erase(it);
    }
    return ids;
}

void LineWorker::setAside(const QString& id) {
    SetAside& aside = m_setAside[id];
    aside.backOff =
        aside.backOff.count() == 0 ? m_timing.retry : std::min(aside.backOff * 2, kLongestBackOff);
    aside.due = LineClock::now() + aside.backOff;
    if (m_refusal == m_toldRefusal)
        return;
    m_toldRefusal = m_refusal;
    tell(true, QStringLiteral("生产数据库%1拒收本站记录,记录先存在本站,稍后重传: %2")
                   .arg(m_where, m_refusal));
}

LineClock::time_point LineWorker::nextDue() const {
    LineClock::time_point next = LineClock::time_point::max();
    for (const SetAside& aside : m_setAside)
        next = std::min(next, aside.due);
    return next;
}

bool LineWorker::readPending(const QStringList& ids, QList<Pending>& rows) {
    // Rows never delivered, or changed since they were.
    QString sql =
        QStringLiteral("SELECT b.%1, b.revision FROM boards b LEFT JOIN deliveries d ON "
                       "d.id = b.id WHERE (d.revision IS NULL OR d.revision < b.revision)")
            .arg(BoardColumns().join(QStringLiteral(", b.")));
    const QStringList aside = m_setAside.keys();
    if (ids.isEmpty())
        sql += QStringLiteral(" AND b.id NOT IN (%1) ORDER BY b.claimed_at, b.id LIMIT %2")
                   .arg(QStringList(aside.size(), QStringLiteral("?")).join(u','))
                   .arg(kBatch);
    else
        sql += QStringLiteral(" AND b.id IN (%1)")
                   .arg(QStringList(ids.size(), QStringLiteral("?")).join(u','));
    QSqlQuery query(m_local->database());
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QString& id : ids.isEmpty() ? aside : ids)
        query.addBindValue(id);
    if (!query.exec())
        return false;
    const int revision = query.record().count() - 1;
    while (query.next())
        rows.append({ReadBoard(query), query.value(revision).toLongLong()});
    return true;
}

bool LineWorker::upsert(RecordStore& line, const QList<Pending>& rows, QSqlError* error,
                        qsizetype* refused) {
    QSqlDatabase& db = line.database();
    QStringList updates;
    for (const QString& column : BoardColumns().mid(1))
        updates << QStringLiteral("%1 = excluded.%1").arg(column);
    // The line keeps the station's revision: a row sent twice, or an older
    // revision after a newer one, changes nothing.
    const QString sql =
        QStringLiteral("INSERT INTO boards (%1, revision) VALUES (%2) ON CONFLICT (id) DO UPDATE "
                       "SET %3, revision = excluded.revision WHERE boards.revision < "
                       "excluded.revision")
            .arg(BoardColumnList(),
                 QStringList(BoardColumns().size() + 1, QStringLiteral("?")).join(u','),
                 updates.join(QStringLiteral(", ")));
    *refused = -1;
    if (!db.transaction()) {
        *error = db.lastError();
        return false;
    }
    QSqlQuery query(db);
    query.prepare(sql);
    for (const Pending& p : rows) {
        BindBoard(query, p.row);
        query.addBindValue(p.revision);
        if (!query.exec()) {
            *error = query.lastError();
            *refused = &p - rows.data();
            db.rollback(); // first: the statement is freed outside the failed transaction
            query.clear();
            return false;
        }
    }
    query.clear();
    if (!db.commit()) {
        *error = db.lastError();
        return false;
    }
    return true;
}

bool LineWorker::markDelivered(const QList<Pending>& rows) {
    if (rows.isEmpty())
        return true;
    QSqlDatabase& db = m_local->database();
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO deliveries (id, revision) VALUES (?, ?) ON "
                                 "CONFLICT (id) DO UPDATE SET revision = excluded.revision"));
    for (const Pending& p : rows) {
        m_setAside.remove(p.row.id);
        query.addBindValue(p.row.id);
        query.addBindValue(p.revision);
        if (!query.exec()) {
            query.clear();
            db.rollback();
            m_sweep = true;
            return false;
        }
    }
    query.clear();
    if (db.commit())
        return true;
    db.rollback();
    m_sweep = true;
    return false;
}

template <class Op>
LineWorker::Sent LineWorker::withLine(Op op) {
    QSqlError error;
    // A connection the server dropped (a restart), or a schema another
    // station was making at the same moment, gets one fresh try.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_line) {
            QString text;
            m_line = RecordStore::Open(m_url, &text);
            error = QSqlError(text, {}, QSqlError::ConnectionError);
        }
        if (!m_line)
            continue;
        error = {};
        const bool done = op(*m_line, &error);
        if (done || !Unreachable(error)) {
            markUp();
            // Its first line: the details name the row's values, one refusal many texts.
            m_refusal = QStringLiteral("%1 (%2)").arg(
                error.databaseText().section(u'\n', 0, 0).simplified(), error.nativeErrorCode());
            return done ? Sent::Done : Sent::Refused;
        }
        m_line.reset();
    }
    markDown(error.text());
    return Sent::Unreachable;
}

void LineWorker::markUp() {
    m_retryAt = {};
    if (m_reported == Reported::Up)
        return;
    tell(true, m_reported == Reported::Nothing
                   ? QStringLiteral("已连接生产数据库%1").arg(m_where)
                   : QStringLiteral("生产数据库%1已恢复,补传本站记录").arg(m_where));
    m_reported = Reported::Up;
}

void LineWorker::markDown(const QString& error) {
    m_line.reset();
    m_sweep = true;
    later();
    if (m_reported == Reported::Down)
        return;
    m_reported = Reported::Down;
    tell(false, QStringLiteral("生产数据库%1不可用,记录先存在本站,恢复后补传;查重只查本站记录: %2")
                    .arg(m_where, error.simplified())); // one log line
}

void LineWorker::later() {
    m_retryAt = LineClock::now() + m_timing.retry;
}

void LineWorker::tell(bool reachable, const QString& text) {
    {
        std::lock_guard lock(m_box.mutex);
        m_box.down = !reachable;
        m_box.news.append({reachable, text});
    }
    QMetaObject::invokeMethod(m_newsTo, "takeNews", Qt::QueuedConnection);
}

} // namespace quorvane::record
