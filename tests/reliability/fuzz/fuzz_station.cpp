// libFuzzer target: the station's byte-level inputs with their invariants.
//   byte 0 % 4 == 0  datagram sequences from four peers through the transfer
//                    handler: every DATA block carries the bytes of the file
//                    that peer asked for, at its offset, and no datagram is
//                    longer than a DATA packet
//   1                package decoder on arbitrary bytes
//   2                configuration template -> configuration block (16,384
//                    bytes or nothing) and WPA key insertion
//   3                log texts: GBK cut never grows or leaves a half character,
//                    every record ends with CR LF; scan texts and MAC fields
#include "core/log/GbkText.h"
#include "core/log/LogText.h"
#include "core/personalise/ConfigTemplate.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/PackageInspect.h"
#include "core/tftp/PacketCodec.h"
#include "core/tftp/RequestName.h"
#include "core/tftp/TransferHandler.h"

#include <QByteArray>
#include <QHash>
#include <QMap>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace quorvane;
using namespace quorvane::tftp;

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

const QMap<QString, QByteArray>& Files() {
    static const QMap<QString, QByteArray> files = [] {
        QMap<QString, QByteArray> f;
        auto pattern = [](int size, int salt) {
            QByteArray b(size, '\0');
            for (int i = 0; i < size; ++i)
                b[i] = static_cast<char>((i * 7 + (i >> 9) * 13 + salt) & 0xFF);
            return b;
        };
        f.insert(QStringLiteral("MAC"), pattern(1300, 1));
        f.insert(QStringLiteral("5E3A71123458"), pattern(1024, 2)); // ends in an empty block
        f.insert(QStringLiteral("a"), pattern(5, 3));
        f.insert(QStringLiteral("empty"), QByteArray());
        return f;
    }();
    return files;
}

const QByteArray* Lookup(const QString& name) {
    const auto& files = Files();
    if (auto it = files.constFind(name); it != files.constEnd())
        return &*it;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it)
        if (EqualIgnoringAsciiCase(it.key(), name))
            return &*it;
    return nullptr;
}

class MemoryFile final : public ServedFile {
public:
    explicit MemoryFile(const QByteArray& bytes) : m_bytes(bytes) {}
    qint64 readAt(qint64 offset, char* out, qint64 count) override {
        if (offset < 0 || offset >= m_bytes.size())
            return 0;
        const qint64 n = std::min<qint64>(count, m_bytes.size() - offset);
        std::memcpy(out, m_bytes.constData() + offset, static_cast<size_t>(n));
        return n;
    }

private:
    const QByteArray& m_bytes;
};

class MemoryStore final : public FileStore {
public:
    OpenResult open(const QString& name) override {
        const QByteArray* bytes = Lookup(name);
        if (!bytes)
            return {nullptr, OpenFailure::CannotOpen};
        return {std::make_unique<MemoryFile>(*bytes), OpenFailure::None};
    }
};

struct Sent {
    Peer to;
    QByteArray datagram;
};

class Recorder final : public TransferEdge {
public:
    void sendDatagram(const Peer& to, QByteArrayView datagram) override {
        sent.push_back({to, datagram.toByteArray()});
    }
    void logLine(const QString&) override {}
    std::vector<Sent> sent;
};

std::uint16_t Word(const QByteArray& d, int at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) << 8 |
                                      static_cast<unsigned char>(d[at + 1]));
}

void FuzzHandler(const std::uint8_t* data, size_t size) {
    MemoryStore store;
    Recorder edge;
    TransferHandler handler(store, edge, QStringLiteral("/station/"));
    QHash<std::uint16_t, const QByteArray*> asked; // peer port -> file its transfer serves
    size_t at = 0;
    while (at + 2 <= size) {
        // [peer][length] then the datagram
        const Peer peer{QHostAddress::LocalHost, static_cast<std::uint16_t>(4000 + data[at] % 4)};
        const size_t length = std::min<size_t>(data[at + 1] * 3u, size - at - 2);
        const QByteArrayView datagram(reinterpret_cast<const char*>(data + at + 2),
                                      static_cast<qsizetype>(length));
        at += 2 + length;

        ReceiveBuffer in;
        in.assign(datagram);
        const bool isRequest = ReadOpcode(in) == std::uint16_t(Opcode::Rrq);
        NameBuffer name{};
        const bool named = isRequest && ReadRequestName(in, name);

        const size_t before = edge.sent.size();
        handler.handle(peer, datagram);
        for (size_t i = before; i < edge.sent.size(); ++i) {
            const Sent& s = edge.sent[i];
            Require(s.datagram.size() <= qsizetype(DataPacketMax) ||
                    Word(s.datagram, 0) == std::uint16_t(Opcode::MacWait) ||
                    Word(s.datagram, 0) == std::uint16_t(Opcode::MacSet));
            if (s.datagram.size() < 4 || Word(s.datagram, 0) != std::uint16_t(Opcode::Data))
                continue;
            const std::uint16_t block = Word(s.datagram, 2);
            // An empty block (no transfer, or no file behind it) carries nobody's bytes.
            if (s.datagram.size() == qsizetype(DataHeaderSize))
                continue;
            if (block == 1 && isRequest && s.to == peer) {
                Require(named);
                asked[peer.port] = Lookup(DecodeRequestName(name));
            }
            const QByteArray* file = asked.value(s.to.port);
            Require(file != nullptr);
            const qint64 offset = qint64(block - 1) * qint64(SegmentSize);
            Require(s.datagram.mid(4) == file->mid(offset, qsizetype(SegmentSize)));
        }
    }
    Require(handler.transferCount() <= TransferHandler::MaxTransfers);
}

void FuzzPackage(const std::uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)InspectPackage(bytes);
    (void)InspectDevicePackage(bytes);
    (void)InspectMacPackage(bytes);
}

void FuzzConfig(const std::uint8_t* data, size_t size) {
    if (size < 7)
        return;
    const MacAddress mac{{data[0], data[1], data[2], data[3], data[4], data[5]}};
    const bool wpa = data[6] & 1;
    const QByteArrayView text(reinterpret_cast<const char*>(data + 7),
                              static_cast<qsizetype>(size - 7));
    (void)ConfiguresOpenNetwork(text);
    if (const auto block = BuildConfigBlock(text, MakeTriple(mac, data[6] >> 4), wpa))
        Require(block->size() == 16384);
    if (const auto withKey = InsertWpaKey(text, KeyText(mac).toLatin1()))
        Require(withKey->contains(KeyText(mac).toLatin1()));
}

void FuzzTexts(const std::uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype limit = size ? data[0] % 64 : 0;
    const QByteArray gbk = ToGbk(QString::fromUtf8(bytes));
    const QByteArray cut = CutGbk(gbk, limit);
    Require(cut.size() <= limit && gbk.startsWith(cut));
    Require(ToGbk(FromGbk(cut)) == cut); // no half character at the end
    Require(LogRecordBytes(QString::fromUtf8(bytes)).endsWith("\r\n"));
    (void)FromGbk(bytes);

    const QString text = QString::fromLatin1(bytes);
    if (CheckScanText(text) == ScanVerdict::Accepted)
        Require(text.size() == 12 && text.endsWith(QLatin1Char('8')));
    (void)TripleFromMacField(text, size ? data[0] % 16 : 5);
    (void)IsPlainFileName(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    switch (data[0] % 4) {
    case 0:
        FuzzHandler(data + 1, size - 1);
        break;
    case 1:
        FuzzPackage(data + 1, size - 1);
        break;
    case 2:
        FuzzConfig(data + 1, size - 1);
        break;
    default:
        FuzzTexts(data + 1, size - 1);
        break;
    }
    return 0;
}
