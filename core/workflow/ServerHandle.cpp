#include "core/workflow/ServerHandle.h"

#include "core/tftp/TransferServer.h"

namespace quorvane {

namespace {

class TransferServerHandle final : public ServerHandle {
public:
    TransferServerHandle(StationLog& log, const QString& programDir) : m_server(log, programDir) {}

    void setHooks(tftp::TransferHooks* hooks) override { m_server.setHooks(hooks); }
    void setMaxBlockSize(std::uint32_t size) override { m_server.setMaxBlockSize(size); }
    bool start(std::uint16_t port, bool updateMac) override {
        return m_server.start(port, updateMac);
    }
    void stop() override { m_server.stop(); }
    void pause() override { m_server.pause(); }
    void resume() override { m_server.resume(); }
    void send(const tftp::Peer& peer, const QByteArray& datagram) override {
        m_server.send(peer, datagram);
    }
    bool isRunning() const override { return m_server.isRunning(); }
    std::uint16_t port() const override { return m_server.port(); }

private:
    tftp::TransferServer m_server;
};

} // namespace

std::unique_ptr<ServerHandle> MakeTransferServerHandle(StationLog& log, const QString& programDir) {
    return std::make_unique<TransferServerHandle>(log, programDir);
}

} // namespace quorvane
