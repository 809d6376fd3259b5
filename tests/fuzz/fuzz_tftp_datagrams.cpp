// libFuzzer target: the codec and the server's datagram handling, driven
// without a socket over an in-memory program folder.
//
// Input: a sequence of records [peer/flags byte][length byte][datagram].
// Peer bits 0-2 pick one of eight routers; flag 0x40 adds 512 to the length
// (datagrams longer than the receive buffer); flag 0x80 resets the server
// (Stop and Start) before the datagram.

#include "core/tftp/OptionNegotiation.h"
#include "core/tftp/PacketCodec.h"
#include "core/tftp/RequestName.h"
#include "core/tftp/TransferHandler.h"
#include "tests/core/tftp/MemoryFileStore.h"

#include <QHash>

#include <cstdint>
#include <cstdlib>

using namespace quorvane::tftp;
using namespace quorvane::tftp::testing;

namespace {

[[noreturn]] void Broken(const char* what) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

// What byte `offset` of a served file holds (see the files below).
char FileByte(const QString& name, qint64 offset) {
    if (name.compare(QStringLiteral("wrap"), Qt::CaseInsensitive) == 0)
        return PatternByte(offset);
    return name.compare(QStringLiteral("MAC"), Qt::CaseInsensitive) == 0 ? 'm'
           : name.endsWith(u'1')                                         ? 'a'
                                                                         : 'b';
}

class CheckingEdge final : public TransferEdge {
public:
    void sendDatagram(const Peer& to, QByteArrayView d) override {
        // The server only ever sends DATA of 4 to 4 + the largest block, or an
        // OACK that a client reads back.
        if (const auto oack = ReadOptionAck(d)) {
            if (inRequest) // a negotiated transfer's blocks are of the size it names
                m_size[to.port] = qint64(oack->blockSize.value_or(SegmentSize));
            return;
        }
        if (d.size() < 4 || d.size() > qsizetype(DataHeaderSize + MaxBlockSize) || d[0] != 0 ||
            d[1] != 3)
            Broken("unexpected datagram sent");
        m_sent = d.toByteArray();
    }
    // Every block carries the bytes of the file its peer asked for, at its
    // offset; a kept last block (no name) belongs to the peer's latest file.
    void blockSent(const Peer& to, const QString& name, qint64 block) override {
        if (!name.isEmpty())
            m_asked[to.port] = name;
        if (inRequest && block == 1) // a request answered with data at once: 512 bytes
            m_size[to.port] = SegmentSize;
        const qint64 start =
            (block - 1) * m_size.value(to.port, SegmentSize) - qint64(DataHeaderSize);
        for (qsizetype i = qsizetype(DataHeaderSize); i < m_sent.size(); ++i)
            if (m_sent[i] != FileByte(m_asked.value(to.port), start + i))
                Broken("a block carries bytes of another file or offset");
    }
    void logLine(const QString&) override {}
    bool inRequest = false; // the datagram being handled is a read request

private:
    QByteArray m_sent;
    QHash<std::uint16_t, QString> m_asked; // peer port -> the name it asked for last
    QHash<std::uint16_t, qint64> m_size;   // peer port -> its transfer's block size
};

class FuzzHooks final : public TransferHooks {
public:
    RequestVerdict OnRequest(const ReadRequest& r) override {
        if (!IsPlainFileName(r.name))
            Broken("workflow saw a name that is not a plain file name");
        return RequestVerdict(static_cast<unsigned>(r.crc) % 3);
    }
    CompletionResult OnTransferComplete(const ReadRequest& r, CompletionVariant) override {
        return static_cast<unsigned>(r.crc) % 7 == 6 ? CompletionResult::EndService
                                                     : CompletionResult::Continue;
    }
    void OnDone(const Peer&, const QString&) override {}
};

void ExerciseCodec(QByteArrayView datagram) {
    ReceiveBuffer in;
    in.assign(datagram);
    NameBuffer name;
    volatile std::uint32_t sink = ReadOpcode(in) + ReadAckBlock(in);
    if (ReadRequestName(in, name))
        sink = sink + static_cast<std::uint32_t>(DecodeRequestName(name).size());
    sink = sink + static_cast<std::uint32_t>(ReadRequestCrc(in));
    sink = sink + static_cast<std::uint32_t>(ReadDoneMac(in).size());
    sink = sink + (ReadAskedOptions(in) ? 1u : 0u) + (ReadOptionAck(datagram) ? 1u : 0u);
    (void)sink;
    MacPacketBuffer mac;
    BuildMacSet(mac, datagram);
    if (mac[PacketSize - 1] != 0)
        Broken("MACSET without its NUL");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryFileStore files;
    files.add(QStringLiteral("empty"), QByteArray());
    files.add(QStringLiteral("f511"), QByteArray(511, 'a'));
    files.add(QStringLiteral("F512"), QByteArray(512, 'b'));
    files.add(QStringLiteral("MAC"), QByteArray(1000, 'm'));
    files.addPattern(QStringLiteral("wrap"), 65537LL * 512 + 1);
    files.addUnsizable(QStringLiteral("odd"));
    CheckingEdge edge;
    FuzzHooks hooks;
    TransferHandler handler(files, edge, QStringLiteral("/station/"));
    handler.setHooks(&hooks);
    handler.setMaxBlockSize(MaxBlockSize);

    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::uint8_t head = data[at];
        const std::size_t length =
            std::min<std::size_t>(data[at + 1] + ((head & 0x40) ? 512u : 0u), size - at - 2);
        const QByteArrayView datagram(reinterpret_cast<const char*>(data + at + 2),
                                      static_cast<qsizetype>(length));
        at += 2 + length;
        if (head & 0x80)
            handler.reset();
        const Peer peer{QHostAddress(quint32(0xC0A80100u + (head & 7))),
                        std::uint16_t(1000 + (head & 7))};
        ExerciseCodec(datagram);
        edge.inRequest = datagram.size() >= 2 && datagram[0] == 0 && datagram[1] == 1;
        handler.handle(peer, datagram);
        if (handler.transferCount() > TransferHandler::MaxTransfers ||
            files.liveCount() > TransferHandler::MaxTransfers)
            Broken("transfers not bounded");
        if (files.liveCount() != handler.openFileCount())
            Broken("a file left open");
    }
    return 0;
}
