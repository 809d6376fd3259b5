#include "core/tftp/TransferServer.h"

#include "core/log/StationLog.h"
#include "core/tftp/FolderFileStore.h"
#include "core/tftp/TransferHandler.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QUdpSocket>

#include <utility>

namespace quorvane::tftp {

class TransferServer::Edge final : public TransferEdge {
public:
    explicit Edge(TransferServer& server) : m_server(server) {}
    void sendDatagram(const Peer& to, QByteArrayView datagram) override {
        if (m_server.m_socket) // a failed send is not retried: the router asks again
            m_server.m_socket->writeDatagram(datagram.data(), datagram.size(), to.address, to.port);
    }
    void logLine(const QString& line) override { m_server.m_log.WriteLog(line); }
    void blockSent(const Peer& peer, const QString& name, qint64 block) override {
        if (m_server.isSignalConnected(QMetaMethod::fromSignal(&TransferServer::blockSent)))
            Q_EMIT m_server.blockSent(peer, name, block);
    }

private:
    TransferServer& m_server;
};

TransferServer::TransferServer(quorvane::StationLog& log, QString programDir, QObject* parent)
    : QObject(parent), m_log(log), m_programDir(std::move(programDir)),
      m_edge(std::make_unique<Edge>(*this)),
      m_files(std::make_unique<FolderFileStore>(m_programDir)),
      m_handler(std::make_unique<TransferHandler>(*m_files, *m_edge, m_programDir)) {}

TransferServer::~TransferServer() {
    stop();
}

void TransferServer::setHooks(TransferHooks* hooks) {
    m_handler->setHooks(hooks);
}

bool TransferServer::start(quint16 port, bool updateMac) {
    stop();
    auto* socket = new QUdpSocket(this);
    // Never shared: a second station on the same port would split the
    // routers' datagrams between the two.
    if (!socket->bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress)) {
        delete socket;
        m_log.WriteLog(QStringLiteral("服务器启动失败"));
        return false;
    }
    m_socket = socket;
    connect(m_socket, &QUdpSocket::readyRead, this, &TransferServer::readPending);
    m_log.WriteLogFormat("m_bUpdateMAC = %d", updateMac ? 1 : 0);
    m_log.WriteLog(QStringLiteral("服务器已启动,,本地网络IP地址请设置为192.168.1.55"));
    m_log.WriteLog(QString());
    // Datagrams that arrived between bind and connect do not raise readyRead.
    scheduleRead();
    return true;
}

void TransferServer::stop() {
    m_pauseDepth = 0;
    m_rearm = false;
    m_handler->reset();
    if (m_socket) {
        QUdpSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->close();
        // stop() may run inside a hook called from readPending, which still
        // holds the socket pointer on its stack.
        socket->deleteLater();
    }
}

bool TransferServer::isRunning() const {
    return m_socket != nullptr;
}

bool TransferServer::hasEnded() const {
    return m_handler->hasEnded();
}

quint16 TransferServer::port() const {
    return m_socket ? m_socket->localPort() : 0;
}

void TransferServer::pause() {
    ++m_pauseDepth;
}

void TransferServer::resume() {
    if (m_pauseDepth == 0)
        return;
    if (--m_pauseDepth == 0)
        scheduleRead(); // the socket raises no new readyRead for what already waits
}

bool TransferServer::isPaused() const {
    return m_pauseDepth > 0;
}

void TransferServer::send(const Peer& peer, const QByteArray& datagram) {
    if (m_socket)
        m_socket->writeDatagram(datagram, peer.address, peer.port);
}

int TransferServer::openFileCount() const {
    return m_handler->openFileCount();
}

void TransferServer::scheduleRead() {
    if (m_readScheduled)
        return;
    m_readScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_readScheduled = false;
            readPending();
        },
        Qt::QueuedConnection);
}

void TransferServer::readPending() {
    // Never re-entered: a hook running a nested event loop must not see the
    // next datagram before it returns. The outer loop reads it instead.
    if (m_reading) {
        m_rearm = true;
        return;
    }
    m_reading = true;
    // The socket disarms its read notifier at every notification and only a
    // read call arms it again; a notification whose datagram an earlier read
    // already took would leave the server deaf. So every pass makes exactly
    // one read call and handles whatever it returns: the armed notifier
    // brings the next datagram, and nothing is thrown away.
    bool mustRead = true;
    char buffer[PacketSize];
    while (m_socket && m_pauseDepth == 0 && mustRead) {
        QHostAddress address;
        quint16 port = 0;
        // A longer datagram is cut to the receive buffer, as recvfrom does.
        const qint64 size = m_socket->readDatagram(buffer, sizeof buffer, &address, &port);
        if (size >= 0)
            m_handler->handle(Peer{address, port}, QByteArrayView(buffer, size));
        // A notification that came in the meantime was swallowed by the guard
        // above: read once more on its behalf.
        mustRead = std::exchange(m_rearm, false);
    }
    m_reading = false;
}

} // namespace quorvane::tftp
