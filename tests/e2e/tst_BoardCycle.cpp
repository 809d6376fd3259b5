#include "E2eRig.h"

#include "core/personalise/Crc32.h"
#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageInspect.h"
#include "core/settings/SettingsRecord.h"

#include "core/tftp/PacketCodec.h"

#include <QTest>
#include <QUdpSocket>

using namespace quorvane;
using namespace quorvane::e2e;

namespace {

const QString kLabel = QStringLiteral("5e3a71000128");
const QString kWaiting = QStringLiteral("请连接新设备...");
const QString kAgain = QStringLiteral("等待再次传输....");
const QString kWriting = QStringLiteral("下载完成,正在写入....");
const QString kWritten = QStringLiteral("设备写入完成，可以移除");

// Every expected line appears, in this order, among the log's lines.
bool HasInOrder(const QStringList& lines, const QStringList& expected, QString* missing) {
    qsizetype at = 0;
    for (const QString& line : expected) {
        at = lines.indexOf(line, at);
        if (at < 0) {
            *missing = line;
            return false;
        }
        ++at;
    }
    return true;
}

#define VERIFY_LOG(rig, ...)                                                                       \
    do {                                                                                           \
        QString missing;                                                                           \
        QVERIFY2(HasInOrder((rig).logLines(), QStringList{__VA_ARGS__}, &missing),                 \
                 qPrintable("missing or out of order: " + missing));                               \
    } while (false)

RouterResult RunRouter(E2eRig& rig, const QStringList& args, const QString& out = "board.bin") {
    std::unique_ptr<QProcess> process = rig.launchRouter(args, out);
    E2eRig::waitForExit(*process);
    return rig.finish(*process, out);
}

QByteArray ExpectedDevicePackage(const E2eRig& rig, const QString& label, std::uint8_t flags) {
    QTemporaryDir other;
    DevicePackageRequest request;
    request.programDir = other.path() + '/';
    request.scanText = label;
    request.flags = flags;
    request.sources.bootLoaderPath = rig.path("uboot.bin");
    request.sources.rootPath = rig.path("root.bin");
    request.sources.configPath = rig.path("factory.cfg");
    request.model = 5;
    const DevicePackageResult result = BuildDevicePackage(request);
    QFile file(result.outputPath);
    return result.ok() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Crc(const E2eRig& rig) {
    return QString::number(std::int32_t(*BootLoaderChecksum(rig.path("uboot.bin"))));
}

} // namespace

class BoardCycleTest : public QObject {
    Q_OBJECT
private slots:
    // MACWAIT, the scan, MACSET with the label, the package, CRC match, DONE.
    void boardWithWriteMac() {
        E2eRig rig;
        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(true, true, true, true));

        const RouterResult router =
            RunRouter(rig, {"--bootloader", rig.path("uboot.bin"), "--done"});

        QVERIFY2(router.ok(), router.json.value("error").toString().toUtf8());
        QCOMPARE(router.json.value("mac").toString(), kLabel);
        QCOMPARE(rig.op.asks.size(), 1);
        const QByteArray expected = ExpectedDevicePackage(rig, kLabel, 0x0F);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(router.received, expected);
        QVERIFY(InspectPackage(router.received).ok());

        DeviceRows& rows = rig.station->rows();
        QTRY_COMPARE(rows.text(0, DeviceRows::StatusColumn), kWritten);
        QCOMPARE(rows.text(0, DeviceRows::MacColumn), kLabel);
        QCOMPARE(rows.text(1, DeviceRows::MacColumn), kWaiting);
        QCOMPARE(rig.op.sounds, (QList<int>{135, 136}));

        const QString crc = Crc(rig);
        VERIFY_LOG(
            rig, "m_bUpdateMAC = 1", "Uboot crc: " + crc,
            "Recieve a download require[g_nexttime = 0] [g_processing = 0]",
            "Check MAC 1 nexttime 0",
            "第1台*******************************" + kLabel + "*********************************",
            "Uboot crc: " + crc, "Recieve a download require[g_nexttime = 1] [g_processing = 1]",
            "Check MAC 1 nexttime 1", "正在下载文件" + rig.path(kLabel), "4下载完成，关闭文件",
            "4下载完成，不关闭文件");

        // The production record's row of this board, as stored.
        const QList<record::BoardAttempt> stored = rig.storedRows();
        QCOMPARE(stored.size(), 1);
        const record::BoardAttempt& row = stored.first();
        QCOMPARE(record::OutcomeText(row.outcome), QStringLiteral("written-done"));
        QCOMPARE(row.label, kLabel.toUpper());
        QCOMPARE(row.baseMac + row.modelMac + row.wanMac,
                 QStringLiteral("5E3A710001285E3A710001255E3A71000127"));
        QCOMPARE(row.routerAddress, QStringLiteral("127.0.0.1"));
        QCOMPARE(row.modelName, QStringLiteral("Dogwood(Spruce)"));
        QCOMPARE(row.selection, 0x0F);
        QCOMPARE(row.bootLoader.name + ' ' + QString::number(row.bootLoader.size),
                 QStringLiteral("uboot.bin 70000"));
        QCOMPARE(row.bootLoader.crc, Crc32(rig.readFile("uboot.bin")));
        QCOMPARE(row.rootImage.size, 200000);
        QVERIFY(row.claimedAt <= row.scannedAt && row.scannedAt <= row.builtAt &&
                row.builtAt <= row.transferredAt && row.transferredAt <= row.finishedAt);

        const QByteArray record = rig.readFile("sysfile");
        QCOMPARE(record.size(), SettingsRecord::kSize);
        QCOMPARE(record.at(0), '\x0F');
        QCOMPARE(record.mid(1, 18).toHex(), QByteArray("5e3a710001285e3a710001255e3a71000127"));
        QCOMPARE(record.mid(19, 256).left(rig.path("uboot.bin").size()),
                 QFile::encodeName(rig.path("uboot.bin")));
        QCOMPARE(record.at(787), '\0');
    }

    // The router asks for its own label; no scan.
    void boardWithoutWriteMac() {
        E2eRig rig;
        QVERIFY(rig.start(false, false, false, true));
        const QString name = QStringLiteral("5E3A710000A8");
        const RouterResult router = RunRouter(rig, {"--name", name, "--crc", "77"});
        QVERIFY(router.ok());
        QVERIFY(rig.op.asks.isEmpty());
        QCOMPARE(router.received, ExpectedDevicePackage(rig, name, 0x08));
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kWriting);
        VERIFY_LOG(rig, "Check MAC 0 nexttime 0", "正在下载文件" + rig.path(name));
    }

    // A mismatching boot loader CRC sends the board round again, at once.
    void crcMismatchServesTheNextRequestAtOnce() {
        E2eRig rig;
        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(true, true, false, false));
        RouterResult router = RunRouter(rig, {"--crc", "12345"});
        QVERIFY(router.ok());
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kAgain);
        QCOMPARE(rig.storedOutcomes(), QStringList{"fetched-again"});
        QCOMPARE(rig.station->state().g_nexttime, 1);
        QCOMPARE(rig.station->rows().rowCount(), 1);

        router = RunRouter(rig, {"--name", kLabel, "--bootloader", rig.path("uboot.bin")});
        QVERIFY(router.ok());
        QCOMPARE(rig.op.asks.size(), 1);
        QCOMPARE(router.json.value("served").toArray().size(), 1);
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kWriting);
        VERIFY_LOG(rig, "Recieve a download require[g_nexttime = 1] [g_processing = 0]",
                   "Check MAC 1 nexttime 1");
        // No DONE: the row's timer finishes the board.
        for (int tick = 0; tick <= 50; ++tick)
            rig.station->rows().OnTimer(0);
        QCOMPARE(rig.storedOutcomes(), QStringList{"written-timer"});
        QCOMPARE(rig.storedRows().first().refetches, 1);
    }

    void packageRequestWhileBoardInHand() {
        E2eRig rig;
        QVERIFY(rig.start(true, true, true, true));
        rig.station->state().g_processing = 1;
        rig.station->state().m_strMac = QStringLiteral("00012");
        const RouterResult router = RunRouter(rig, {"--name", "mac"});
        QVERIFY2(router.ok(), router.json.value("error").toString().toUtf8());
        QCOMPARE(router.received, rig.readFile("MAC"));

        QTemporaryDir other;
        MacPackageRequest request;
        request.programDir = other.path() + '/';
        request.macField = QStringLiteral("00012");
        request.flags = 0x0F;
        request.sources = {rig.path("uboot.bin"), rig.path("factory.cfg"), rig.path("root.bin")};
        request.model = 5;
        QVERIFY(BuildMacPackage(request).ok());
        QFile expected(request.programDir + "MAC");
        QVERIFY(expected.open(QIODevice::ReadOnly));
        QCOMPARE(router.received, expected.readAll());

        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kAgain);
        QCOMPARE(rig.op.sounds, QList<int>{135});
        const QStringList lines = rig.logLines();
        QVERIFY(lines.contains("Uboot crc: 0"));
        QVERIFY(!lines.join('\n').contains("Recieve a download require"));
        QVERIFY(lines.join('\n').contains("路由器00012耗时0分"));
    }

    // Regression: any board could fetch the record (every board's MACs) and its
    // settings (a password) by name.
    void recordFilesAreNotServed() {
        E2eRig rig;
        rig.writeFile("record.ini", "line=postgresql://station:pw@db/line\n");
        QVERIFY(rig.start(false, false, false, true));
        for (const char* name : {"PRODUCTION.DB", "record.ini"}) {
            const RouterResult router = RunRouter(
                rig, {"--name", name, "--crc", "0", "--timeout-ms", "100", "--retries", "0"});
            QVERIFY2(!router.ok(), name);
        }
        QCOMPARE(rig.logLines().count("文件打开失败!"), 2);
    }

    void newBoardTurnedAwayWhileAnotherInHand() {
        E2eRig rig;
        QVERIFY(rig.start(true, false, false, true));
        rig.station->state().g_processing = 1;
        const RouterResult router = RunRouter(
            rig, {"--name", "5E3A710000B8", "--crc", "5", "--timeout-ms", "100", "--retries", "2"});
        QVERIFY(!router.ok());
        QVERIFY(rig.op.asks.isEmpty());
        VERIFY_LOG(rig, "Recieve a download require[g_nexttime = 0] [g_processing = 1]",
                   "Transmiting...wait a while 5E3A710000B8");
        QVERIFY(!QFile::exists(rig.path("5E3A710000B8")));
    }

    void scanCancelledThenScanned() {
        E2eRig rig;
        rig.op.answers.push_back(std::nullopt);
        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(true, false, false, true));
        const RouterResult router = RunRouter(rig, {"--crc", "9"});
        QVERIFY2(router.ok(), router.json.value("error").toString().toUtf8());
        QCOMPARE(rig.op.asks.size(), 2);
        QVERIFY(router.json.value("restarts").toInt() >= 1);
        QCOMPARE(router.json.value("mac").toString(), kLabel);
        QCOMPARE(router.received, ExpectedDevicePackage(rig, kLabel, 0x09));
        QCOMPARE(rig.storedOutcomes(), (QStringList{"scan-cancelled", "in-progress"}));
    }

    // The image goes missing between the build and the completion: the
    // operator is told and the service answers no one until restarted.
    void bootLoaderRemovedBeforeCompletion() {
        E2eRig rig;
        const QString crc = Crc(rig);
        rig.op.answers.push_back(kLabel);
        rig.op.afterAnswer = [&rig] { QFile::remove(rig.path("uboot.bin")); };
        QVERIFY(rig.start(true, true, false, false));
        RouterResult router = RunRouter(rig, {"--crc", crc});
        QCOMPARE(router.received, rig.readFile(kLabel));
        QTRY_COMPARE(rig.op.messages, QStringList{rig.path("uboot.bin") + "不存在"});
        QCOMPARE(rig.station->rows().rowCount(), 1);

        router = RunRouter(
            rig, {"--name", "other", "--crc", "3", "--timeout-ms", "100", "--retries", "2"});
        QVERIFY(!router.ok());
        QVERIFY(rig.station->isServerListening());
        QVERIFY(rig.station->isServiceChecked());
        rig.station->StopService(rig.station->ControlsFromState());
        QCOMPARE(rig.logLines().last(), QStringLiteral("强制关闭服务"));
    }

    // The board handed over falls silent (it gave up, or MACSET was lost):
    // once it has been silent long enough, the next board's request that
    // finds no file ends the hand-over, and its repeat counts as new.
    void boardThatNeverReturnsDoesNotStallTheLine_data() {
        QTest::addColumn<bool>("writeMac");
        QTest::addColumn<QString>("firstName"); // the abandoning board's request
        QTest::addColumn<QString>("nextName");
        QTest::newRow("write-MAC on, MACSET lost") << true << "boot"
                                                   << "boot";
        QTest::newRow("write-MAC off, gave up after block 1") << false << "5E3A710000A8"
                                                              << "5E3A710000B8";
    }
    void boardThatNeverReturnsDoesNotStallTheLine() {
        QFETCH(bool, writeMac);
        QFETCH(QString, firstName);
        QFETCH(QString, nextName);
        const QString nextLabel = writeMac ? QStringLiteral("5e3a710000c8") : nextName;
        E2eRig rig;
        rig.op.answers = {kLabel, nextLabel};
        QVERIFY(rig.start(writeMac, false, false, true));

        QUdpSocket abandoning;
        QVERIFY(abandoning.bind(QHostAddress::LocalHost, 0));
        abandoning.writeDatagram(tftp::ReadRequestDatagram(firstName.toLatin1(), 9),
                                 QHostAddress::LocalHost, rig.station->serverPort());
        // Write-MAC on: MACWAIT and the MACSET it never acts on; off: block 1.
        QTRY_COMPARE(rig.station->state().g_nexttime, 1);
        QTRY_VERIFY(abandoning.hasPendingDatagrams());
        rig.clockSkew = HandOverWatch::LapseMs; // and then nothing more from it

        const RouterResult next =
            RunRouter(rig, {"--name", nextName, "--crc", "9", "--timeout-ms", "300"});
        QVERIFY2(next.ok(), next.json.value("error").toString().toUtf8());
        QCOMPARE(next.received, ExpectedDevicePackage(rig, nextLabel, writeMac ? 0x09 : 0x08));
        QCOMPARE(rig.op.asks.size(), writeMac ? 2 : 0);
        VERIFY_LOG(rig, "Check MAC " + QString::number(writeMac) + " nexttime 1", "文件打开失败!",
                   nextName + "不能发送,下一个请求按新设备处理",
                   "Check MAC " + QString::number(writeMac) + " nexttime 0");
        QCOMPARE(rig.station->rows().text(0, DeviceRows::MacColumn), nextLabel);
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kWriting);
        QCOMPARE(rig.storedOutcomes(), (QStringList{"released", "in-progress"}));
    }

    // A label already written goes to a second board only on the operator's yes.
    void reburnAsksTheOperator_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("rework of the same board") << true;
        QTest::newRow("a second board with that label") << false;
    }
    void reburnAsksTheOperator() {
        QFETCH(bool, yes);
        const QString other = QStringLiteral("5e3a71000138");
        E2eRig rig;
        rig.op.answers = {kLabel, kLabel};
        if (!yes)
            rig.op.answers.push_back(other);
        rig.op.reburnAnswers = {yes};
        QVERIFY(rig.start(true, true, false, false));
        const QStringList args{"--bootloader", rig.path("uboot.bin"), "--done"};
        QVERIFY(RunRouter(rig, args).ok());
        QVERIFY(rig.op.reburnQuestions.isEmpty());

        const RouterResult second = RunRouter(rig, args);
        QVERIFY2(second.ok(), second.json.value("error").toString().toUtf8());
        QCOMPARE(rig.op.reburnQuestions.size(), 1);
        QVERIFY(rig.op.reburnQuestions.first().startsWith(kLabel.toUpper() + "已于"));
        QCOMPARE(second.json.value("mac").toString(), yes ? kLabel : other);
        const QList<record::BoardAttempt> stored = rig.storedRows();
        QCOMPARE(stored.size(), yes ? 2 : 3);
        QCOMPARE(stored.at(1).reburn, QString(yes ? "confirmed" : "refused"));
        QCOMPARE(rig.storedOutcomes().last(), QStringLiteral("written-done"));
        if (!yes)
            QCOMPARE(record::OutcomeText(stored.at(1).outcome), QStringLiteral("reburn-refused"));
        VERIFY_LOG(rig, kLabel + (yes ? "已烧录过,确认重新烧录" : "已烧录过,拒绝重新烧录"));
    }

    void stopWhileScanPendingThenStartAgain() {
        E2eRig rig;
        QVERIFY(rig.start(true, false, false, true));
        std::unique_ptr<QProcess> process = rig.launchRouter(
            {"--crc", "9", "--timeout-ms", "200", "--retries", "2", "--scan-wait-ms", "1500"},
            "first.bin");
        QTRY_COMPARE_WITH_TIMEOUT(rig.op.asks.size(), 1, 10000);
        rig.station->StopService(rig.station->ControlsFromState());
        QCOMPARE(rig.op.cancelled, rig.op.asks);
        QCOMPARE(rig.logLines().last(), QStringLiteral("强制关闭服务"));
        QVERIFY(!rig.station->isServerListening());
        QVERIFY(E2eRig::waitForExit(*process, 20000));
        const RouterResult first = rig.finish(*process, "first.bin");
        QVERIFY(!first.ok());
        QCOMPARE(first.json.value("mac").toString(), QString());
        QCOMPARE(rig.storedOutcomes(), QStringList{"stopped"});

        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(true, false, false, true));
        QCOMPARE(rig.station->state().g_processing, 0);
        const RouterResult second = RunRouter(rig, {"--crc", "9"});
        QVERIFY(second.ok());
        QCOMPARE(second.json.value("mac").toString(), kLabel);
    }
};

QTEST_GUILESS_MAIN(BoardCycleTest)
#include "tst_BoardCycle.moc"
