#pragma once

// The datagram helpers and fakes the transfer tests share: the handler with an
// in-memory folder, a recording edge and scripted workflow hooks.

#include "core/tftp/PacketCodec.h"
#include "core/tftp/TransferHandler.h"
#include "tests/core/tftp/MemoryFileStore.h"

#include <QStringList>
#include <QTest>
#include <QtEndian>

#include <functional>

namespace quorvane::tftp::testing {

inline const QString kOpenFailed = QStringLiteral("文件打开失败!");
inline const QString kClosed = QStringLiteral("4下载完成，关闭文件");
inline const QString kNotClosed = QStringLiteral("4下载完成，不关闭文件");

inline QByteArray Raw(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// `count` bytes of a generated file from `from` on.
inline QByteArray Pattern(qint64 from, qint64 count) {
    QByteArray out(count, '\0');
    for (qint64 i = 0; i < count; ++i)
        out[i] = PatternByte(from + i);
    return out;
}

inline quint16 WireBlock(const QByteArray& datagram) {
    return qFromBigEndian<quint16>(datagram.constData() + 2);
}

inline Peer RouterAt(quint16 port) {
    return Peer{QHostAddress(QStringLiteral("192.168.1.10")), port};
}

class RecordingEdge final : public TransferEdge {
public:
    void sendDatagram(const Peer&, QByteArrayView datagram) override {
        sent.append(datagram.toByteArray());
    }
    void logLine(const QString& line) override { log.append(line); }
    std::uint64_t nowMs() override { return clockMs; }
    QList<QByteArray> sent;
    QStringList log;
    std::uint64_t clockMs = 0;
};

// Records the workflow's three points, in order, as "request NAME CRC",
// "complete NAME VARIANT" and "done TEXT". A question the test did not script
// fails it.
class ScriptedHooks final : public TransferHooks {
public:
    RequestVerdict OnRequest(const ReadRequest& request) override {
        events.append(QStringLiteral("request %1 %2").arg(request.name).arg(request.crc));
        if (!onRequest)
            QTest::qFail("unscripted request", __FILE__, __LINE__);
        return onRequest ? onRequest(request) : RequestVerdict::Drop;
    }
    CompletionResult OnTransferComplete(const ReadRequest& request,
                                        CompletionVariant variant) override {
        events.append(QStringLiteral("complete %1 %2").arg(request.name).arg(int(variant)));
        if (!onComplete)
            QTest::qFail("unscripted completion", __FILE__, __LINE__);
        return onComplete ? onComplete() : CompletionResult::EndService;
    }
    void OnDone(const Peer&, const QString& macText) override { events.append("done " + macText); }
    // Every request served, every completion going on.
    void serveAll() {
        onRequest = [](const ReadRequest&) { return RequestVerdict::Serve; };
        onComplete = [] { return CompletionResult::Continue; };
    }

    std::function<RequestVerdict(const ReadRequest&)> onRequest;
    std::function<CompletionResult()> onComplete;
    QStringList events;
};

struct Harness {
    Harness() : handler(files, edge, QStringLiteral("/station/")) { handler.setHooks(&hooks); }
    MemoryFileStore files;
    RecordingEdge edge;
    ScriptedHooks hooks;
    TransferHandler handler;

    void receive(const Peer& from, const QByteArray& datagram) { handler.handle(from, datagram); }
    QByteArray lastSent() const { return edge.sent.value(edge.sent.size() - 1); }
    // One router through a whole file, the way a lock-step client fetches it;
    // returns the bytes received.
    QByteArray fetch(const Peer& router, const QByteArray& name) {
        QByteArray received;
        edge.sent.clear();
        receive(router, ReadRequestDatagram(name, 0));
        for (qsizetype i = 0; i < edge.sent.size(); ++i) {
            received += edge.sent[i].mid(4);
            if (edge.sent[i].size() < 516)
                break;
            receive(router, AckDatagram(WireBlock(edge.sent[i])));
        }
        return received;
    }
};

} // namespace quorvane::tftp::testing
