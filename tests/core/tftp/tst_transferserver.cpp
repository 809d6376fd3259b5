#include "core/log/StationLog.h"
#include "core/tftp/FolderFileStore.h"
#include "core/tftp/PacketCodec.h"
#include "core/tftp/TransferServer.h"
#include "tests/core/tftp/ClientRunner.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>

using namespace quorvane;
using namespace quorvane::tftp;
using namespace quorvane::tftp::testing;

namespace {

const QHostAddress kLoopback(QHostAddress::LocalHost);

class Hooks final : public TransferHooks {
public:
    RequestVerdict OnRequest(const ReadRequest& request) override {
        events.append(QStringLiteral("request %1 %2").arg(request.name).arg(request.crc));
        return onRequest ? onRequest(request) : RequestVerdict::Serve;
    }
    CompletionResult OnTransferComplete(const ReadRequest& request, CompletionVariant) override {
        events.append(QStringLiteral("complete %1").arg(request.name));
        return endService ? CompletionResult::EndService : CompletionResult::Continue;
    }
    void OnDone(const Peer&, const QString& macText) override {
        events.append(QStringLiteral("done %1").arg(macText));
    }
    std::function<RequestVerdict(const ReadRequest&)> onRequest;
    bool endService = false;
    QStringList events;
};

// A device package holding only the MAC section of 5e3a71123458.
QByteArray SmallDevicePackage() {
    return QByteArray::fromHex("05000000BC1CD9B301000000"
                               "01000000000000000000000012000000"
                               "5E3A711234585E3A711234555E3A71123457");
}

QByteArray RandomBytes(qint64 size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray out(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        out[i] = static_cast<char>(random.generate() & 0xFF);
    return out;
}

} // namespace

class TestTransferServer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void startLogsAndBinds();
    void bindFailure();
    void stopClosesAndStartBindsAgain();
    void realClients_data();
    void realClients();
    void twoRoutersAtOnce();
    void lossAndDuplication_data();
    void lossAndDuplication();
    void macHandOver_data();
    void macHandOver();
    void pausedServerQueuesInOrder();
    void nestedEventLoopDoesNotReenter();
    void stopFromInsideAHook();
    void endedServiceKeepsItsPort();
    void floodOfAbandonedRequests();
    void folderMatchesIgnoringCase_data();
    void folderMatchesIgnoringCase();

private:
    QString programFile(const QString& name) const { return m_program->filePath(name); }
    void writeProgramFile(const QString& name, const QByteArray& bytes);
    bool startServer(bool updateMac = false);
    QStringList routerArgs(const QString& name, const QStringList& more = {}) const;

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<StationLog> m_log;
    std::unique_ptr<TransferServer> m_server;
    Hooks m_hooks;
    QStringList m_lines;
};

void TestTransferServer::init() {
    m_program = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_program->isValid() && m_work->isValid());
    m_log = std::make_unique<StationLog>(m_work->path());
    m_lines.clear();
    connect(m_log.get(), &StationLog::lineLogged, this, [this](const QString& l) { m_lines << l; });
    m_hooks = {};
    m_server = std::make_unique<TransferServer>(*m_log, m_program->path() + QLatin1Char('/'));
    m_server->setHooks(&m_hooks);
}

void TestTransferServer::cleanup() {
    m_server.reset();
    m_log.reset();
    m_program.reset();
    m_work.reset();
}

void TestTransferServer::writeProgramFile(const QString& name, const QByteArray& bytes) {
    QFile file(programFile(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

bool TestTransferServer::startServer(bool updateMac) {
    return m_server->start(0, updateMac) && m_server->port() != 0;
}

QStringList TestTransferServer::routerArgs(const QString& name, const QStringList& more) const {
    return QStringList{QStringLiteral("--port"), QString::number(m_server->port()),
                       QStringLiteral("--name"), name, QStringLiteral("--quiet")} +
           more;
}

void TestTransferServer::startLogsAndBinds() {
    QVERIFY(startServer(true));
    QVERIFY(m_server->isRunning());
    QVERIFY(!m_server->hasEnded());
    QCOMPARE(m_lines,
             (QStringList{QStringLiteral("m_bUpdateMAC = 1"),
                          QStringLiteral("服务器已启动,,本地网络IP地址请设置为192.168.1.55"),
                          QString()}));
}

void TestTransferServer::bindFailure() {
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
    QVERIFY(!m_server->start(holder.localPort(), false));
    QVERIFY(!m_server->isRunning());
    QCOMPARE(m_lines, QStringList{QStringLiteral("服务器启动失败")});
}

void TestTransferServer::stopClosesAndStartBindsAgain() {
    writeProgramFile(QStringLiteral("f"), QByteArray(5000, 'f'));
    QVERIFY(startServer());
    const quint16 port = m_server->port();
    QUdpSocket router;
    QVERIFY(router.bind(kLoopback, 0));
    router.writeDatagram(ReadRequestDatagram("f", 0), kLoopback, port);
    QTRY_VERIFY(router.hasPendingDatagrams());
    QCOMPARE(m_server->openFileCount(), 1);

    m_server->stop(); // in the middle of the transfer
    QVERIFY(!m_server->isRunning());
    QCOMPARE(m_server->openFileCount(), 0);

    QVERIFY(m_server->start(port, false));
    QCOMPARE(m_server->port(), port);
    Client client(RouterProgram(), routerArgs(QStringLiteral("f")));
    const ClientRun run = client.Wait();
    QCOMPARE(run.exitCode, 0);
}

void TestTransferServer::realClients_data() {
    QTest::addColumn<QString>("client");
    QTest::addColumn<qint64>("size");
    for (const char* client : {"quorvane-router", "tftp", "curl", "atftp"}) {
        for (const qint64 size : {0, 511, 512, 513, 1024, 1 << 20})
            QTest::addRow("%s %lld", client, size) << QString::fromLatin1(client) << size;
    }
    // Past 65,535 blocks: block numbers wrap to 0 on the wire.
    QTest::newRow("quorvane-router 33554433") << QStringLiteral("quorvane-router") << 33554433LL;
    QTest::newRow("curl 33554433") << QStringLiteral("curl") << 33554433LL;
}

void TestTransferServer::realClients() {
    QFETCH(QString, client);
    QFETCH(qint64, size);
    const QString program =
        client == u"quorvane-router" ? RouterProgram() : QStandardPaths::findExecutable(client);
    if (program.isEmpty() || !QFileInfo(program).isExecutable())
        QSKIP("client not installed");
    const QString name = QStringLiteral("file%1").arg(size);
    writeProgramFile(name, RandomBytes(size, quint32(size)));
    QVERIFY(startServer());
    const QString port = QString::number(m_server->port());
    const QString out = m_work->filePath(QStringLiteral("received"));

    QStringList args;
    if (client == u"quorvane-router")
        args = routerArgs(name, {QStringLiteral("--out"), out});
    else if (client == u"tftp")
        args =
            QStringList{QStringLiteral("127.0.0.1"), port, "-m", "binary", "-c", "get", name, out};
    else if (client == u"curl")
        args = QStringList{"-s", "--tftp-no-options", "-o", out,
                           QStringLiteral("tftp://127.0.0.1:%1/%2").arg(port, name)};
    else
        args = QStringList{"-g", "-r", name, "-l", out, QStringLiteral("127.0.0.1"), port};
    Client process(program, args);
    const ClientRun run = process.Wait();
    QVERIFY2(run.finished, run.err.constData());
    // tftp-hpa exits 0 even when it failed: the bytes decide.
    QCOMPARE(QFileInfo(out).size(), size);
    QCOMPARE(FileSha256(out), FileSha256(programFile(name)));
    if (client == u"quorvane-router") {
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().value("sha256").toString().toLatin1(), FileSha256(out));
        QCOMPARE(run.json().value("blocks").toInteger(), size / 512 + 1);
    }
    QCOMPARE(m_hooks.events.first(), QStringLiteral("request %1 0").arg(name));
    QCOMPARE(m_hooks.events.count(QStringLiteral("complete %1").arg(name)), 1);
    QCOMPARE(m_server->openFileCount(), 0);
}

void TestTransferServer::twoRoutersAtOnce() {
    writeProgramFile(QStringLiteral("a"), RandomBytes(700000, 1));
    writeProgramFile(QStringLiteral("b"), RandomBytes(900001, 2));
    QVERIFY(startServer());
    Client first(RouterProgram(), routerArgs(QStringLiteral("a")));
    Client second(RouterProgram(), routerArgs(QStringLiteral("b")));
    const ClientRun runA = first.Wait();
    const ClientRun runB = second.Wait();
    QCOMPARE(runA.exitCode, 0);
    QCOMPARE(runB.exitCode, 0);
    QCOMPARE(runA.json().value("sha256").toString().toLatin1(), FileSha256(programFile("a")));
    QCOMPARE(runB.json().value("sha256").toString().toLatin1(), FileSha256(programFile("b")));
}

void TestTransferServer::lossAndDuplication_data() {
    QTest::addColumn<int>("seed");
    QTest::newRow("seed 1") << 1;
    QTest::newRow("seed 2") << 2;
    QTest::newRow("seed 3") << 3;
}

void TestTransferServer::lossAndDuplication() {
    QFETCH(int, seed);
    writeProgramFile(QStringLiteral("f"), RandomBytes(100000, 7));
    QVERIFY(startServer());
    Client router(RouterProgram(),
                  routerArgs(QStringLiteral("f"),
                             {"--loss", "0.1", "--dup", "0.1", "--seed", QString::number(seed),
                              "--timeout-ms", "30", "--retries", "10"}));
    const ClientRun run = router.Wait();
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.json().value("sha256").toString().toLatin1(), FileSha256(programFile("f")));
    QVERIFY(run.json().value("retransmissions").toInteger() > 0);
}

void TestTransferServer::macHandOver_data() {
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<int>("cancels"); // scans the operator cancels first
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("check");
    QTest::newRow("scanned at once") << SmallDevicePackage() << 0 << 0 << "ok";
    QTest::newRow("cancelled once") << SmallDevicePackage() << 1 << 0 << "ok";
    QByteArray broken = SmallDevicePackage();
    broken[20] = 'x';
    QTest::newRow("corrupt package") << broken << 0 << 1 << "";
}

void TestTransferServer::macHandOver() {
    QFETCH(QByteArray, package);
    QFETCH(int, cancels);
    QFETCH(int, exitCode);
    QFETCH(QString, check);
    const QString label = QStringLiteral("5e3a71123458");
    writeProgramFile(label, package);
    int toCancel = cancels;
    m_hooks.onRequest = [&](const ReadRequest& request) {
        if (request.name == label)
            return RequestVerdict::Serve;
        // A new device: ask the operator, who answers on a later turn of the
        // event loop.
        m_server->send(request.peer, MacWaitDatagram());
        m_server->pause();
        QTimer::singleShot(0, m_server.get(), [&, peer = request.peer] {
            m_server->send(peer, MacSetDatagram(toCancel-- > 0 ? QByteArray() : label.toLatin1()));
            m_server->resume();
        });
        return RequestVerdict::Answered;
    };
    QVERIFY(startServer(true));
    Client router(RouterProgram(),
                  routerArgs(QStringLiteral("boot"), {"--crc", "-1234", "--done"}));
    const ClientRun run = router.Wait();
    QCOMPARE(run.exitCode, exitCode);
    const QJsonObject json = run.json();
    QCOMPARE(json.value("mac").toString(), label);
    QCOMPARE(json.value("served").toVariant().toStringList(), QStringList{label});
    QCOMPARE(json.value("restarts").toInteger(), cancels);
    if (!check.isEmpty())
        QCOMPARE(json.value("check").toString(), check);
    else
        QVERIFY(json.value("check").toString() != u"ok");

    QStringList expected;
    for (int i = 0; i <= cancels; ++i)
        expected << QStringLiteral("request boot -1234");
    expected << QStringLiteral("request %1 -1234").arg(label)
             << QStringLiteral("complete %1").arg(label);
    if (exitCode == 0)
        expected << QStringLiteral("done %1").arg(label);
    QTRY_COMPARE(m_hooks.events, expected);
}

void TestTransferServer::pausedServerQueuesInOrder() {
    QVERIFY(startServer());
    m_hooks.onRequest = [](const ReadRequest&) { return RequestVerdict::Drop; };
    QUdpSocket router;
    QVERIFY(router.bind(kLoopback, 0));
    m_server->pause();
    m_server->pause();
    router.writeDatagram(ReadRequestDatagram("one", 1), kLoopback, m_server->port());
    router.writeDatagram(DoneDatagram("two"), kLoopback, m_server->port());
    router.writeDatagram(ReadRequestDatagram("three", 3), kLoopback, m_server->port());
    QTest::qWait(100);
    m_server->resume();
    QTest::qWait(100);
    QVERIFY(m_hooks.events.isEmpty()); // still paused once
    m_server->resume();
    QTRY_COMPARE(m_hooks.events, (QStringList{"request one 1", "done two", "request three 3"}));
    m_server->resume(); // one too many changes nothing
    QVERIFY(!m_server->isPaused());
}

void TestTransferServer::nestedEventLoopDoesNotReenter() {
    QVERIFY(startServer());
    int depth = 0;
    int deepest = 0;
    m_hooks.onRequest = [&](const ReadRequest&) {
        deepest = std::max(deepest, ++depth);
        QTest::qWait(100); // a dialog's event loop, without pausing
        --depth;
        return RequestVerdict::Drop;
    };
    QUdpSocket router;
    QVERIFY(router.bind(kLoopback, 0));
    router.writeDatagram(ReadRequestDatagram("one", 1), kLoopback, m_server->port());
    router.writeDatagram(ReadRequestDatagram("two", 2), kLoopback, m_server->port());
    QTRY_COMPARE(m_hooks.events, (QStringList{"request one 1", "request two 2"}));
    QCOMPARE(deepest, 1);
}

void TestTransferServer::stopFromInsideAHook() {
    writeProgramFile(QStringLiteral("f"), QByteArray(100, 'f'));
    QVERIFY(startServer());
    m_hooks.onRequest = [&](const ReadRequest&) {
        m_server->stop(); // Stop pressed while the operator was being asked
        return RequestVerdict::Serve;
    };
    QUdpSocket router;
    QVERIFY(router.bind(kLoopback, 0));
    router.writeDatagram(ReadRequestDatagram("f", 0), kLoopback, m_server->port());
    QTRY_COMPARE(m_hooks.events.size(), 1);
    QVERIFY(!m_server->isRunning());
    QTest::qWait(50);
    QVERIFY(!router.hasPendingDatagrams());
    QVERIFY(!m_lines.contains(QStringLiteral("正在下载文件") + programFile("f")));
}

void TestTransferServer::endedServiceKeepsItsPort() {
    writeProgramFile(QStringLiteral("f"), QByteArray(2000, 'f'));
    m_hooks.endService = true;
    QVERIFY(startServer());
    Client first(RouterProgram(), routerArgs(QStringLiteral("f")));
    QCOMPARE(first.Wait().exitCode, 0); // the last block went out before the end
    QVERIFY(m_server->hasEnded());
    QVERIFY(m_server->isRunning());

    Client second(RouterProgram(),
                  routerArgs(QStringLiteral("f"), {"--timeout-ms", "50", "--retries", "2"}));
    QCOMPARE(second.Wait().exitCode, 1);
    QCOMPARE(m_hooks.events.count(QStringLiteral("request f 0")), 1);

    QVERIFY(m_server->start(m_server->port(), false)); // Stop and Start
    QVERIFY(!m_server->hasEnded());
}

void TestTransferServer::floodOfAbandonedRequests() {
    writeProgramFile(QStringLiteral("f"), QByteArray(4096, 'f'));
    QVERIFY(startServer());
    QSignalSpy blocks(m_server.get(), &TransferServer::blockSent);
    std::vector<std::unique_ptr<QUdpSocket>> routers;
    for (int i = 0; i < 200; ++i) {
        auto socket = std::make_unique<QUdpSocket>();
        QVERIFY(socket->bind(kLoopback, 0));
        socket->writeDatagram(ReadRequestDatagram("f", 0), kLoopback, m_server->port());
        routers.push_back(std::move(socket));
    }
    QTRY_COMPARE(blocks.size(), 200);
    QVERIFY(m_server->openFileCount() <= 64);
    routers.clear();

    Client router(RouterProgram(), routerArgs(QStringLiteral("f")));
    QCOMPARE(router.Wait().exitCode, 0);
    QVERIFY(m_server->openFileCount() <= 64);
}

void TestTransferServer::folderMatchesIgnoringCase_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("found");
    QTest::newRow("MAC asked as mac") << QStringList{"MAC"} << "mac"
                                      << "MAC";
    QTest::newRow("exact match wins") << QStringList{"MAC", "Mac", "mac"} << "Mac"
                                      << "Mac";
    QTest::newRow("first in order") << QStringList{"Mac", "MAC"} << "mac"
                                    << "MAC";
    QTest::newRow("label text") << QStringList{"5E3A71ABCD58"} << "5e3a71abcd58"
                                << "5E3A71ABCD58";
    QTest::newRow("no match") << QStringList{"MAC"} << "mac2"
                              << "";
    QTest::newRow("folder is not a file") << QStringList{"dir/"} << "dir"
                                          << "";
}

void TestTransferServer::folderMatchesIgnoringCase() {
    QFETCH(QStringList, files);
    QFETCH(QString, asked);
    QFETCH(QString, found);
    for (const QString& f : files) {
        if (f.endsWith(u'/'))
            QVERIFY(QDir(m_program->path()).mkdir(f.chopped(1)));
        else
            writeProgramFile(f, f.toLatin1());
    }
    FolderFileStore store(m_program->path());
    const QString resolved = store.resolve(asked);
    QCOMPARE(QFileInfo(resolved).fileName(), found);
    const OpenResult opened = store.open(asked);
    QCOMPARE(opened.file != nullptr, !found.isEmpty());
    if (opened.file) {
        char buffer[16] = {};
        QCOMPARE(opened.file->readAt(0, buffer, sizeof buffer), qint64(found.size()));
        QCOMPARE(QByteArray(buffer), found.toLatin1());
    }
}

QTEST_MAIN(TestTransferServer)
#include "tst_transferserver.moc"
