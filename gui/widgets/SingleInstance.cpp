#include "gui/widgets/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quorvane {

namespace {
const QByteArray kActivate = QByteArrayLiteral("activate\n");
constexpr int kConnectTimeoutMs = 1000;
// A stranger on the socket gets a line's worth of patience, no more.
constexpr qint64 kMaxRequestBytes = 64;

// Windows' named pipes are seen by every session of the PC: one station
// per user session.
QString PerSession(const QString& name) {
#ifdef Q_OS_WIN
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return name + QStringLiteral("-%1").arg(session);
#endif
    return name;
}
} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), m_name(PerSession(name)) {}

bool SingleInstance::IsListening() const {
    return m_server != nullptr && m_server->isListening();
}

bool SingleInstance::AskPrimaryToActivate() {
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
#ifdef Q_OS_WIN
    // Windows lets only the foreground process (this second start, just
    // launched by the user) hand the foreground on; otherwise the first
    // station's activateWindow() only flashes its taskbar button.
    AllowSetForegroundWindow(ASFW_ANY);
#endif
    socket.write(kActivate);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(kConnectTimeoutMs);
    }
    return true;
}

bool SingleInstance::TryBecomePrimary() {
    if (IsListening()) {
        return true;
    }
    if (AskPrimaryToActivate()) {
        return false;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // Nobody answered, so whatever holds the name is left over from a
        // station that died; clear it and take the name over.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            // Still run rather than refuse to start: a station without the
            // guard is better than no station on the line.
            qWarning("SingleInstance: cannot listen on %s: %s", qPrintable(m_name),
                     qPrintable(m_server->errorString()));
            return true;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::AcceptConnections);
    return true;
}

void SingleInstance::AcceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        auto readRequest = [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequestBytes) {
                    socket->abort();
                }
                return;
            }
            const QByteArray line = socket->readLine(kMaxRequestBytes);
            // One request per connection: whatever follows is not looked at.
            disconnect(socket, nullptr, this, nullptr);
            socket->disconnectFromServer();
            if (line == kActivate) {
                emit activationRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        // A peer may write and hang up before the first readyRead is seen.
        connect(socket, &QLocalSocket::disconnected, this, readRequest);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0) {
            readRequest();
        }
    }
}

void SingleInstance::BringToFront(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace quorvane
