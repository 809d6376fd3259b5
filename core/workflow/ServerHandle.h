#pragma once

#include "core/tftp/TransferHooks.h"

#include <QByteArray>

#include <cstdint>
#include <memory>

namespace quorvane {

class StationLog;

// The station's handle on its transfer server: start, stop, pause, send.
// Tests put a recorder in its place.
class ServerHandle {
public:
    virtual ~ServerHandle() = default;
    virtual void setHooks(tftp::TransferHooks* hooks) = 0;
    // The largest block a negotiated transfer is given.
    virtual void setMaxBlockSize(std::uint32_t /*size*/) {}
    // Binds the port on every IPv4 address; false when the bind failed.
    virtual bool start(std::uint16_t port, bool updateMac) = 0;
    virtual void stop() = 0;
    virtual void pause() = 0; // nestable: reading resumes after as many resume()
    virtual void resume() = 0;
    virtual void send(const tftp::Peer& peer, const QByteArray& datagram) = 0;
    virtual bool isRunning() const = 0;
    virtual std::uint16_t port() const = 0; // the bound port, 0 when stopped
};

// The real server (core/tftp/TransferServer: a descriptor of its own on Unix,
// a Qt socket elsewhere).
std::unique_ptr<ServerHandle> MakeTransferServerHandle(StationLog& log, const QString& programDir);

} // namespace quorvane
