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
#include <QUdpSocket>

#include <memory>

using namespace quorvane;
using namespace quorvane::tftp;
using namespace quorvane::tftp::testing;

// Real TFTP clients and the router stand-in against the server on loopback.

namespace {

QString RouterProgram() {
    const QString fallback = QCoreApplication::applicationDirPath() + "/../bin";
    return qEnvironmentVariable("QUORVANE_BIN_DIR", fallback) + "/quorvane-router";
}

// A client as a child process, while the server serves on this event loop;
// its exit code (-1: it did not finish) and the stand-in's JSON report.
QPair<int, QJsonObject> RunClient(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    QSignalSpy finished(&process, &QProcess::finished);
    if (process.state() != QProcess::NotRunning && !finished.wait(120000))
        process.kill();
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, QJsonDocument::fromJson(process.readAllStandardOutput().trimmed()).object()};
}

// What each test starts from; members go in reverse, the server first.
struct Rig {
    QTemporaryDir program;
    QTemporaryDir work;
    StationLog log{work.path()};
    ScriptedHooks hooks;
    TransferServer server{log, program.path() + '/'};
    QStringList lines;
};

} // namespace

class TestTransferServer : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void cleanup() { m_rig.reset(); }
    void init() {
        m_rig = std::make_unique<Rig>();
        connect(&m_rig->log, &StationLog::lineLogged, this,
                [this](const QString& l) { m_rig->lines << l; });
        m_rig->server.setHooks(&m_rig->hooks);
    }

    // Start and stop cycles are in tst_startstop, the start lines in the
    // headless e2e test. A completion that ends the service keeps the port
    // held until Stop and Start.
    void bindFailsAndEndKeepsThePort() {
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0));
        QVERIFY(!m_rig->server.start(other.localPort(), false));
        QCOMPARE(m_rig->lines, QStringList{QStringLiteral("服务器启动失败")});
        other.close();
        writeProgramFile(QStringLiteral("f"), QByteArray(5000, 'f'));
        m_rig->hooks.serveAll();
        m_rig->hooks.onComplete = [] { return CompletionResult::EndService; };
        QVERIFY(m_rig->server.start(0, false));
        const QString port = QString::number(m_rig->server.port());
        QCOMPARE(RunClient(RouterProgram(), {"--port", port, "--name", "f", "--quiet"}).first, 0);
        QVERIFY(m_rig->server.hasEnded() && m_rig->server.isRunning());
        QVERIFY(m_rig->server.start(m_rig->server.port(), false));
        QVERIFY(!m_rig->server.hasEnded());
    }

    // Whole files as each client fetches them: the bytes, the workflow's two
    // points, the log, and the empty block that answers the final acknowledgement.
    void realClients_data() {
        QTest::addColumn<QString>("client");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QStringList>("lossy");              // the stand-in's faults
        const qint64 chunk = TransferHandler::ReadAheadSize; // read ahead in chunks
        for (const char* client : {"quorvane-router", "tftp", "curl", "atftp"}) {
            for (const qint64 size : {0LL, 511LL, 512LL, 513LL, chunk, chunk + 1, 1LL << 20})
                QTest::addRow("%s %lld", client, size) << client << size << QStringList();
        }
        // Past 65,535 blocks: block numbers wrap to 0 on the wire.
        QTest::newRow("curl 33554433") << "curl" << 33554433LL << QStringList();
        QTest::newRow("10% lost, 10% doubled")
            << "quorvane-router" << 100000LL
            << QStringList{"--loss", "0.1", "--dup", "0.1", "--seed", "1", "--timeout-ms", "30"};
    }

    void realClients() {
        QFETCH(QString, client);
        QFETCH(qint64, size);
        QFETCH(QStringList, lossy);
        const QString program =
            client == u"quorvane-router" ? RouterProgram() : QStandardPaths::findExecutable(client);
        if (program.isEmpty() || !QFileInfo(program).isExecutable())
            QSKIP("client not installed");
        const QString name = QStringLiteral("file%1").arg(size);
        writeProgramFile(name.toUpper(), Pattern(0, size)); // the routers ask for "mac"
        m_rig->hooks.serveAll();
        QVERIFY(m_rig->server.start(0, false));
        const QString port = QString::number(m_rig->server.port());
        const QString out = m_rig->work.filePath(QStringLiteral("received"));
        const QString url = QStringLiteral("tftp://127.0.0.1:%1/%2").arg(port, name);
        const QMap<QString, QStringList> args{
            {"quorvane-router", QStringList{"--port", port, "--name", name, "--quiet", "--retries",
                                            "10", "--out", out} +
                                    lossy},
            {"tftp", {"127.0.0.1", port, "-m", "binary", "-c", "get", name, out}},
            {"curl", {"-s", "--tftp-no-options", "-o", out, url}},
            {"atftp", {"-g", "-r", name, "-l", out, "127.0.0.1", port}}};
        const auto [code, report] = RunClient(program, args[client]);
        // tftp-hpa exits 0 even when it failed: the bytes decide.
        QFile received(out);
        QVERIFY(received.open(QIODevice::ReadOnly) && received.readAll() == Pattern(0, size));
        QCOMPARE(code, 0);
        QVERIFY(lossy.isEmpty() || report.value("retransmissions").toInteger() > 0);
        if (!lossy.isEmpty())
            return;
        QStringList log{QStringLiteral("正在下载文件") + programFile(name), kNotClosed};
        if (size >= 512)
            log.insert(1, kClosed);
        QTRY_COMPARE(m_rig->lines.mid(3), log);
        QCOMPARE(m_rig->hooks.events,
                 (QStringList{"request " + name + " 0",
                              QStringLiteral("complete %1 %2")
                                  .arg(name)
                                  .arg(size >= 512)})); // 1: by an acknowledgement
        QCOMPARE(m_rig->server.openFileCount(), 0);
    }

    // Paused twice, the server reads nothing until the second resume, then each
    // datagram in order; a hook's own event loop (a dialog) reads none either.
    void oneDatagramAtATime() {
        QVERIFY(m_rig->server.start(0, false));
        int depth = 0;
        int deepest = 0;
        m_rig->hooks.onRequest = [&](const ReadRequest&) {
            deepest = std::max(deepest, ++depth);
            QTest::qWait(100);
            --depth;
            return RequestVerdict::Drop;
        };
        m_rig->server.pause();
        m_rig->server.pause();
        QUdpSocket router;
        for (const QByteArray& datagram :
             {ReadRequestDatagram("one", 1), DoneDatagram("two"), ReadRequestDatagram("three", 3)})
            router.writeDatagram(datagram, QHostAddress::LocalHost, m_rig->server.port());
        QTest::qWait(100);
        m_rig->server.resume();
        QTest::qWait(100);
        QVERIFY(m_rig->hooks.events.isEmpty());
        m_rig->server.resume();
        QTRY_COMPARE(m_rig->hooks.events,
                     (QStringList{"request one 1", "done two", "request three 3"}));
        QCOMPARE(deepest, 1);
        m_rig->server.resume(); // one too many changes nothing
        QVERIFY(!m_rig->server.isPaused());
    }

private:
    QString programFile(const QString& name) const { return m_rig->program.filePath(name); }
    void writeProgramFile(const QString& name, const QByteArray& bytes) {
        QFile file(programFile(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    std::unique_ptr<Rig> m_rig;
};

QTEST_MAIN(TestTransferServer)
#include "tst_transferserver.moc"
