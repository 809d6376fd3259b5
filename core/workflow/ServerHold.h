#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

namespace quorvane {

class OperatorInterface;
class ServerHandle;

// What waits for the operator. While a question is open, or a message raised
// while serving a router is unread, the transfer server reads nothing: the
// routers' datagrams queue in its socket. Ids are shared by every question
// and message of the station.
class ServerHold {
public:
    ServerHold(ServerHandle& link, OperatorInterface& op) : m_link(link), m_op(op) {}

    std::uint64_t nextId() { return m_nextId++; }
    void hold();
    void release();

    // A message box; one raised from the transfer path holds the server until read.
    void showMessage(const QString& text, bool fromTransfer);
    void acknowledged(std::uint64_t messageId);
    // Runs next once every such message is read.
    void afterAcknowledgements(std::function<void()> next);
    // The service stops: messages stay on screen, what waited on them goes.
    void dropAll();

private:
    ServerHandle& m_link;
    OperatorInterface& m_op;
    std::uint64_t m_nextId = 1;
    std::set<std::uint64_t> m_unread;
    std::vector<std::function<void()>> m_afterReading;
    int m_holds = 0;
};

} // namespace quorvane
