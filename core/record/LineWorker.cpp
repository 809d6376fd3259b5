#include "core/record/LineWorker.h"

#include "core/record/RecordStore.h"

#include <QMetaObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <utility>

namespace quorvane::record {

namespace {

// Small enough that the guard's question never waits long behind a batch.
constexpr int kBatch = 20;

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
                       const QString& localFile, std::chrono::milliseconds retry, QObject* newsTo)
    : m_box(box), m_url(Detached(url)), m_where(Detached(where)), m_localFile(Detached(localFile)),
      m_retry(retry), m_newsTo(newsTo) {
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
    // The last rows of the run, while the line is there to take them.
    while (m_reported == Reported::Up && deliverSome()) {
    }
    m_line.reset();
    m_local.reset();
    std::lock_guard lock(m_box.mutex);
    m_box.finished = true;
}

void LineWorker::answer(const LineQuestion& question) {
    LineAnswer reply;
    reply.number = question.number;
    reply.asked = withLine([&](RecordStore& line, QString* error) {
        reply.written = line.latestWritten(question.label, error);
        return error->isEmpty();
    });
    std::lock_guard lock(m_box.mutex);
    m_box.answer = std::move(reply);
    m_box.answered.notify_all();
}

bool LineWorker::deliverSome() {
    if (!m_line && !connectLine())
        return false;
    if (!m_local && !openLocal())
        return false;
    QStringList ids;
    for (auto it = m_pending.begin(); it != m_pending.end() && ids.size() < kBatch;) {
        ids << *it;
        it = m_pending.erase(it);
    }
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
    if (!rows.isEmpty() &&
        !withLine([&](RecordStore& line, QString* error) { return upsert(line, rows, error); }))
        return false;
    // Delivered but not noted: sent again later, which changes nothing there.
    if (!markDelivered(rows)) {
        later();
        return false;
    }
    if (sweeping && rows.size() < kBatch)
        m_sweep = false;
    return true;
}

bool LineWorker::connectLine() {
    return withLine([](RecordStore&, QString*) { return true; });
}

bool LineWorker::openLocal() {
    m_local = RecordStore::Open(m_localFile, nullptr);
    if (!m_local) {
        m_sweep = true;
        later();
    }
    return m_local != nullptr;
}

bool LineWorker::readPending(const QStringList& ids, QList<Pending>& rows) {
    // Rows never delivered, or changed since they were.
    QString sql =
        QStringLiteral("SELECT b.%1, b.revision FROM boards b LEFT JOIN deliveries d ON "
                       "d.id = b.id WHERE (d.revision IS NULL OR d.revision < b.revision)")
            .arg(BoardColumns().join(QStringLiteral(", b.")));
    if (ids.isEmpty())
        sql += QStringLiteral(" ORDER BY b.claimed_at, b.id LIMIT %1").arg(kBatch);
    else
        sql += QStringLiteral(" AND b.id IN (%1)")
                   .arg(QStringList(ids.size(), QStringLiteral("?")).join(u','));
    QSqlQuery query(m_local->database());
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QString& id : ids)
        query.addBindValue(id);
    if (!query.exec())
        return false;
    const int revision = query.record().count() - 1;
    while (query.next())
        rows.append({ReadBoard(query), query.value(revision).toLongLong()});
    return true;
}

bool LineWorker::upsert(RecordStore& line, const QList<Pending>& rows, QString* error) {
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
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    query.prepare(sql);
    for (const Pending& p : rows) {
        BindBoard(query, p.row);
        query.addBindValue(p.revision);
        if (!query.exec()) {
            *error = query.lastError().text();
            query.clear();
            db.rollback();
            return false;
        }
    }
    query.clear();
    if (!db.commit()) {
        *error = db.lastError().text();
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
bool LineWorker::withLine(Op op) {
    QString error;
    // A connection the server dropped (a restart), or a schema another
    // station was making at the same moment, gets one fresh try.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_line)
            m_line = RecordStore::Open(m_url, &error);
        if (!m_line)
            continue;
        error.clear();
        if (op(*m_line, &error)) {
            markUp();
            return true;
        }
        m_line.reset();
    }
    markDown(error);
    return false;
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
    m_retryAt = LineClock::now() + m_retry;
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
