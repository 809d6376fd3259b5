#pragma once

// A socket-free server: the handler with an in-memory folder, a recording
// edge and scripted workflow hooks.

#include "core/tftp/PacketCodec.h"
#include "core/tftp/TransferHandler.h"
#include "tests/core/tftp/MemoryFileStore.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace quorvane::tftp::testing {

struct Sent {
    Peer to;
    QByteArray datagram;
};

class RecordingEdge final : public TransferEdge {
public:
    void sendDatagram(const Peer& to, QByteArrayView datagram) override {
        sent.append({to, datagram.toByteArray()});
    }
    void logLine(const QString& line) override { log.append(line); }
    std::uint64_t nowMs() override { return clockMs; }
    QList<Sent> sent;
    QStringList log;
    std::uint64_t clockMs = 0;
};

class ScriptedHooks final : public TransferHooks {
public:
    RequestVerdict OnRequest(const ReadRequest& request) override {
        requests.append(request);
        return onRequest ? onRequest(request) : RequestVerdict::Serve;
    }
    CompletionResult OnTransferComplete(const ReadRequest& request,
                                        CompletionVariant variant) override {
        completions.append({request, variant});
        return onComplete ? onComplete(request, variant) : CompletionResult::Continue;
    }
    void OnDone(const Peer& peer, const QString& macText) override {
        dones.append({peer, macText});
    }

    std::function<RequestVerdict(const ReadRequest&)> onRequest;
    std::function<CompletionResult(const ReadRequest&, CompletionVariant)> onComplete;
    QList<ReadRequest> requests;
    QList<QPair<ReadRequest, CompletionVariant>> completions;
    QList<QPair<Peer, QString>> dones;
};

struct Harness {
    Harness() : handler(files, edge, QStringLiteral("/station/")) { handler.setHooks(&hooks); }
    MemoryFileStore files;
    RecordingEdge edge;
    ScriptedHooks hooks;
    TransferHandler handler;

    void receive(const Peer& from, const QByteArray& datagram) { handler.handle(from, datagram); }
};

inline Peer RouterAt(quint16 port) {
    return Peer{QHostAddress(QStringLiteral("192.168.1.10")), port};
}

// Opcode and block number of a DATA datagram, and its payload.
inline quint16 WireBlock(const QByteArray& datagram) {
    return static_cast<quint16>(static_cast<unsigned char>(datagram[2]) << 8 |
                                static_cast<unsigned char>(datagram[3]));
}

} // namespace quorvane::tftp::testing
