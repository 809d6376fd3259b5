#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QUrlQuery>

#include <functional>
#include <memory>

class QTcpSocket;

namespace quorvane::dashboard {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

struct HttpRequest {
    QByteArray method; // as sent: GET, HEAD, POST...
    QString path;      // decoded
    QUrlQuery query;
    HeaderList headers;
    // Case-insensitive; empty when absent.
    QByteArray header(const QByteArray& name) const;
};

// Each request has an id; its answer is written through it, at once or later.
using ExchangeId = quint64;

// Our one door to Qt HTTP Server, a technical preview in 6.4: a response
// written after its client has gone crashes it, so every answer goes through
// an id that is dropped when its socket disconnects. A request whose header
// and body pass kMaxRequestBytes is cut off before Qt's parser holds more.
class HttpServer final : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kMaxRequestBytes = 64 * 1024;
    using Handler = std::function<void(const HttpRequest&, ExchangeId)>;

    explicit HttpServer(Handler handler, HeaderList everyResponse, QObject* parent = nullptr);
    ~HttpServer() override;

    // The port bound; 0 when it failed, with the reason in error.
    quint16 listen(const QHostAddress& address, quint16 port, QString* error);

    // A whole response; the exchange ends.
    void respond(ExchangeId id, int status, const QByteArray& contentType, const QByteArray& body);
    // A response of unknown length: the connection closes at its end.
    bool startStream(ExchangeId id, const QByteArray& contentType, const HeaderList& headers = {});
    // False when the client has gone.
    bool write(ExchangeId id, const QByteArray& bytes);
    // Bytes not yet handed to the network; -1 when the client has gone.
    qint64 unsent(ExchangeId id) const;
    void finish(ExchangeId id);

Q_SIGNALS:
    // The client went before its exchange ended.
    void gone(ExchangeId id);
    // Some bytes of a stream went out: it may take more.
    void drained(ExchangeId id);

private:
    class Door;
    struct Exchange;
    void take(const HttpRequest& request, std::unique_ptr<Exchange> exchange);
    void dropSocket(QTcpSocket* socket);
    Exchange* find(ExchangeId id) const;
    void writeHead(Exchange& e, int status, const QByteArray& contentType,
                   const HeaderList& headers);

    Handler m_handler;
    HeaderList m_everyResponse;
    std::unique_ptr<Door> m_door;
    QHash<ExchangeId, Exchange*> m_exchanges;
    ExchangeId m_next = 1;
    bool m_closing = false;
};

} // namespace quorvane::dashboard
