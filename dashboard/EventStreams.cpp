#include "dashboard/EventStreams.h"

#include "dashboard/DashboardJson.h"
#include "dashboard/RecordSource.h"

#include <QJsonDocument>

namespace quorvane::dashboard {

namespace {

constexpr int kKeepAliveMs = 15000;
// What a returning stream is given at most; the page reads the rest by its
// cursor from /api/boards.
constexpr int kCatchUp = 1000;

} // namespace

std::optional<qint64> ChangeNumber(const QByteArray& text) {
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok && n >= 0 && text.size() <= 18 ? std::optional(n) : std::nullopt;
}

QByteArray BoardEvent(const record::ChangedBoard& row) {
    return "id: " + QByteArray::number(row.change) + "\nevent: board\ndata: " +
           QJsonDocument(BoardJson(row.change, row.board)).toJson(QJsonDocument::Compact) + "\n\n";
}

EventStreams::EventStreams(HttpServer& http, RecordSource& source, QObject* parent)
    : QObject(parent), m_http(http), m_source(source) {
    connect(&source, &RecordSource::changed, this, &EventStreams::send);
    connect(&http, &HttpServer::gone, this, [this](ExchangeId id) { m_sent.remove(id); });
    connect(&m_keepAlive, &QTimer::timeout, this, &EventStreams::keepAlive);
    m_keepAlive.start(kKeepAliveMs);
}

void EventStreams::open(const HttpRequest& request, ExchangeId id) {
    const QByteArray last = request.header("Last-Event-ID");
    const QString since = request.query.queryItemValue(QStringLiteral("since"));
    std::optional<qint64> from;
    if (!last.isEmpty() || !since.isEmpty()) {
        from = ChangeNumber(last.isEmpty() ? since.toLatin1() : last);
        if (!from) {
            m_http.respond(id, 400, "application/json",
                           R"({"error":"since and Last-Event-ID take a change number"})");
            return;
        }
    }
    if (m_sent.size() >= kMaxStreams) {
        m_http.respond(id, 503, "application/json", R"({"error":"too many event streams"})");
        return;
    }
    if (!m_http.startStream(id, "text/event-stream"))
        return;
    qint64 sent = m_source.cursor();
    QByteArray missed = ": quorvane\n\n";
    record::RecordStore* store = from ? m_source.store() : nullptr;
    QList<record::ChangedBoard> rows;
    if (store && record::ReadChanges(*store, {*from, {}, {}, kCatchUp}, &rows)) {
        for (const record::ChangedBoard& row : std::as_const(rows))
            missed += BoardEvent(row);
        if (!rows.isEmpty())
            sent = std::max(sent, rows.last().change);
    }
    m_sent.insert(id, sent);
    m_http.write(id, missed);
}

void EventStreams::send(const QList<record::ChangedBoard>& rows) {
    // Each row's text once, whatever the number of streams.
    QByteArrayList events;
    for (const record::ChangedBoard& row : rows)
        events << BoardEvent(row);
    QList<ExchangeId> slow;
    for (auto it = m_sent.begin(); it != m_sent.end(); ++it) {
        QByteArray missing;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            if (rows[i].change > it.value())
                missing += events[i];
        }
        if (missing.isEmpty())
            continue;
        it.value() = std::max(it.value(), rows.last().change);
        if (!m_http.write(it.key(), missing) || m_http.unsent(it.key()) > kMaxUnsent)
            slow << it.key();
    }
    for (const ExchangeId id : slow) {
        m_sent.remove(id);
        m_http.finish(id);
    }
}

void EventStreams::keepAlive() {
    for (auto it = m_sent.cbegin(); it != m_sent.cend(); ++it)
        m_http.write(it.key(), ": keep-alive\n\n");
}

} // namespace quorvane::dashboard
