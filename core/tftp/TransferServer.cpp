#include "core/tftp/TransferServer.h"

#include "core/log/StationLog.h"
#include "core/tftp/FolderFileStore.h"
#include "core/tftp/TransferHandler.h"

#include <QMetaMethod>
#include <QMetaObject>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#else
#include <QUdpSocket>
#endif

#include <functional>
#include <utility>

namespace quorvane::tftp {

// The bound UDP socket. `readable` is called while datagrams wait; a socket
// that keeps calling is held by setNotifying(false) while the server must not
// read.
class ServerSocket : public QObject {
public:
    using QObject::QObject;
    virtual bool bind(quint16 port) = 0;
    virtual quint16 localPort() const = 0;
    // One datagram, cut to `size` bytes; -1 when none waits. `from` is only
    // assigned when the sender differs from the one it holds.
    virtual qint64 receive(char* buffer, qint64 size, Peer& from) = 0;
    // A failed send is not retried: the router asks again.
    virtual void send(const Peer& to, QByteArrayView datagram) = 0;
    virtual void setNotifying(bool on) = 0;
    virtual void close() = 0; // at once, so that the port can be bound again
    // Reads a notification may make in a row, each until one finds nothing.
    virtual int readsPerPass() const = 0;

    std::function<void()> readable;

protected:
    void notify() {
        if (readable)
            readable();
    }
};

namespace {

#ifdef Q_OS_UNIX

// A plain descriptor under a socket notifier. QUdpSocket costs as much again
// per datagram as the system calls: it re-registers its notifier with the
// event loop at every read, builds an address per datagram and signals every
// write. Here a datagram costs one recvfrom, and a poll only when none was
// waiting already.
class NativeSocket final : public ServerSocket {
public:
    using ServerSocket::ServerSocket;
    ~NativeSocket() override { NativeSocket::close(); }

    bool bind(quint16 port) override {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (m_fd < 0)
            return false;
        // No SO_REUSEADDR: a second station on the same port would split the
        // routers' datagrams between the two.
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = htons(port);
        socklen_t length = sizeof local;
        if (::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK) != 0 ||
            ::fcntl(m_fd, F_SETFD, FD_CLOEXEC) != 0 ||
            ::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
            close();
            return false;
        }
        m_port = ntohs(local.sin_port);
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &NativeSocket::notify);
        return true;
    }

    quint16 localPort() const override { return m_port; }

    qint64 receive(char* buffer, qint64 size, Peer& from) override {
        if (m_fd < 0)
            return -1;
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t got = ::recvfrom(m_fd, buffer, static_cast<size_t>(size), 0,
                                       reinterpret_cast<sockaddr*>(&sender), &length);
        if (got < 0 || sender.sin_family != AF_INET)
            return -1;
        const quint32 address = ntohl(sender.sin_addr.s_addr);
        const quint16 port = ntohs(sender.sin_port);
        if (from.port != port || from.address.toIPv4Address() != address ||
            from.address.protocol() != QAbstractSocket::IPv4Protocol)
            from = Peer{QHostAddress(address), port};
        return got;
    }

    void send(const Peer& to, QByteArrayView datagram) override {
        bool ipv4 = false;
        const quint32 address = to.address.toIPv4Address(&ipv4);
        if (m_fd < 0 || !ipv4)
            return;
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = htonl(address);
        target.sin_port = htons(to.port);
        (void)::sendto(m_fd, datagram.data(), static_cast<size_t>(datagram.size()), 0,
                       reinterpret_cast<const sockaddr*>(&target), sizeof target);
    }

    // The notifier fires for as long as a datagram waits.
    void setNotifying(bool on) override {
        if (m_notifier)
            m_notifier->setEnabled(on);
    }

    // Lock-step clients often answer before the server is back in the event
    // loop; reading on saves a poll and a dispatch. Bounded, so that a flood
    // never starves the rest of the station.
    int readsPerPass() const override { return 32; }

    void close() override {
        if (m_notifier)
            m_notifier->setEnabled(false);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    QSocketNotifier* m_notifier = nullptr;
};

using PlatformSocket = NativeSocket;

#else

class QtSocket final : public ServerSocket {
public:
    explicit QtSocket(QObject* parent) : ServerSocket(parent), m_udp(this) {
        connect(&m_udp, &QUdpSocket::readyRead, this, &QtSocket::notify);
    }

    bool bind(quint16 port) override {
        // Never shared: a second station on the same port would split the
        // routers' datagrams between the two.
        return m_udp.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress);
    }

    quint16 localPort() const override { return m_udp.localPort(); }

    qint64 receive(char* buffer, qint64 size, Peer& from) override {
        QHostAddress address;
        quint16 port = 0;
        const qint64 got = m_udp.readDatagram(buffer, size, &address, &port);
        if (got >= 0 && (from.port != port || from.address != address))
            from = Peer{address, port};
        return got;
    }

    void send(const Peer& to, QByteArrayView datagram) override {
        m_udp.writeDatagram(datagram.data(), datagram.size(), to.address, to.port);
    }

    // QUdpSocket holds its notifier itself from each notification to the
    // next read.
    void setNotifying(bool) override {}

    void close() override { m_udp.close(); }

    // More would take the datagram of a notification still queued, which then
    // finds none and leaves the notifier disarmed for good.
    int readsPerPass() const override { return 1; }

private:
    QUdpSocket m_udp;
};

using PlatformSocket = QtSocket;

#endif

} // namespace

class TransferServer::Edge final : public TransferEdge {
public:
    explicit Edge(TransferServer& server) : m_server(server) {}
    void sendDatagram(const Peer& to, QByteArrayView datagram) override {
        if (m_server.m_socket)
            m_server.m_socket->send(to, datagram);
    }
    void logLine(const QString& line) override { m_server.m_log.WriteLog(line); }
    void blockSent(const Peer& peer, const QString& name, qint64 block) override {
        static const QMetaMethod signal = QMetaMethod::fromSignal(&TransferServer::blockSent);
        if (m_server.isSignalConnected(signal))
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

void TransferServer::setMaxBlockSize(std::uint32_t size) {
    m_handler->setMaxBlockSize(size);
}

bool TransferServer::start(quint16 port, bool updateMac) {
    stop();
    auto* socket = new PlatformSocket(this);
    if (!socket->bind(port)) {
        delete socket;
        m_log.WriteLog(QStringLiteral("服务器启动失败"));
        return false;
    }
    m_socket = socket;
    m_socket->readable = [this] { readPending(); };
    m_log.WriteLogFormat("m_bUpdateMAC = %d", updateMac ? 1 : 0);
    m_log.WriteLog(QStringLiteral("服务器已启动,,本地网络IP地址请设置为192.168.1.55"));
    m_log.WriteLog(QString());
    // Datagrams that arrived before `readable` was set may raise no new call.
    scheduleRead();
    return true;
}

void TransferServer::stop() {
    m_pauseDepth = 0;
    m_rearm = false;
    m_handler->reset();
    if (m_socket) {
        ServerSocket* socket = m_socket;
        m_socket = nullptr;
        socket->readable = nullptr;
        socket->close();
        // stop() may run inside a hook called from readPending, under the
        // socket's own notification.
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
    if (m_socket)
        m_socket->setNotifying(false);
}

void TransferServer::resume() {
    if (m_pauseDepth == 0)
        return;
    if (--m_pauseDepth == 0) {
        if (m_socket && !m_reading)
            m_socket->setNotifying(true);
        scheduleRead(); // the socket raises no new readyRead for what already waits
    }
}

bool TransferServer::isPaused() const {
    return m_pauseDepth > 0;
}

void TransferServer::send(const Peer& peer, const QByteArray& datagram) {
    if (m_socket)
        m_socket->send(peer, datagram);
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
    // next datagram before it returns. The outer loop reads it instead; the
    // socket is held meanwhile so that it does not keep the nested loop busy.
    if (m_reading) {
        m_rearm = true;
        if (m_socket)
            m_socket->setNotifying(false);
        return;
    }
    m_reading = true;
    // A socket may disarm its read notifier at every notification and arm it
    // again only at a read call; a notification whose datagram an earlier
    // read already took would leave the server deaf. So a pass makes no more
    // read calls than the socket allows and handles whatever each returns:
    // the armed notifier brings the next datagram, and nothing is thrown away.
    const int limit = m_socket ? m_socket->readsPerPass() : 0;
    bool mustRead = true;
    char buffer[PacketSize];
    for (int reads = 1; m_socket && m_pauseDepth == 0 && mustRead; ++reads) {
        // A longer datagram is cut to the receive buffer, as recvfrom does.
        const qint64 size = m_socket->receive(buffer, sizeof buffer, m_from);
        if (size >= 0)
            m_handler->handle(m_from, QByteArrayView(buffer, size));
        // A notification that came in the meantime was swallowed by the guard
        // above: read once more on its behalf.
        mustRead = std::exchange(m_rearm, false) || (size >= 0 && reads < limit);
    }
    m_reading = false;
    if (m_socket)
        m_socket->setNotifying(m_pauseDepth == 0);
}

} // namespace quorvane::tftp
