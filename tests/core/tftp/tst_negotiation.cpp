#include "core/log/StationLog.h"
#include "core/tftp/TransferServer.h"
#include "tests/core/tftp/HandlerHarness.h"

#include <QJsonDocument>
#include <QJsonObject>
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

QByteArray Rrq(const QByteArrayList& texts) {
    return Raw({0, 1}) + texts.join('\0') + '\0';
}
QByteArray Oack(const QByteArrayList& texts) {
    return Raw({0, 6}) + texts.join('\0') + '\0';
}
const QByteArray kWhole = Raw({0, 3, 0, 1}) + QByteArray(100, 'f'); // "f" in one block

QPair<int, QJsonObject> RunClient(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    QSignalSpy finished(&process, &QProcess::finished);
    if (process.state() != QProcess::NotRunning && !finished.wait(120000))
        process.kill();
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object()};
}

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
        const auto row = [](const char* name, const QByteArray& request, int crc,
                            const QByteArray& answer) {
            QTest::newRow(name) << request << crc << answer;
        };
        row("U-Boot", Rrq({"f", "octet", "timeout", "5", "blksize", "1468"}), 0,
            Oack({"blksize", "1468", "timeout", "5"}));
        row("U-Boot with a window",
            Rrq({"f", "octet", "timeout", "1", "blksize", "1468", "windowsize", "16"}), 0,
            Oack({"blksize", "1468", "windowsize", "16", "timeout", "1"}));
        row("curl", Rrq({"f", "octet", "tsize", "0", "blksize", "512", "timeout", "6"}), 0,
            Oack({"blksize", "512", "tsize", "100", "timeout", "6"}));
        row("capped, any case", Rrq({"f", "netascii", "BlkSize", "65464"}), 0,
            Oack({"blksize", "1468"}));
        row("what is out of range is left out",
            Rrq({"f", "octet", "blksize", "7", "windowsize", "65", "timeout", "0", "tsize", "0"}),
            0, Oack({"tsize", "100"}));
        row("nothing accepted: the data at once",
            Rrq({"f", "octet", "blksize", "65465", "windowsize", "0"}), 0, kWhole);
        // Read by the dialect's field walk: its golden answer, its CRC.
        row("the dialect's request", ReadRequestDatagram("f", -1234), -1234, kWhole);
        row("no options", PlainReadRequestDatagram("f"), 0, kWhole);
        row("a CRC after timeout", Rrq({"f", "octet", "timeout", "5", "12345"}), 12345, kWhole);
        row("an empty CRC", Rrq({"f", "octet", "tsize", "0", "blksize", ""}), 0, kWhole);
        row("a CRC that spells a number after blksize",
            Rrq({"f", "octet", "blksize", "1468", "305419896"}), 305419896, kWhole);
        row("a truncated pair", Rrq({"f", "octet", "timeout", "5", "blksize", "1468"}).chopped(1),
            0, kWhole);
        row("an unknown option", Rrq({"f", "octet", "tsize", "0", "blksize", "512", "x", "1"}), 512,
            kWhole);
        row("timeout alone", Rrq({"f", "octet", "timeout", "5"}), 0, kWhole);
        row("a name twice", Rrq({"f", "octet", "tsize", "0", "tsize", "0"}), 0, kWhole);
        row("a sign", Rrq({"f", "octet", "tsize", "0", "blksize", "+512"}), 512, kWhole);
    }

    void firstAnswer() {
        QFETCH(QByteArray, request);
        QFETCH(int, crc);
        Harness h;
        h.files.add(QStringLiteral("f"), QByteArray(100, 'f'));
        h.receive(RouterAt(2001), request);
        QTEST(h.edge.sent.value(0), "answer");
        QCOMPARE(h.edge.sent.size(), 1);
        QCOMPARE(h.hooks.events.value(0), QStringLiteral("request f %1").arg(crc));
    }

    // A client of "f" (83 bytes: ten blocks of 8 and one of 3) in windows of
    // 4: each step an ACK ("a5", "a0" starts the data), an ERROR ("e"), the
    // OACK asked for again ("r") or time passing ("t150"); the blocks sent.
    void windows_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<int>("completions");
        QTest::newRow("in order") << "a0 a4 a8 a11" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}
                                  << 1;
        QTest::newRow("OACK lost") << "r a0" << QList<int>{-6, 1, 2, 3, 4} << 0;
        QTest::newRow("restart after an earlier block")
            << "a0 a2" << QList<int>{1, 2, 3, 4, 3, 4, 5, 6} << 0;
        QTest::newRow("doubled ACK") << "a0 a0 a4 a4" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << 0;
        QTest::newRow("repeated after a time-out")
            << "a0 t150 a0" << QList<int>{1, 2, 3, 4, 1, 2, 3, 4} << 0;
        QTest::newRow("older than the window")
            << "a0 a4 a3" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << 0;
        QTest::newRow("last window kept")
            << "a0 a4 a8 a8 a9 a11 a11" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 10, 11}
            << 1;
        QTest::newRow("last window repeated after a time-out")
            << "a0 a4 a8 t150 a8" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 9, 10, 11} << 1;
        QTest::newRow("ERROR ends it") << "a0 e a4" << QList<int>{1, 2, 3, 4, 1} << 0;
        QTest::newRow("ERROR for the OACK") << "e a0" << QList<int>{1} << 0;
    }

    void windows() {
        QFETCH(QString, script);
        QFETCH(QList<int>, blocks);
        Harness h;
        h.files.addPattern(QStringLiteral("f"), 83);
        const Peer client = RouterAt(2002);
        const QByteArray request = Rrq({"f", "octet", "blksize", "8", "windowsize", "4"});
        h.receive(client, request);
        h.edge.sent.clear();
        for (const QString& step : script.split(' ')) {
            const int n = step.mid(1).toInt();
            if (step[0] == 'a')
                h.receive(client, AckDatagram(quint16(n)));
            else if (step[0] == 'e')
                h.receive(client, Raw({0, 5, 0, 8, 0}));
            else if (step[0] == 'r')
                h.receive(client, request);
            else
                h.edge.clockMs += std::uint64_t(n);
        }
        QList<int> sent;
        for (const QByteArray& d : std::as_const(h.edge.sent)) {
            const int block = d[1] == 6 ? -6 : WireBlock(d);
            sent << block;
            // An empty block 1 is the dialect's answer once the transfer is gone.
            if (block > 0 && d.size() > 4)
                QCOMPARE(d.mid(4), Pattern((block - 1) * 8, qMin(8, 83 - (block - 1) * 8)));
        }
        QCOMPARE(sent, blocks);
        QTEST(int(h.hooks.events.filter(QStringLiteral("complete f 1")).size()), "completions");
        QCOMPARE(h.hooks.events.filter(QStringLiteral("request")).size(), 1);
    }

    // Whole files: the bytes, one request with CRC 0, one completion, and
    // no empty block after the final acknowledgement (the log would say so).
    void realClients_data() {
        QTest::addColumn<QString>("client");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QStringList>("options");
        const QStringList window{"--blksize", "1468",      "--windowsize", "16",     "--timeout-ms",
                                 "150",       "--retries", "20",           "--seed", "7"};
        QTest::newRow("atftp blksize")
            << "atftp" << 1000000LL << QStringList{"--option", "blksize 1468"};
        QTest::newRow("atftp windowsize")
            << "atftp" << 1000000LL << QStringList{"--option", "windowsize 8"};
        QTest::newRow("curl blksize")
            << "curl" << 1000000LL << QStringList{"--tftp-blksize", "1468"};
        QTest::newRow("router, 5% lost")
            << "quorvane-router" << 300000LL << window + QStringList{"--loss", "0.05"};
        QTest::newRow("router, 10% doubled")
            << "quorvane-router" << 300000LL << window + QStringList{"--dup", "0.1"};
        QTest::newRow("router, last block lost")
            << "quorvane-router" << 293700LL << window + QStringList{"--lose-last"};
        // Block numbers wrap to 0 past 65,535 blocks of 8 bytes.
        QTest::newRow("router, wrap at blksize 8")
            << "quorvane-router" << 524291LL
            << QStringList{"--blksize", "8", "--windowsize", "64", "--timeout-ms", "500"};
    }

    void realClients() {
        QFETCH(QString, client);
        QFETCH(qint64, size);
        QFETCH(QStringList, options);
        const QString program =
            client == u"quorvane-router"
                ? qEnvironmentVariable("QUORVANE_BIN_DIR",
                                       QCoreApplication::applicationDirPath() + "/../bin") +
                      "/quorvane-router"
                : QStandardPaths::findExecutable(client);
        if (program.isEmpty() || !QFileInfo(program).isExecutable())
            QSKIP("client not installed");
        QTemporaryDir folder;
        QTemporaryDir work;
        StationLog log{work.path()};
        QStringList lines;
        connect(&log, &StationLog::lineLogged, this, [&](const QString& l) { lines << l; });
        ScriptedHooks hooks;
        TransferServer server{log, folder.path() + '/'};
        server.setHooks(&hooks);
        QFile file(folder.filePath(QStringLiteral("img")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Pattern(0, size)) == size);
        file.close();
        QVERIFY(server.start(0, false));
        const QString port = QString::number(server.port());
        const QString out = work.filePath(QStringLiteral("received"));
        const QMap<QString, QStringList> args{
            {"quorvane-router",
             QStringList{"--port", port, "--name", "img", "--quiet", "--out", out} + options},
            {"curl", options + QStringList{"-s", "-o", out,
                                           QStringLiteral("tftp://127.0.0.1:%1/img").arg(port)}},
            {"atftp", options + QStringList{"-g", "-r", "img", "-l", out, "127.0.0.1", port}}};
        const auto [code, report] = RunClient(program, args[client]);
        QFile received(out);
        QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == Pattern(0, size));
        QCOMPARE(code, 0);
        if (client == u"quorvane-router")
            QCOMPARE(report.value("blockSize").toInteger(), options[1].toLongLong());
        QTRY_COMPARE(hooks.events, (QStringList{"request img 0", "complete img 1"}));
        QTest::qWait(200); // a stray block would be logged by now
        QCOMPARE(lines.mid(3), (QStringList{QStringLiteral("正在下载文件") +
                                                folder.filePath(QStringLiteral("img")),
                                            kClosed}));
        QCOMPARE(server.openFileCount(), 0);
    }
};

QTEST_MAIN(TestNegotiation)
#include "tst_negotiation.moc"
