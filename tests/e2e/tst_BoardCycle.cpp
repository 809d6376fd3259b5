// Whole boards on loopback: the station with its real transfer server against
// quorvane-router, checked by what the router got, the rows, the log and the
// production record.
#include "tests/support/LiveStation.h"

#include "core/personalise/Crc32.h"
#include "core/personalise/DevicePackage.h"
#include "core/personalise/PackageInspect.h"
#include "core/settings/SettingsRecord.h"
#include "core/tftp/PacketCodec.h"

#include <QJsonArray>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

const QString kLabel = QStringLiteral("5e3a71000128");
const QString kWaiting = QStringLiteral("请连接新设备...");
const QString kAgain = QStringLiteral("等待再次传输....");
const QString kWriting = QStringLiteral("下载完成,正在写入....");
const QString kWritten = QStringLiteral("设备写入完成，可以移除");
constexpr std::uint8_t kAll = kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot;

// Every expected line appears, in this order, among the log's lines.
#define VERIFY_LOG(rig, ...)                                                                       \
    do {                                                                                           \
        const QStringList lines = (rig).logLines();                                                \
        qsizetype at = 0;                                                                          \
        for (const QString& line : QStringList{__VA_ARGS__}) {                                     \
            at = lines.indexOf(line, at);                                                          \
            QVERIFY2(at++ >= 0, qPrintable("missing or out of order: " + line));                   \
        }                                                                                          \
    } while (false)

QByteArray ExpectedDevicePackage(const LiveStation& rig, const QString& label, std::uint8_t flags) {
    QTemporaryDir other;
    DevicePackageRequest request;
    request.programDir = other.path() + '/';
    request.scanText = label;
    request.flags = flags;
    request.sources = rig.sources;
    const DevicePackageResult result = BuildDevicePackage(request);
    return result.ok() ? ReadBytes(result.outputPath) : QByteArray();
}

QStringList Bootloader(const LiveStation& rig) {
    return {"--bootloader", rig.sources.bootLoaderPath};
}

} // namespace

class BoardCycleTest : public QObject {
    Q_OBJECT
private slots:
    // MACWAIT, the scan, MACSET with the label, the package, CRC match, DONE.
    void boardWithWriteMac() {
        LiveStation rig;
        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(kAll));

        const RouterResult router = rig.runRouter(Bootloader(rig) << "--done");

        QVERIFY2(router.ok(), qPrintable(router.describe()));
        QCOMPARE(router.json.value("mac").toString(), kLabel);
        QCOMPARE(router.received, ExpectedDevicePackage(rig, kLabel, kAll));
        QVERIFY(InspectPackage(router.received).ok());
        DeviceRows& rows = rig.station->rows();
        QTRY_COMPARE(rows.text(0, DeviceRows::StatusColumn), kWritten);
        QCOMPARE(rows.text(0, DeviceRows::MacColumn), kLabel);
        QCOMPARE(rows.text(1, DeviceRows::MacColumn), kWaiting);
        QCOMPARE(rig.op.sounds, (QList<int>{135, 136}));

        const QString crc = QString::number(rig.bootLoaderCrc());
        VERIFY_LOG(
            rig, "m_bUpdateMAC = 1", "Uboot crc: " + crc,
            "Recieve a download require[g_nexttime = 0] [g_processing = 0]",
            "Check MAC 1 nexttime 0",
            "第1台*******************************" + kLabel + "*********************************",
            "Uboot crc: " + crc, "Recieve a download require[g_nexttime = 1] [g_processing = 1]",
            "Check MAC 1 nexttime 1", "正在下载文件" + rig.path(kLabel), "4下载完成，关闭文件",
            "4下载完成，不关闭文件");

        const QList<record::BoardAttempt> stored = rig.storedRows();
        QCOMPARE(stored.size(), 1);
        const record::BoardAttempt& row = stored.first();
        QCOMPARE(record::OutcomeText(row.outcome), QStringLiteral("written-done"));
        QCOMPARE(row.label + row.baseMac + row.modelMac + row.wanMac,
                 QStringLiteral("5E3A710001285E3A710001285E3A710001255E3A71000127"));
        QCOMPARE(row.routerAddress, QStringLiteral("127.0.0.1"));
        QCOMPARE(row.modelName, QStringLiteral("Dogwood(Spruce)"));
        QCOMPARE(row.selection, int(kAll));
        QCOMPARE(row.bootLoader.crc, Crc32(ReadBytes(rig.sources.bootLoaderPath)));
        QCOMPARE(row.rootImage.name + QString::number(row.rootImage.size),
                 QStringLiteral("root.bin65536"));
        QVERIFY(row.claimedAt <= row.scannedAt && row.scannedAt <= row.builtAt &&
                row.builtAt <= row.transferredAt && row.transferredAt <= row.finishedAt);

        const QByteArray record = ReadBytes(rig.path("sysfile"));
        QCOMPARE(record.size(), SettingsRecord::kSize);
        QCOMPARE(record.at(0), '\x0F');
        QCOMPARE(record.mid(1, 18).toHex(), QByteArray("5e3a710001285e3a710001255e3a71000127"));
        QCOMPARE(record.mid(19, 256).left(rig.sources.bootLoaderPath.size()),
                 QFile::encodeName(rig.sources.bootLoaderPath));
        QCOMPARE(record.at(787), '\0');
    }

    // The router asks for its own label; no scan.
    void boardWithoutWriteMac() {
        LiveStation rig;
        QVERIFY(rig.start(kSelectRoot));
        const QString name = QStringLiteral("5E3A710000A8");
        const RouterResult router = rig.runRouter({"--name", name, "--crc", "77"});
        QVERIFY(router.ok());
        QVERIFY(rig.op.asks.isEmpty());
        QCOMPARE(router.received, ExpectedDevicePackage(rig, name, kSelectRoot));
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kWriting);
        VERIFY_LOG(rig, "Check MAC 0 nexttime 0", "正在下载文件" + rig.path(name));
    }

    // A mismatching boot loader CRC sends the board round again, at once; no
    // DONE, so its row's timer finishes it.
    void crcMismatchServesTheNextRequestAtOnce() {
        LiveStation rig;
        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(kSelectMac | kSelectBootLoader));
        QVERIFY(rig.runRouter({"--crc", "12345"}).ok());
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kAgain);
        QCOMPARE(rig.station->state().g_nexttime, 1);
        QCOMPARE(rig.storedOutcomes(), QStringList{"fetched-again"});

        const RouterResult router = rig.runRouter(Bootloader(rig) << "--name" << kLabel);
        QVERIFY(router.ok());
        QCOMPARE(rig.op.asks.size(), 1);
        QCOMPARE(router.json.value("served").toArray().size(), 1);
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kWriting);
        VERIFY_LOG(rig, "Recieve a download require[g_nexttime = 1] [g_processing = 0]",
                   "Check MAC 1 nexttime 1");
        for (int tick = 0; tick <= 50; ++tick)
            rig.station->rows().OnTimer(0);
        QCOMPARE(rig.storedOutcomes(), QStringList{"written-timer"});
        QCOMPARE(rig.storedRows().first().refetches, 1);
    }

    void packageRequestWhileBoardInHand() {
        LiveStation rig;
        QVERIFY(rig.start(kAll));
        rig.station->state().g_processing = 1;
        const RouterResult router = rig.runRouter({"--name", "mac"});
        QVERIFY2(router.ok(), qPrintable(router.describe()));

        QTemporaryDir other;
        MacPackageRequest request;
        request.programDir = other.path() + '/';
        request.macField = QStringLiteral("00012");
        request.flags = kAll;
        request.sources = rig.sources;
        QVERIFY(BuildMacPackage(request).ok());
        QCOMPARE(router.received, ReadBytes(request.programDir + "MAC"));

        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kAgain);
        QCOMPARE(rig.op.sounds, QList<int>{135});
        const QString log = rig.logLines().join('\n');
        QVERIFY(log.contains("Uboot crc: 0") && !log.contains("Recieve a download require"));
        QVERIFY(log.contains("路由器00012耗时0分"));
    }

    // Regression: any board could fetch the record (every board's MACs) and its
    // settings (a password) by name.
    void recordFilesAreNotServed() {
        LiveStation rig;
        WriteBytes(rig.path("record.ini"), "line=postgresql://station:pw@db/line\n");
        QVERIFY(rig.start(kSelectRoot));
        for (const char* name : {"PRODUCTION.DB", "record.ini"}) {
            const QStringList args{"--name", name, "--timeout-ms", "100", "--retries", "0"};
            QVERIFY2(!rig.runRouter(args).ok(), name);
        }
        QCOMPARE(rig.logLines().count("文件打开失败!"), 2);
    }

    void newBoardTurnedAwayWhileAnotherInHand() {
        LiveStation rig;
        QVERIFY(rig.start(kSelectMac | kSelectRoot));
        rig.station->state().g_processing = 1;
        const RouterResult router = rig.runRouter(
            {"--name", "5E3A710000B8", "--crc", "5", "--timeout-ms", "100", "--retries", "2"});
        QVERIFY(!router.ok());
        QVERIFY(rig.op.asks.isEmpty());
        VERIFY_LOG(rig, "Recieve a download require[g_nexttime = 0] [g_processing = 1]",
                   "Transmiting...wait a while 5E3A710000B8");
        QVERIFY(!QFile::exists(rig.path("5E3A710000B8")));
    }

    void scanCancelledThenScanned() {
        LiveStation rig;
        rig.op.answers = {std::nullopt, kLabel};
        QVERIFY(rig.start(kSelectMac | kSelectRoot));
        const RouterResult router = rig.runRouter({"--crc", "9"});
        QVERIFY2(router.ok(), qPrintable(router.describe()));
        QCOMPARE(rig.op.asks.size(), 2);
        QVERIFY(router.json.value("restarts").toInt() >= 1);
        QCOMPARE(router.received, ExpectedDevicePackage(rig, kLabel, kSelectMac | kSelectRoot));
        QCOMPARE(rig.storedOutcomes(), (QStringList{"scan-cancelled", "in-progress"}));
    }

    // The image goes missing between the build and the completion: the
    // operator is told and the service answers no one until restarted.
    void bootLoaderRemovedBeforeCompletion() {
        LiveStation rig;
        const QString crc = QString::number(rig.bootLoaderCrc());
        rig.op.answers.push_back(kLabel);
        rig.op.afterAnswer = [&rig] { QFile::remove(rig.sources.bootLoaderPath); };
        QVERIFY(rig.start(kSelectMac | kSelectBootLoader));
        RouterResult router = rig.runRouter({"--crc", crc});
        QCOMPARE(router.received, ReadBytes(rig.path(kLabel)));
        QTRY_COMPARE(rig.op.messages, QStringList{rig.sources.bootLoaderPath + "不存在"});
        QCOMPARE(rig.station->rows().rowCount(), 1);

        router = rig.runRouter(
            {"--name", "other", "--crc", "3", "--timeout-ms", "100", "--retries", "2"});
        QVERIFY(!router.ok());
        QVERIFY(rig.station->isServerListening() && rig.station->isServiceChecked());
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
        LiveStation rig;
        rig.op.answers = {kLabel, nextLabel};
        QVERIFY(rig.start(writeMac ? kSelectMac | kSelectRoot : kSelectRoot));

        QUdpSocket abandoning;
        QVERIFY(abandoning.bind(QHostAddress::LocalHost, 0));
        abandoning.writeDatagram(tftp::ReadRequestDatagram(firstName.toLatin1(), 9),
                                 QHostAddress::LocalHost, rig.port());
        // Write-MAC on: MACWAIT and the MACSET it never acts on; off: block 1.
        QTRY_COMPARE(rig.station->state().g_nexttime, 1);
        QTRY_VERIFY(abandoning.hasPendingDatagrams());
        rig.clockSkew = HandOverWatch::LapseMs; // and then nothing more from it

        const RouterResult next =
            rig.runRouter({"--name", nextName, "--crc", "9", "--timeout-ms", "300"});
        QVERIFY2(next.ok(), qPrintable(next.describe()));
        QCOMPARE(next.received,
                 ExpectedDevicePackage(rig, nextLabel, writeMac ? 0x09 : kSelectRoot));
        QCOMPARE(rig.op.asks.size(), writeMac ? 2 : 0);
        VERIFY_LOG(rig, "Check MAC " + QString::number(writeMac) + " nexttime 1", "文件打开失败!",
                   nextName + "不能发送,下一个请求按新设备处理",
                   "Check MAC " + QString::number(writeMac) + " nexttime 0");
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
        LiveStation rig;
        rig.op.answers = {kLabel, kLabel};
        if (!yes)
            rig.op.answers.push_back(other);
        rig.op.reburnAnswers = {yes};
        QVERIFY(rig.start(kSelectMac | kSelectBootLoader));
        QVERIFY(rig.runRouter(Bootloader(rig) << "--done").ok());
        QVERIFY(rig.op.reburnQuestions.isEmpty());

        const RouterResult second = rig.runRouter(Bootloader(rig) << "--done");
        QVERIFY2(second.ok(), qPrintable(second.describe()));
        QCOMPARE(rig.op.reburnQuestions.size(), 1);
        QVERIFY(rig.op.reburnQuestions.first().startsWith(kLabel.toUpper() + "已于"));
        QCOMPARE(second.json.value("mac").toString(), yes ? kLabel : other);
        const QList<record::BoardAttempt> stored = rig.storedRows();
        QCOMPARE(stored.size(), yes ? 2 : 3);
        QCOMPARE(stored.at(1).reburn, QString(yes ? "confirmed" : "refused"));
        const QStringList after =
            yes ? QStringList{"written-done"} : QStringList{"reburn-refused", "written-done"};
        QCOMPARE(rig.storedOutcomes().mid(1), after);
        VERIFY_LOG(rig, kLabel + (yes ? "已烧录过,确认重新烧录" : "已烧录过,拒绝重新烧录"));
    }

    void stopWhileScanPendingThenStartAgain() {
        LiveStation rig;
        QVERIFY(rig.start(kSelectMac | kSelectRoot));
        RouterFleet first;
        first.launch({"--port", QString::number(rig.port()), "--crc", "9", "--timeout-ms", "200",
                      "--retries", "2", "--scan-wait-ms", "1500"});
        QVERIFY(RunUntil([&] { return rig.op.asks.size() == 1; }, 10000));
        rig.stop();
        QCOMPARE(rig.op.cancelled, rig.op.asks);
        QCOMPARE(rig.logLines().last(), QStringLiteral("强制关闭服务"));
        QVERIFY(!rig.station->isServerListening());
        QVERIFY(RunUntil([&] { return first.allFinished(); }, 20000));
        QVERIFY(!first.results().front().ok());
        QCOMPARE(rig.storedOutcomes(), QStringList{"stopped"});

        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(kSelectMac | kSelectRoot));
        QCOMPARE(rig.station->state().g_processing, 0);
        const RouterResult second = rig.runRouter({"--crc", "9"});
        QVERIFY(second.ok());
        QCOMPARE(second.json.value("mac").toString(), kLabel);
    }
};

QTEST_GUILESS_MAIN(BoardCycleTest)
#include "tst_BoardCycle.moc"
