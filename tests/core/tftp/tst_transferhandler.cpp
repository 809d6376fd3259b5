#include "tests/core/tftp/HandlerHarness.h"

#include <QTest>

using namespace quorvane::tftp;
using namespace quorvane::tftp::testing;

Q_DECLARE_METATYPE(QList<int>)

namespace {

const QString kOpenFailed = QStringLiteral("文件打开失败!");
const QString kClosed = QStringLiteral("4下载完成，关闭文件");
const QString kNotClosed = QStringLiteral("4下载完成，不关闭文件");

QByteArray Pattern(qint64 from, qint64 count) {
    QByteArray out(count, '\0');
    for (qint64 i = 0; i < count; ++i)
        out[i] = PatternByte(from + i);
    return out;
}

QByteArray Raw(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// Drives one router through a whole file the way a lock-step client does;
// returns the bytes received.
QByteArray Fetch(Harness& h, const Peer& router, const QString& name) {
    QByteArray received;
    h.edge.sent.clear();
    h.receive(router, ReadRequestDatagram(name.toLatin1(), 0));
    for (qsizetype i = 0; i < h.edge.sent.size(); ++i) {
        const QByteArray& data = h.edge.sent[i].datagram;
        received += data.mid(4);
        if (data.size() < 516)
            break;
        h.receive(router, AckDatagram(WireBlock(data)));
    }
    return received;
}

} // namespace

class TestTransferHandler : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void servesWholeFiles_data();
    void servesWholeFiles();
    void repeatedAckRewinds_data();
    void repeatedAckRewinds();
    void blockNumbersWrap();
    void lostLastBlockIsSentAgain();
    void verdictsOtherThanServe();
    void missingFileIsNeverComplete();
    void badInput_data();
    void badInput();
    void doneReachesWorkflow();
    void peersKeepTheirOwnFiles();
    void newRequestStartsAfresh();
    void abandonedRequestsStayBounded();
    void endedServiceAnswersNothing();
    void resetFromInsideAHook();
};

void TestTransferHandler::servesWholeFiles_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("lengths"); // every DATA datagram sent
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("variant");
    const QString serving = QStringLiteral("正在下载文件/station/f");
    QTest::newRow("0 bytes") << 0 << QList<int>{4} << QStringList{serving}
                             << int(CompletionVariant::FirstBlock);
    QTest::newRow("511 bytes") << 511 << QList<int>{515} << QStringList{serving}
                               << int(CompletionVariant::FirstBlock);
    QTest::newRow("512 bytes") << 512 << QList<int>{516, 4} << QStringList{serving, kClosed}
                               << int(CompletionVariant::Acknowledgement);
    QTest::newRow("513 bytes") << 513 << QList<int>{516, 5} << QStringList{serving, kClosed}
                               << int(CompletionVariant::Acknowledgement);
    QTest::newRow("1024 bytes") << 1024 << QList<int>{516, 516, 4} << QStringList{serving, kClosed}
                                << int(CompletionVariant::Acknowledgement);
    // Files read ahead in chunks: ending on a chunk's end and one byte past it.
    const int chunk = int(TransferHandler::ReadAheadSize);
    const QList<int> chunkOfBlocks(chunk / 512, 516);
    QTest::newRow("one read-ahead chunk")
        << chunk << chunkOfBlocks + QList<int>{4} << QStringList{serving, kClosed}
        << int(CompletionVariant::Acknowledgement);
    QTest::newRow("one byte past a chunk")
        << chunk + 1 << chunkOfBlocks + QList<int>{5} << QStringList{serving, kClosed}
        << int(CompletionVariant::Acknowledgement);
}

void TestTransferHandler::servesWholeFiles() {
    QFETCH(int, size);
    QFETCH(QList<int>, lengths);
    QFETCH(QStringList, log);
    QFETCH(int, variant);
    Harness h;
    h.files.add(QStringLiteral("F"), Pattern(0, size));
    const Peer router = RouterAt(2000);

    // Asked in another case than stored, as the routers ask for "MAC".
    QCOMPARE(Fetch(h, router, QStringLiteral("f")), Pattern(0, size));
    QList<int> sentLengths;
    for (int i = 0; i < h.edge.sent.size(); ++i) {
        QCOMPARE(h.edge.sent[i].to, router);
        QCOMPARE(h.edge.sent[i].datagram.left(4), Raw({0, 3, 0, i + 1}));
        sentLengths.append(int(h.edge.sent[i].datagram.size()));
    }
    QCOMPARE(sentLengths, lengths);
    QCOMPARE(h.edge.log, log);
    QCOMPARE(h.hooks.requests.size(), 1);
    QCOMPARE(h.hooks.requests[0].name, QStringLiteral("f"));
    QCOMPARE(h.hooks.completions.size(), 1);
    QCOMPARE(int(h.hooks.completions[0].second), variant);
    QCOMPARE(h.handler.openFileCount(), 0);
    QCOMPARE(h.files.liveCount(), 0);

    // The router's acknowledgement of the last block: an empty block 1.
    h.edge.sent.clear();
    h.edge.log.clear();
    h.receive(router, AckDatagram(quint16(lengths.size())));
    QCOMPARE(h.edge.sent.size(), 1);
    QCOMPARE(h.edge.sent[0].datagram, Raw({0, 3, 0, 1}));
    QCOMPARE(h.edge.log, QStringList{kNotClosed});
    QCOMPARE(h.hooks.completions.size(), 1);
}

void TestTransferHandler::repeatedAckRewinds_data() {
    QTest::addColumn<int>("counter"); // block sent last
    QTest::addColumn<int>("ack");
    QTest::addColumn<int>("block"); // block sent in answer; its data starts at (block-1)*512
    QTest::newRow("ack 3 at counter 5 repeats block 4") << 5 << 3 << 4;
    QTest::newRow("ack 5 goes on with block 6") << 5 << 5 << 6;
    QTest::newRow("ack 0 starts the file over") << 5 << 0 << 1;
    QTest::newRow("ack for a block never sent goes on") << 5 << 9 << 6;
    QTest::newRow("ack 65535 is not behind block 5") << 5 << 65535 << 6;
    QTest::newRow("back past the chunk read ahead") << 70 << 40 << 41;
}

void TestTransferHandler::repeatedAckRewinds() {
    QFETCH(int, counter);
    QFETCH(int, ack);
    QFETCH(int, block);
    Harness h;
    h.files.addPattern(QStringLiteral("f"), 100 * 512);
    const Peer router = RouterAt(2001);
    h.receive(router, ReadRequestDatagram("f", 0));
    for (quint16 k = 1; k < counter; ++k)
        h.receive(router, AckDatagram(k));
    h.edge.sent.clear();

    h.receive(router, AckDatagram(quint16(ack)));
    QCOMPARE(h.edge.sent.size(), 1);
    const QByteArray& data = h.edge.sent[0].datagram;
    QCOMPARE(int(WireBlock(data)), block);
    QCOMPARE(data.mid(4), Pattern(qint64(block - 1) * 512, 512));

    // The transfer carries on from there as if nothing had happened.
    h.receive(router, AckDatagram(quint16(block)));
    QCOMPARE(int(WireBlock(h.edge.sent.last().datagram)), block + 1);
    QCOMPARE(h.edge.sent.last().datagram.mid(4), Pattern(qint64(block) * 512, 512));
}

void TestTransferHandler::blockNumbersWrap() {
    Harness h;
    const qint64 size = 33554433; // 65,536 full blocks and one byte
    h.files.addPattern(QStringLiteral("big"), size);
    h.files.addPattern(QStringLiteral("bigger"), 70000 * 512);
    const Peer router = RouterAt(2002);

    h.receive(router, ReadRequestDatagram("big", 0));
    for (quint32 block = 1;; ++block) {
        QVERIFY2(block <= 65537, "the transfer runs past the end of the file");
        const QByteArray data = h.edge.sent.takeLast().datagram;
        QCOMPARE(WireBlock(data), quint16(block & 0xFFFF));
        if (block == 65536)
            QCOMPARE(data.mid(4, 8), Pattern(65535LL * 512, 8));
        if (data.size() < 516) {
            QCOMPARE(block, 65537u);
            QCOMPARE(data.mid(4), Pattern(size - 1, 1));
            break;
        }
        h.edge.sent.clear();
        h.receive(router, AckDatagram(quint16(block)));
    }
    QCOMPARE(h.hooks.completions.size(), 1);
    QCOMPARE(h.edge.log.last(), kClosed);
    // Its last block lost: an empty block 1 here would end the router's file
    // 1 byte short, so the kept block goes out again.
    h.receive(router, AckDatagram(0));
    QCOMPARE(h.edge.sent.last().datagram, Raw({0, 3, 0, 1}) + Pattern(size - 1, 1));

    // Past the wrap a repeated acknowledgement still steps back, and only
    // as far as the latest block carrying that number.
    h.receive(router, ReadRequestDatagram("bigger", 0));
    for (quint32 block = 1; block <= 65540; ++block) {
        h.receive(router, AckDatagram(quint16(block))); // counter 65541 (wire 5)
        h.edge.sent.clear();
    }
    h.receive(router, AckDatagram(65535));
    QCOMPARE(WireBlock(h.edge.sent.last().datagram), quint16(0));
    QCOMPARE(h.edge.sent.last().datagram.mid(4), Pattern(65535LL * 512, 512));
    h.receive(router, AckDatagram(0));
    QCOMPARE(WireBlock(h.edge.sent.last().datagram), quint16(1));
    QCOMPARE(h.edge.sent.last().datagram.mid(4), Pattern(65536LL * 512, 512));
}

// A lost last block used to cost the router all its retries: its repeated
// acknowledgement of the block before got an empty block 1.
void TestTransferHandler::lostLastBlockIsSentAgain() {
    Harness h;
    h.files.addPattern(QStringLiteral("f"), 1000);
    const Peer router = RouterAt(2012);
    const QByteArray lastBlock = Raw({0, 3, 0, 2}) + Pattern(512, 488);
    const QByteArray emptyBlock1 = Raw({0, 3, 0, 1});
    QCOMPARE(Fetch(h, router, QStringLiteral("f")), Pattern(0, 1000));
    for (int lost = 0; lost < 2; ++lost) {
        h.receive(router, AckDatagram(1));
        QCOMPARE(h.edge.sent.last().datagram, lastBlock);
    }
    QCOMPARE(h.hooks.completions.size(), 1);
    QCOMPARE(h.edge.log.count(kClosed), 1);
    // The final acknowledgement is answered as it always was.
    h.receive(router, AckDatagram(2));
    QCOMPARE(h.edge.sent.last().datagram, emptyBlock1);
    QCOMPARE(h.edge.log.last(), kNotClosed);

    // Kept for a while only, and for a bounded number of routers.
    Fetch(h, router, QStringLiteral("f"));
    h.edge.clockMs += TransferHandler::KeepLastBlockMs;
    h.receive(router, AckDatagram(1));
    QCOMPARE(h.edge.sent.last().datagram, emptyBlock1);
    for (quint16 port = 10000; port < 10200; ++port)
        Fetch(h, RouterAt(port), QStringLiteral("f"));
    QCOMPARE(h.handler.keptBlockCount(), TransferHandler::MaxKeptBlocks);
    h.receive(RouterAt(10199), AckDatagram(1));
    QCOMPARE(h.edge.sent.last().datagram, lastBlock);
    h.receive(RouterAt(10000), AckDatagram(1));
    QCOMPARE(h.edge.sent.last().datagram, emptyBlock1);
}

void TestTransferHandler::verdictsOtherThanServe() {
    for (const RequestVerdict verdict : {RequestVerdict::Drop, RequestVerdict::Answered}) {
        Harness h;
        h.files.add(QStringLiteral("mac"), QByteArray(100, 'm'));
        h.hooks.onRequest = [&](const ReadRequest&) { return verdict; };
        h.receive(RouterAt(2003), ReadRequestDatagram("mac", -1234));
        QCOMPARE(h.hooks.requests.size(), 1);
        QCOMPARE(h.hooks.requests[0].crc, -1234);
        QCOMPARE(h.hooks.requests[0].peer, RouterAt(2003));
        QVERIFY(h.edge.sent.isEmpty());
        QVERIFY(h.edge.log.isEmpty());
        QCOMPARE(h.files.openedCount(), 0);
    }
}

void TestTransferHandler::missingFileIsNeverComplete() {
    Harness h;
    h.files.add(QStringLiteral("f"), QByteArray(2000, 'f'));
    const Peer router = RouterAt(2004);
    h.receive(router, ReadRequestDatagram("f", 0));
    h.receive(router, ReadRequestDatagram("missing", 0));
    QCOMPARE(h.edge.log,
             (QStringList{QStringLiteral("正在下载文件/station/f"),
                          QStringLiteral("正在下载文件/station/missing"), kOpenFailed}));
    QCOMPARE(h.edge.sent.size(), 1);        // block 1 of "f" only
    QCOMPARE(h.handler.openFileCount(), 0); // the earlier file is closed

    // A stray acknowledgement must not report the missing file as fetched.
    h.receive(router, AckDatagram(1));
    QVERIFY(h.hooks.completions.isEmpty());
    QCOMPARE(h.edge.sent.last().datagram, Raw({0, 3, 0, 1}));
    QCOMPARE(h.edge.log.last(), kNotClosed);
}

void TestTransferHandler::badInput_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("requests"); // reaching the workflow
    QTest::addColumn<int>("replies");
    QTest::addColumn<QStringList>("log");

    const QStringList none;
    const QStringList refused{kOpenFailed};
    auto rrq = [](const QByteArray& rest) { return QByteArray("\x00\x01", 2) + rest; };
    QTest::newRow("0 bytes") << QByteArray() << 0 << 0 << none;
    QTest::newRow("1 byte") << Raw({0}) << 0 << 0 << none;
    QTest::newRow("2 bytes, opcode 1") << Raw({0, 1}) << 0 << 0 << refused;
    QTest::newRow("3 bytes, opcode 9") << Raw({0, 9, 'x'}) << 0 << 0 << none;
    QTest::newRow("ACK without block number") << Raw({0, 4}) << 0 << 1 << QStringList{kNotClosed};
    QTest::newRow("RRQ without any NUL")
        << rrq("gone") << 1 << 0
        << QStringList{QStringLiteral("正在下载文件/station/gone"), kOpenFailed};
    QTest::newRow("550-byte RRQ of one text") << rrq(QByteArray(548, 'a')) << 0 << 0 << refused;
    QTest::newRow("128-character name")
        << rrq(QByteArray(128, 'a') + QByteArray("\0octet\0", 7)) << 0 << 0 << refused;
    QTest::newRow("127-character name")
        << rrq(QByteArray(127, 'a') + QByteArray("\0octet\0", 7)) << 1 << 0
        << QStringList{QStringLiteral("正在下载文件/station/") + QString(127, u'a'), kOpenFailed};
    QTest::newRow("options after the mode")
        << rrq(QByteArray("f\0octet\0tsize\0"
                          "0\0blksize\0"
                          "512\0timeout\0"
                          "6\0",
                          38))
        << 1 << 1 << QStringList{QStringLiteral("正在下载文件/station/f")};
    QTest::newRow("parent folder") << rrq(QByteArray("../f\0octet\0", 11)) << 0 << 0 << refused;
    QTest::newRow("parent, backslash")
        << rrq(QByteArray("..\\f\0octet\0", 11)) << 0 << 0 << refused;
    QTest::newRow("absolute") << rrq(QByteArray("/etc/passwd\0", 12)) << 0 << 0 << refused;
    QTest::newRow("drive") << rrq(QByteArray("C:\\f\0", 5)) << 0 << 0 << refused;
    QTest::newRow("share") << rrq(QByteArray("\\\\host\\share\\f\0", 16)) << 0 << 0 << refused;
    QTest::newRow("dot dot") << rrq(QByteArray("..\0", 3)) << 0 << 0 << refused;
    QTest::newRow("dots and slashes") << rrq(QByteArray("....//f\0", 8)) << 0 << 0 << refused;
    QTest::newRow("control character") << rrq(QByteArray("f\x07\0", 3)) << 0 << 0 << refused;
    QTest::newRow("empty name") << rrq(QByteArray("\0octet\0", 7)) << 0 << 0 << refused;
    QTest::newRow("WRQ") << rrq("f").replace(1, 1, "\x02") << 0 << 0 << none;
    QTest::newRow("DATA") << Raw({0, 3, 0, 1, 'x'}) << 0 << 0 << none;
    QTest::newRow("ERROR") << Raw({0, 5, 0, 1, 'e', 0}) << 0 << 0 << none;
    QTest::newRow("opcode 0") << Raw({0, 0, 'f', 0}) << 0 << 0 << none;
    QTest::newRow("opcode 6") << Raw({0, 6, 'f', 0}) << 0 << 0 << none;
    QTest::newRow("opcode 10") << Raw({0, 10, 'f', 0}) << 0 << 0 << none;
    QTest::newRow("opcode 0xFFFF") << Raw({0xFF, 0xFF, 'f', 0}) << 0 << 0 << none;
}

void TestTransferHandler::badInput() {
    QFETCH(QByteArray, datagram);
    QFETCH(int, requests);
    QFETCH(int, replies);
    QFETCH(QStringList, log);
    Harness h;
    h.files.add(QStringLiteral("f"), QByteArray(100, 'f'));
    h.receive(RouterAt(2006), datagram);
    QCOMPARE(h.hooks.requests.size(), requests);
    QCOMPARE(h.edge.sent.size(), replies);
    QCOMPARE(h.edge.log, log);
    for (const Sent& s : h.edge.sent)
        QCOMPARE(int(s.datagram.at(1)), 3); // only ever DATA
    QCOMPARE(h.handler.openFileCount(), 0);
}

void TestTransferHandler::doneReachesWorkflow() {
    Harness h;
    h.receive(RouterAt(2007), DoneDatagram("5e3a71000018"));
    QCOMPARE(h.hooks.dones, (QList<QPair<Peer, QString>>{{RouterAt(2007), "5e3a71000018"}}));
    QVERIFY(h.edge.sent.isEmpty());
}

void TestTransferHandler::peersKeepTheirOwnFiles() {
    Harness h;
    h.files.add(QStringLiteral("a"), QByteArray(3000, 'a'));
    h.files.add(QStringLiteral("b"), QByteArray(2000, 'b'));
    const Peer first = RouterAt(3000);
    const Peer second{QHostAddress(QStringLiteral("192.168.1.11")), 3000};
    h.receive(first, ReadRequestDatagram("a", 0));
    h.receive(second, ReadRequestDatagram("b", 0));
    QByteArray gotA = h.edge.sent[0].datagram.mid(4);
    QByteArray gotB = h.edge.sent[1].datagram.mid(4);
    // Interleaved acknowledgements, as two routers fetching at once send them.
    for (quint16 k = 1; k <= 5; ++k) {
        for (const Peer& p : {first, second}) {
            const qsizetype before = h.edge.sent.size();
            h.receive(p, AckDatagram(k));
            if (h.edge.sent.size() == before)
                continue;
            const Sent& s = h.edge.sent.last();
            QCOMPARE(s.to, p);
            if (WireBlock(s.datagram) != 1) // not the empty answer after the end
                (p == first ? gotA : gotB) += s.datagram.mid(4);
        }
    }
    QCOMPARE(gotA, QByteArray(3000, 'a'));
    QCOMPARE(gotB, QByteArray(2000, 'b'));
    QCOMPARE(h.hooks.completions.size(), 2);
}

// A router that asks again in the middle of a file gets the new file's bytes,
// none of what was read ahead for the old one.
void TestTransferHandler::newRequestStartsAfresh() {
    Harness h;
    h.files.addPattern(QStringLiteral("a"), 100 * 512);
    h.files.add(QStringLiteral("b"), QByteArray(3000, 'b'));
    const Peer router = RouterAt(3001);
    h.receive(router, ReadRequestDatagram("a", 0));
    h.receive(router, AckDatagram(1));
    QCOMPARE(Fetch(h, router, QStringLiteral("b")), QByteArray(3000, 'b'));
    QCOMPARE(Fetch(h, router, QStringLiteral("a")), Pattern(0, 100 * 512));
}

void TestTransferHandler::abandonedRequestsStayBounded() {
    Harness h;
    h.files.add(QStringLiteral("f"), QByteArray(4096, 'f'));
    for (quint16 port = 10000; port < 10200; ++port)
        h.receive(RouterAt(port), ReadRequestDatagram("f", 0));
    QCOMPARE(h.edge.sent.size(), 200);
    QVERIFY(h.handler.transferCount() <= TransferHandler::MaxTransfers);
    QVERIFY(h.files.liveCount() <= TransferHandler::MaxTransfers);

    // The most recent ones are kept; a new router is served in full.
    const Peer recent = RouterAt(10199);
    h.receive(recent, AckDatagram(1));
    QCOMPARE(h.edge.sent.last().to, recent);
    QCOMPARE(WireBlock(h.edge.sent.last().datagram), quint16(2));
    QCOMPARE(Fetch(h, RouterAt(20000), QStringLiteral("f")), QByteArray(4096, 'f'));
    QVERIFY(h.files.liveCount() <= TransferHandler::MaxTransfers);
}

void TestTransferHandler::endedServiceAnswersNothing() {
    Harness h;
    h.files.add(QStringLiteral("f"), QByteArray(600, 'f'));
    h.hooks.onComplete = [](const ReadRequest&, CompletionVariant) {
        return CompletionResult::EndService;
    };
    const Peer router = RouterAt(2009);
    Fetch(h, router, QStringLiteral("f"));
    QVERIFY(h.handler.hasEnded());
    QCOMPARE(h.files.liveCount(), 0);
    QVERIFY(!h.edge.log.contains(kClosed)); // nothing after the completion ran

    h.edge.sent.clear();
    h.receive(router, AckDatagram(2));
    h.receive(router, ReadRequestDatagram("f", 0));
    h.receive(router, DoneDatagram("5e3a71000018"));
    QVERIFY(h.edge.sent.isEmpty());
    QCOMPARE(h.hooks.requests.size(), 1);
    QVERIFY(h.hooks.dones.isEmpty());

    h.handler.reset(); // a new start
    h.hooks.onComplete = nullptr;
    QCOMPARE(Fetch(h, router, QStringLiteral("f")), QByteArray(600, 'f'));
}

void TestTransferHandler::resetFromInsideAHook() {
    Harness h;
    h.files.add(QStringLiteral("f"), QByteArray(600, 'f'));
    h.hooks.onRequest = [&](const ReadRequest&) {
        h.handler.reset(); // the operator pressed Stop while being asked
        return RequestVerdict::Serve;
    };
    h.receive(RouterAt(2010), ReadRequestDatagram("f", 0));
    QVERIFY(h.edge.sent.isEmpty());
    QCOMPARE(h.files.openedCount(), 0);

    h.hooks.onRequest = nullptr;
    h.hooks.onComplete = [&](const ReadRequest&, CompletionVariant) {
        h.handler.reset();
        return CompletionResult::Continue;
    };
    h.receive(RouterAt(2010), ReadRequestDatagram("f", 0));
    h.receive(RouterAt(2010), AckDatagram(1));
    QCOMPARE(h.handler.transferCount(), 0);
    QCOMPARE(h.files.liveCount(), 0);
    QVERIFY(!h.edge.log.contains(kClosed));
}

QTEST_APPLESS_MAIN(TestTransferHandler)
#include "tst_transferhandler.moc"
