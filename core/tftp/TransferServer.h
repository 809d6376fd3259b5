#pragma once

#include "core/tftp/TransferHooks.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace quorvane {
class StationLog;
}

namespace quorvane::tftp {

class TransferHandler;
class FolderFileStore;
class ServerSocket;

// The transfer service's I/O edge: one UDP socket on the event loop, feeding
// each datagram to the socket-free TransferHandler.
class TransferServer : public QObject {
    Q_OBJECT
public:
    TransferServer(quorvane::StationLog& log, QString programDir, QObject* parent = nullptr);
    ~TransferServer() override;

    void setHooks(TransferHooks* hooks); // nullptr: serve everything
    // The largest block a negotiated transfer is given (8..65464).
    void setMaxBlockSize(std::uint32_t size);

    // Binds UDP on every IPv4 address; logs "服务器启动失败" and returns false on
    // failure, else logs "m_bUpdateMAC = %d", the address hint and an empty line.
    bool start(quint16 port, bool updateMac);
    void stop();            // at once, in any state; closes the socket and every file
    bool isRunning() const; // bound (also after the service ended)
    bool hasEnded() const;  // a completion ended the service
    quint16 port() const;   // the bound port

    // Nestable. While paused no datagram is read; they queue in the socket and
    // are handled in order after the last resume. stop() clears all pauses.
    void pause();
    void resume();
    bool isPaused() const;

    void send(const Peer& peer, const QByteArray& datagram); // MACWAIT/MACSET

    int openFileCount() const; // files held open for transfers in progress

Q_SIGNALS:
    void blockSent(const quorvane::tftp::Peer& peer, const QString& name, qint64 block);

private:
    class Edge;
    void readPending();
    void scheduleRead();

    quorvane::StationLog& m_log;
    QString m_programDir;
    ServeEverything m_serveEverything;
    TransferHooks* m_hooks = nullptr;
    ServerSocket* m_socket = nullptr; // deleted later: stop() may run under its notification
    std::unique_ptr<Edge> m_edge;
    std::unique_ptr<FolderFileStore> m_files;
    std::unique_ptr<TransferHandler> m_handler;
    Peer m_from; // the last sender, kept so that its address is not rebuilt per datagram
    int m_pauseDepth = 0;
    bool m_reading = false;
    bool m_rearm = false; // a notification came while reading
    bool m_readScheduled = false;
};

} // namespace quorvane::tftp
