#include "dashboard/http/HttpServer.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace quorvane::dashboard {

namespace {

constexpr char kReceived[] = "quorvane-received";
constexpr char kCut[] = "quorvane-cut";

QByteArray MethodName(QHttpServerRequest::Method method) {
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Post:
        return "POST";
    default:
        return "OTHER";
    }
}

// Counts what a client sends before its request is whole, ahead of Qt's
// parser (its slot is connected first), which in 6.4 holds any header or
// body however large. Past the limit the bytes are thrown away and the
// connection closes with 431.
class GuardedTcpServer final : public QTcpServer {
public:
    GuardedTcpServer(HeaderList everyResponse, QObject* parent)
        : QTcpServer(parent), m_everyResponse(std::move(everyResponse)) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setProperty(kReceived, 0);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { guard(socket); });
        addPendingConnection(socket);
    }

private:
    void guard(QTcpSocket* socket) {
        if (socket->property(kCut).toBool()) {
            socket->readAll();
            return;
        }
        const qint64 received = socket->property(kReceived).toLongLong() + socket->bytesAvailable();
        socket->setProperty(kReceived, received);
        if (received <= HttpServer::kMaxRequestBytes)
            return;
        socket->readAll();
        socket->setProperty(kCut, true);
        QByteArray answer = "HTTP/1.1 431 Request Header Fields Too Large\r\n";
        for (const auto& [name, value] : m_everyResponse)
            answer += name + ": " + value + "\r\n";
        const QByteArray body = R"({"error":"request too large"})";
        answer += "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\n\r\n" + body;
        socket->write(answer);
        socket->disconnectFromHost();
    }
    HeaderList m_everyResponse;
};

} // namespace

QByteArray HttpRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

struct HttpServer::Exchange {
    ExchangeId id;
    QPointer<QTcpSocket> socket;
    QHttpServerResponder responder;
    bool streaming = false;
};

class HttpServer::Door final : public QAbstractHttpServer {
public:
    explicit Door(HttpServer& owner) : m_owner(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        socket->setProperty(kReceived, 0);
        const QUrl url = request.url();
        HttpRequest r{MethodName(request.method()), url.path(QUrl::FullyDecoded), QUrlQuery(url),
                      request.headers()};
        m_owner.take(
            r, std::unique_ptr<Exchange>(new Exchange{0, socket, makeResponder(request, socket)}));
        return true;
    }
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

private:
    HttpServer& m_owner;
};

HttpServer::HttpServer(Handler handler, HeaderList everyResponse, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_everyResponse(std::move(everyResponse)),
      m_door(std::make_unique<Door>(*this)) {}

HttpServer::~HttpServer() {
    // The sockets go with the door, telling of it; nobody is to hear.
    m_closing = true;
    m_door.reset();
    qDeleteAll(m_exchanges);
}

quint16 HttpServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    auto* tcp = new GuardedTcpServer(m_everyResponse, m_door.get());
    if (!tcp->listen(address, port)) {
        if (error)
            *error = tcp->errorString();
        delete tcp;
        return 0;
    }
    m_door->bind(tcp);
    return tcp->serverPort();
}

void HttpServer::take(const HttpRequest& request, std::unique_ptr<Exchange> exchange) {
    Exchange* e = exchange.release();
    e->id = m_next++;
    m_exchanges.insert(e->id, e);
    QTcpSocket* socket = e->socket;
    // Once per socket: Qt deletes it later, after the signal.
    if (!socket->property("quorvane-watched").toBool()) {
        socket->setProperty("quorvane-watched", true);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropSocket(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            for (Exchange* x : std::as_const(m_exchanges)) {
                if (x->socket == socket && x->streaming)
                    emit drained(x->id);
            }
        });
    }
    m_handler(request, e->id);
}

void HttpServer::dropSocket(QTcpSocket* socket) {
    if (m_closing)
        return;
    QList<ExchangeId> dropped;
    for (auto it = m_exchanges.begin(); it != m_exchanges.end();) {
        if ((*it)->socket == socket || !(*it)->socket) {
            dropped << it.key();
            delete *it;
            it = m_exchanges.erase(it);
        } else {
            ++it;
        }
    }
    for (const ExchangeId id : dropped)
        emit gone(id);
}

HttpServer::Exchange* HttpServer::find(ExchangeId id) const {
    Exchange* e = m_exchanges.value(id);
    return e && e->socket && e->socket->state() == QAbstractSocket::ConnectedState ? e : nullptr;
}

void HttpServer::writeHead(Exchange& e, int status, const QByteArray& contentType,
                           const HeaderList& headers) {
    e.responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    for (const auto& [name, value] : m_everyResponse + headers)
        e.responder.writeHeader(name, value);
    e.responder.writeHeader("Content-Type", contentType);
}

void HttpServer::respond(ExchangeId id, int status, const QByteArray& contentType,
                         const QByteArray& body) {
    if (Exchange* e = find(id)) {
        writeHead(*e, status, contentType, {{"Content-Length", QByteArray::number(body.size())}});
        e->responder.writeBody(body);
    }
    delete m_exchanges.take(id);
}

bool HttpServer::startStream(ExchangeId id, const QByteArray& contentType,
                             const HeaderList& headers) {
    Exchange* e = find(id);
    if (!e)
        return false;
    e->streaming = true;
    writeHead(*e, 200, contentType,
              HeaderList{{"Cache-Control", "no-cache"}, {"Connection", "close"}} + headers);
    e->responder.writeBody(QByteArray());
    return true;
}

bool HttpServer::write(ExchangeId id, const QByteArray& bytes) {
    Exchange* e = find(id);
    if (!e)
        return false;
    e->responder.writeBody(bytes);
    return true;
}

qint64 HttpServer::unsent(ExchangeId id) const {
    const Exchange* e = find(id);
    return e ? e->socket->bytesToWrite() : -1;
}

void HttpServer::finish(ExchangeId id) {
    Exchange* e = m_exchanges.take(id);
    if (e && e->socket)
        e->socket->disconnectFromHost();
    delete e;
}

} // namespace quorvane::dashboard
