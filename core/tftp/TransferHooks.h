#pragma once

#include <QHostAddress>
#include <QString>

#include <cstdint>

namespace quorvane::tftp {

struct Peer {
    QHostAddress address;
    std::uint16_t port = 0;
    friend bool operator==(const Peer&, const Peer&) = default;
};

struct ReadRequest {
    Peer peer;
    QString name;         // as the router sent it (at most 127 characters)
    std::int32_t crc = 0; // the router's boot loader CRC-32; 0 = none sent
};

enum class RequestVerdict {
    Serve,    // serve the program folder's file of that name
    Drop,     // no reply at all
    Answered, // the workflow answered (MACWAIT/MACSET) or will answer later
};

enum class CompletionVariant {
    FirstBlock,      // the last block answered the read request itself
    Acknowledgement, // the last block answered an acknowledgement
};

enum class CompletionResult {
    Continue,
    EndService, // answer nothing more until stopped; the socket stays bound
};

// Where the device workflow acts: a request, a completed transfer and a DONE
// (the three points of the dialect), a request that could not be served and
// each block sent. Called on the server's thread with the server's datagram
// handling suspended until they return; a hook that has to wait for the
// operator pauses the server instead of blocking (TransferServer::pause /
// resume).
class TransferHooks {
public:
    virtual ~TransferHooks() = default;
    virtual RequestVerdict OnRequest(const ReadRequest& request) = 0;
    virtual CompletionResult OnTransferComplete(const ReadRequest& request,
                                                CompletionVariant variant) = 0;
    virtual void OnDone(const Peer& peer, const QString& macText) = 0;
    // A request the workflow let through named no file that could be opened;
    // nothing was sent.
    virtual void OnServeFailed(const ReadRequest& /*request*/) {}
    // Every DATA block that goes out; kept cheap, it runs once a block.
    virtual void OnBlockSent(const Peer& /*peer*/) {}
};

// Serves everything; the server's behaviour without a workflow.
class ServeEverything final : public TransferHooks {
public:
    RequestVerdict OnRequest(const ReadRequest&) override { return RequestVerdict::Serve; }
    CompletionResult OnTransferComplete(const ReadRequest&, CompletionVariant) override {
        return CompletionResult::Continue;
    }
    void OnDone(const Peer&, const QString&) override {}
};

} // namespace quorvane::tftp
