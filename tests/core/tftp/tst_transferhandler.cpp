#include "tests/core/tftp/HandlerHarness.h"

#include <QTest>

using namespace quorvane::tftp;
using namespace quorvane::tftp::testing;

// The handler's answers without a socket; whole files through real clients
// are in tst_transferserver.

namespace {

// A read request of these texts, each followed by its NUL.
QByteArray Rrq(const QByteArrayList& texts) {
    return Raw({0, 1}) + texts.join('\0') + '\0';
}
// DATA numbered as on the wire.
QByteArray Data(int block, const QByteArray& bytes) {
    return Raw({0, 3, block >> 8 & 0xFF, block & 0xFF}) + bytes;
}
const QString kServing = QStringLiteral("正在下载文件/station/");

} // namespace

class TestTransferHandler : public QObject {
    Q_OBJECT
private Q_SLOTS:

    // What one datagram from a new router reaches: the workflow, the replies and
    // the log. The folder holds "f" (100 bytes).
    void oneDatagram_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("replies");
        QTest::addColumn<QStringList>("log");
        const QStringList served{kServing + "f"};
        const QStringList refused{kOpenFailed};
        const auto row = [](const char* name, const QByteArray& datagram, const QStringList& events,
                            int replies, const QStringList& log) {
            QTest::newRow(name) << datagram << events << replies << log;
        };
        const auto crc = [&](const char* name, const QByteArray& text, const char* read) {
            const QByteArray datagram = Rrq({"f", "octet", "tsize", "0", "skip", text});
            row(name, datagram, {"request f " + QString(read), "complete f 0"}, 1, served);
        };
        // The boot loader CRC: the mode and the skipped field are 6 and 8 bytes
        // whatever they hold.
        crc("CRC", "-1234", "-1234");
        crc("CRC stops at a non-digit", "12ab", "12");
        crc("CRC above range", "4294967295", "2147483647");
        crc("CRC below range", "-99999999999999999999", "-2147483648");
        row("127-character name", Rrq({QByteArray(127, 'a'), "octet"}),
            {"request " + QString(127, 'a') + " 0"}, 0,
            {kServing + QString(127, 'a'), kOpenFailed});
        row("128-character name", Rrq({QByteArray(128, 'a'), "octet"}), {}, 0, refused);
        row("550-byte RRQ of one text", Raw({0, 1}) + QByteArray(548, 'a'), {}, 0, refused);
        row("parent folder", Rrq({"../f", "octet"}), {}, 0, refused);
        row("parent, backslash", Rrq({"..\\f", "octet"}), {}, 0, refused);
        row("absolute", Rrq({"/etc/passwd"}), {}, 0, refused);
        row("drive", Rrq({"C:\\f"}), {}, 0, refused);
        row("dot dot", Rrq({".."}), {}, 0, refused);
        row("control character", Rrq({"f\x07"}), {}, 0, refused);
        row("empty name", Rrq({"", "octet"}), {}, 0, refused);
        row("0 bytes", {}, {}, 0, {});
        row("2 bytes, opcode 1", Raw({0, 1}), {}, 0, refused);
        row("ACK without block number", Raw({0, 4}), {}, 1, {kNotClosed});
        row("WRQ", Raw({0, 2, 'f'}), {}, 0, {});
        row("DATA", Raw({0, 3, 0, 1, 'x'}), {}, 0, {});
        row("ERROR", Raw({0, 5, 0, 1, 'e', 0}), {}, 0, {});
        row("opcode 0", Raw({0, 0, 'f', 0}), {}, 0, {});
        row("DONE", Raw({0, 9}) + "5e3a71000018" + '\0', {"done 5e3a71000018"}, 0, {});
        row("DONE, no NUL in the buffer", Raw({0, 9}) + QByteArray(600, 'A'),
            {"done " + QString(548, 'A')}, 0, {});
    }

    void oneDatagram() {
        QFETCH(QByteArray, datagram);
        Harness h;
        h.hooks.serveAll();
        h.files.add(QStringLiteral("f"), QByteArray(100, 'f'));
        h.receive(RouterAt(2006), datagram);
        QTEST(h.hooks.events, "events");
        QTEST(int(h.edge.sent.size()), "replies"); // DATA only: the fuzz target checks
        QTEST(h.edge.log, "log");                  // files closed: tst_transferserver checks
    }

    // Cases no transfer shows: the handler refuses such a name for its length
    // too. MACWAIT and MACSET as the router reads them.
    void builtDatagrams() {
        ReceiveBuffer in;
        in.assign(Rrq({QByteArray(128, 'a')})); // no room for the NUL: refused, not cut
        NameBuffer name;
        QVERIFY(!ReadRequestName(in, name));
        QCOMPARE(MacWaitDatagram(), Raw({0, 7}) + QByteArray(548, '\0'));
        QCOMPARE(MacSetDatagram("5E3A71123458"),
                 Raw({0, 8}) + "5E3A71123458" + QByteArray(536, '\0'));
        QCOMPARE(MacSetDatagram({}), Raw({0, 8}) + QByteArray(548, '\0')); // cancelled scan
    }

    void repeatedAckRewinds_data() {
        QTest::addColumn<int>("counter"); // block sent last
        QTest::addColumn<int>("ack");
        QTest::addColumn<int>("block"); // block sent in answer
        QTest::newRow("ack 3 at counter 5 repeats block 4") << 5 << 3 << 4;
        QTest::newRow("ack 0 starts the file over") << 5 << 0 << 1;
        QTest::newRow("ack for a block never sent goes on") << 5 << 9 << 6;
        QTest::newRow("ack 65535 is not behind block 5") << 5 << 65535 << 6;
        QTest::newRow("back past the chunk read ahead") << 70 << 40 << 41;
        // Only as far as the latest block carrying that number.
        QTest::newRow("ack 65535 past the wrap") << 65541 << 65535 << 65536;
    }

    void repeatedAckRewinds() {
        QFETCH(int, counter);
        QFETCH(int, ack);
        QFETCH(int, block);
        Harness h;
        h.hooks.serveAll();
        h.files.addPattern(QStringLiteral("f"), 70000 * 512);
        const Peer router = RouterAt(2001);
        h.receive(router, ReadRequestDatagram("f", 0));
        for (int k = 1; k < counter; ++k)
            h.receive(router, AckDatagram(quint16(k)));
        // The answer, then the transfer carries on from there.
        h.receive(router, AckDatagram(quint16(ack)));
        QCOMPARE(h.lastSent(), Data(block, Pattern((block - 1) * 512LL, 512)));
        h.receive(router, AckDatagram(quint16(block)));
        QCOMPARE(h.lastSent(), Data(block + 1, Pattern(block * 512LL, 512)));
    }

    // Its bytes and its one completion are tst_transferserver's (curl 33554433).
    // Its last block lost: an empty block 1 here would end the router's file 1
    // byte short, so the kept block goes out again.
    void blockNumbersWrap() {
        Harness h;
        h.hooks.serveAll();
        const qint64 size = 33554433; // 65,536 full blocks and one byte
        h.files.addPattern(QStringLiteral("big"), size);
        const Peer router = RouterAt(2002);
        h.fetch(router, "big");
        QCOMPARE(h.edge.sent.size(), 65537);
        h.receive(router, AckDatagram(0));
        QCOMPARE(h.lastSent(), Raw({0, 3, 0, 1}) + Pattern(size - 1, 1));
    }

    // A lost last block used to cost the router all its retries: its repeated
    // acknowledgement of the block before got an empty block 1.
    void lostLastBlockIsSentAgain() {
        Harness h;
        h.hooks.serveAll();
        h.files.addPattern(QStringLiteral("f"), 1000);
        const Peer router = RouterAt(2012);
        const QByteArray lastBlock = Raw({0, 3, 0, 2}) + Pattern(512, 488);
        const QByteArray emptyBlock1 = Raw({0, 3, 0, 1});
        QCOMPARE(h.fetch(router, "f"), Pattern(0, 1000));
        for (int lost = 0; lost < 2; ++lost) {
            h.receive(router, AckDatagram(1));
            QCOMPARE(h.lastSent(), lastBlock);
        }
        QCOMPARE(h.hooks.events, (QStringList{"request f 0", "complete f 1"}));
        // The final acknowledgement is answered as it always was.
        h.receive(router, AckDatagram(2));
        QCOMPARE(h.lastSent(), emptyBlock1);

        // Kept for a while only, and for a bounded number of routers.
        h.fetch(router, "f");
        h.edge.clockMs += TransferHandler::KeepLastBlockMs;
        h.receive(router, AckDatagram(1));
        QCOMPARE(h.lastSent(), emptyBlock1);
        for (quint16 port = 10000; port < 10200; ++port)
            h.fetch(RouterAt(port), "f");
        QCOMPARE(h.handler.keptBlockCount(), TransferHandler::MaxKeptBlocks);
        h.receive(RouterAt(10199), AckDatagram(1));
        QCOMPARE(h.lastSent(), lastBlock);
        h.receive(RouterAt(10000), AckDatagram(1));
        QCOMPARE(h.lastSent(), emptyBlock1);
    }

    // A request naming a missing file ends the router's earlier transfer: a
    // stray acknowledgement must not report a file as fetched.
    void missingFileIsNeverComplete() {
        Harness h;
        h.hooks.serveAll();
        h.files.add(QStringLiteral("f"), QByteArray(2000, 'f'));
        const Peer router = RouterAt(2004);
        h.receive(router, ReadRequestDatagram("f", 0));
        h.receive(router, ReadRequestDatagram("missing", 0));
        QCOMPARE(h.handler.openFileCount(), 0); // the earlier file is closed
        h.receive(router, AckDatagram(1));
        QCOMPARE(h.hooks.events.size(), 2); // no completion
    }

    void abandonedRequestsStayBounded() {
        Harness h;
        h.hooks.serveAll();
        h.files.add(QStringLiteral("f"), QByteArray(4096, 'f'));
        for (quint16 port = 10000; port < 10200; ++port)
            h.receive(RouterAt(port), ReadRequestDatagram("f", 0));
        QVERIFY(h.files.liveCount() <= TransferHandler::MaxTransfers);
        // The most recent ones are kept; a new router is served in full.
        h.receive(RouterAt(10199), AckDatagram(1));
        QCOMPARE(WireBlock(h.lastSent()), quint16(2));
        QCOMPARE(h.fetch(RouterAt(20000), "f"), QByteArray(4096, 'f'));
    }

    // Stop pressed while a hook runs: nothing more is answered, every file is
    // closed, and a new start serves again. A completion that ends the service
    // is tst_BoardCycle's (bootLoaderRemovedBeforeCompletion).
    void stopInAHookAnswersNothing() {
        Harness h;
        h.files.add(QStringLiteral("f"), QByteArray(600, 'f'));
        const Peer router = RouterAt(2009);
        h.hooks.serveAll();
        h.hooks.onComplete = [&] {
            h.handler.reset();
            return CompletionResult::Continue;
        };
        h.fetch(router, "f");
        h.hooks.onRequest = [&](const ReadRequest&) {
            h.handler.reset();
            return RequestVerdict::Serve;
        };
        h.fetch(router, "f");
        QCOMPARE(h.edge.sent.size(), 0);
        QCOMPARE(h.files.liveCount(), 0);
        QVERIFY(!h.edge.log.contains(kClosed)); // nothing after a stopped completion
        h.hooks.serveAll();
        QCOMPARE(h.fetch(router, "f"), QByteArray(600, 'f'));
    }
};

QTEST_APPLESS_MAIN(TestTransferHandler)
#include "tst_transferhandler.moc"
