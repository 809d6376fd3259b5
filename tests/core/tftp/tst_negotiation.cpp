#include "core/log/StationLog.h"
#include "core/tftp/TransferServer.h"
#include "tests/core/tftp/HandlerHarness.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using namespace quorvane::tftp;
using namespace quorvane::tftp::testing;

// Standard clients that ask for options: what is negotiated and what stays
// the dialect's, windows at the handler, and whole files through real clients.

namespace {

QByteArray Texts(int opcode, const QByteArrayList& texts) {
    return Raw({0, opcode}) + texts.join('\0') + '\0';
}
const QByteArray kWhole = Raw({0, 3, 0, 1}) + QByteArray(100, 'f'); // "f" in one block

} // namespace

class TestNegotiation : public QObject {
    Q_OBJECT
private Q_SLOTS:

    // The first answer to a request for "f" (100 bytes), and the CRC the
    // workflow reads: an OACK of what was accepted, or the dialect's answer.
    void firstAnswer_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("crc");
        QTest::addColumn<QByteArray>("answer");
        const auto row = [](const char* name, const QByteArrayList& fields, int crc,
                            const QByteArray& answer) {
            QTest::newRow(name) << Texts(1, QByteArrayList{"f", "octet"} + fields) << crc << answer;
        };
        row("U-Boot", {"timeout", "1", "blksize", "1468", "windowsize", "16"}, 0,
            Texts(6, {"blksize", "1468", "windowsize", "16", "timeout", "1"}));
        row("curl", {"tsize", "0", "blksize", "512", "timeout", "6"}, 0,
            Texts(6, {"blksize", "512", "tsize", "100", "timeout", "6"}));
        row("capped, any case, out of range left out",
            {"BlkSize", "65464", "windowsize", "65", "timeout", "0", "tsize", "0"}, 0,
            Texts(6, {"blksize", "1468", "tsize", "100"}));
        row("nothing accepted: the data at once", {"blksize", "65465", "windowsize", "0"}, 0,
            kWhole);
        // Read by the dialect's field walk: its golden answer, its CRC.
        QTest::newRow("the dialect's") << ReadRequestDatagram("f", -1234) << -1234 << kWhole;
        QTest::newRow("a truncated pair")
            << Texts(1, {"f", "octet", "tsize", "0", "blksize", "512"}).chopped(1) << 512 << kWhole;
        row("a CRC after timeout", {"timeout", "5", "12345"}, 12345, kWhole);
        row("an empty CRC", {"tsize", "0", "blksize", ""}, 0, kWhole);
        row("a number after blksize", {"blksize", "1468", "305419896"}, 305419896, kWhole);
        row("an unknown option", {"tsize", "0", "blksize", "512", "x", "1"}, 512, kWhole);
    }

    void firstAnswer() {
        QFETCH(QByteArray, request);
        Harness h;
        h.hooks.serveAll();
        h.files.add(QStringLiteral("f"), QByteArray(100, 'f'));
        h.receive(RouterAt(2001), request);
        QCOMPARE(h.edge.sent.size(), 1);
        QTEST(h.edge.sent[0], "answer");
        QTEST(h.hooks.events.value(0).section(' ', 2).toInt(), "crc");
    }

    // A client of "f" (83 bytes: ten blocks of 8, one of 3) in windows of 4
    // (in order, with losses: realClients):
    // each step an ACK ("a5"; "a0" starts the data), an ERROR ("e"), the
    // request again ("r") or time passing ("t150"); the blocks sent (-6: OACK).
    void windows_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("blocks");
        QTest::newRow("OACK lost") << "r a0" << QList<int>{-6, 1, 2, 3, 4};
        QTest::newRow("doubled and older ACKs")
            << "a0 a0 a4 a3 a4" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("last window kept, final ACK unanswered")
            << "a0 a4 a8 a8 t150 a8 a9 a11 a11"
            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 9, 10, 11, 10, 11};
        // Then an ACK is the dialect's: an empty block 1.
        QTest::newRow("ERROR for the OACK") << "e a0" << QList<int>{1};
        QTest::newRow("ERROR in a window") << "a0 e a4" << QList<int>{1, 2, 3, 4, 1};
    }

    void windows() {
        QFETCH(QString, script);
        Harness h;
        h.hooks.serveAll();
        h.files.addPattern(QStringLiteral("f"), 83);
        const QByteArray request = Texts(1, {"f", "octet", "blksize", "8", "windowsize", "4"});
        h.receive(RouterAt(2002), request);
        h.edge.sent.clear();
        for (const QString& step : script.split(' ')) {
            const int n = step.mid(1).toInt();
            const QMap<QChar, QByteArray> datagram{
                {'a', AckDatagram(quint16(n))}, {'e', Raw({0, 5, 0, 8, 0})}, {'r', request}};
            if (step[0] == 't')
                h.edge.clockMs += std::uint64_t(n);
            else
                h.receive(RouterAt(2002), datagram[step[0]]);
        }
        QList<int> sent;
        for (const QByteArray& d : std::as_const(h.edge.sent))
            sent << (d[1] == 6 ? -6 : WireBlock(d)); // the bytes: realClients
        QTEST(sent, "blocks");
        // One request; complete once the last block went out.
        QCOMPARE(h.hooks.events.join(' '),
                 QStringLiteral("request f 0") + (sent.contains(11) ? " complete f 1" : ""));
    }

    // Whole files: the bytes, one request with CRC 0, one completion, and no
    // empty block 1 after the final ACK (the log would say "不关闭文件").
    void realClients_data() {
        QTest::addColumn<QStringList>("command"); // %1: the port, %2: the file received
        QTest::addColumn<qint64>("size");
        const auto words = [](const char* text) { return QString(text).split(' '); };
        const QStringList atftp = words("atftp -g -r img -l %2 127.0.0.1 %1 --option");
        const QStringList router = words("%3/quorvane-router --port %1 --name img --out %2 --quiet "
                                         "--timeout-ms 150 --retries 20 --seed 7");
        const QStringList windows = router + words("--blksize 1468 --windowsize 16");
        QTest::newRow("atftp blksize") << atftp + QStringList{"blksize 1468"} << 1000000LL;
        QTest::newRow("atftp windowsize") << atftp + QStringList{"windowsize 8"} << 1000000LL;
        QTest::newRow("curl blksize")
            << words("curl -s --tftp-blksize 1468 -o %2 tftp://127.0.0.1:%1/img") << 1000000LL;
        QTest::newRow("router, 5% lost, 10% doubled")
            << windows + words("--loss 0.05 --dup 0.1") << 300000LL;
        QTest::newRow("router, last block lost") << windows + words("--lose-last") << 293700LL;
        // 65,537 blocks of 8: the numbers wrap past 65,535.
        QTest::newRow("router, wrap at blksize 8")
            << router + words("--blksize 8 --windowsize 64") << 524291LL;
    }

    void realClients() {
        QFETCH(QStringList, command);
        QFETCH(qint64, size);
        const QString program = QStandardPaths::findExecutable(
            command.takeFirst().replace("%3", QCoreApplication::applicationDirPath() + "/../bin"));
        if (program.isEmpty())
            QSKIP("client not installed");
        QTemporaryDir folder;
        StationLog log{folder.path()};
        QStringList lines;
        connect(&log, &StationLog::lineLogged, this, [&](const QString& l) { lines << l; });
        ScriptedHooks hooks;
        hooks.serveAll();
        TransferServer server{log, folder.path() + '/'};
        server.setHooks(&hooks);
        QFile file(folder.filePath(QStringLiteral("img")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Pattern(0, size)) == size);
        file.close();
        QVERIFY(server.start(0, false));
        const QString out = folder.filePath(QStringLiteral("received"));
        QProcess client;
        client.start(program, command.replaceInStrings("%1", QString::number(server.port()))
                                  .replaceInStrings("%2", out));
        QVERIFY(QSignalSpy(&client, &QProcess::finished).wait(120000));
        QFile received(out);
        QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == Pattern(0, size));
        QCOMPARE(client.exitCode(), 0);
        QTRY_COMPARE(hooks.events, (QStringList{"request img 0", "complete img 1"}));
        QTest::qWait(200); // a stray block would be logged by now
        QCOMPARE(lines.mid(3), (QStringList{"正在下载文件" + file.fileName(), kClosed}));
    }
};

QTEST_MAIN(TestNegotiation)
#include "tst_negotiation.moc"
