#pragma once

#include "core/record/RecordChanges.h"
#include "dashboard/http/HttpServer.h"

#include <QHash>
#include <QObject>
#include <QTimer>

#include <optional>

namespace quorvane::dashboard {

class RecordSource;

// The open /events streams: each new or changed row to all of them, a
// keep-alive comment now and then, at most kMaxStreams at once. A stream
// that names a change (Last-Event-ID or ?since=) first gets what it missed.
class EventStreams final : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxStreams = 100;
    // A client that reads nothing is let go before it costs more than this;
    // it catches up by its Last-Event-ID when it comes back.
    static constexpr qint64 kMaxUnsent = 256 * 1024;

    EventStreams(HttpServer& http, RecordSource& source, QObject* parent = nullptr);

    // Answers the request: a stream, 503 when full, 400 for a bad change number.
    void open(const HttpRequest& request, ExchangeId id);
    int count() const { return static_cast<int>(m_sent.size()); }

private:
    void send(const QList<record::ChangedBoard>& rows);
    void keepAlive();

    HttpServer& m_http;
    RecordSource& m_source;
    QHash<ExchangeId, qint64> m_sent; // the last change each stream has
    QTimer m_keepAlive;
};

// A cursor as /events and /api/boards take it, one rule for both: a number
// of at most 18 characters, 0 or more; nothing for anything else.
std::optional<qint64> ChangeNumber(const QByteArray& text);
// "id: CHANGE\nevent: board\ndata: BOARD\n\n"
QByteArray BoardEvent(const record::ChangedBoard& row);

} // namespace quorvane::dashboard
