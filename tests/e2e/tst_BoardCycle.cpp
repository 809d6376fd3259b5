// Whole boards on loopback: the station with its real transfer server against
// quorvane-router, checked by what the router got, the rows, the log and the
// production record.
#include "tests/support/LiveStation.h"

#include "core/personalise/Crc32.h"
#include "core/personalise/DevicePackage.h"
#include "core/tftp/PacketCodec.h"

#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

const QString kLabel = QStringLiteral("5e3a71000128");
const QString kWriting = QStringLiteral("下载完成,正在写入....");
const QString kWritten = QStringLiteral("设备写入完成，可以移除");
constexpr std::uint8_t kAll = kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot;

// The first expected line that the log lacks after the lines before it.
QString MissingFromLog(const LiveStation& rig, const QStringList& expected) {
    const QStringList lines = rig.logLines();
    qsizetype at = 0;
    for (const QString& line : expected)
        if ((at = lines.indexOf(line, at) + 1) == 0)
            return line;
    return {};
}

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

} // namespace

class BoardCycleTest : public QObject {
    Q_OBJECT
private slots:
    // MACWAIT, the scan, MACSET with the label, the package, CRC match, DONE.
    void boardWithWriteMac() {
        LiveStation rig;
        rig.op.answers.push_back(kLabel);
        QVERIFY(rig.start(kAll));

        const RouterResult router =
            rig.runRouter({"--bootloader", rig.sources.bootLoaderPath, "--done"});

        QVERIFY2(router.ok(), qPrintable(router.describe()));
        QCOMPARE(router.json.value("mac").toString(), kLabel);
        QCOMPARE(router.received, ExpectedDevicePackage(rig, kLabel, kAll));
        DeviceRows& rows = rig.station->rows();
        QTRY_COMPARE(rows.text(0, DeviceRows::StatusColumn), kWritten);
        QCOMPARE(rows.text(0, DeviceRows::MacColumn), kLabel);
        QCOMPARE(rig.op.sounds, (QList<int>{135, 136}));
        // The requests' own lines are tst_workflow_transfer's; here their order.
        QCOMPARE(MissingFromLog(rig, {"m_bUpdateMAC = 1", "Check MAC 1 nexttime 0",
                                      "第1台*******************************" + kLabel +
                                          "*********************************",
                                      "Check MAC 1 nexttime 1", "正在下载文件" + rig.path(kLabel),
                                      "4下载完成，关闭文件", "4下载完成，不关闭文件"}),
                 QString());

        QCOMPARE(rig.storedOutcomes(), QStringList{"written-done"});
        const record::BoardAttempt row = rig.storedRows().first();
        QCOMPARE(QStringList({row.label, row.baseMac, row.modelMac, row.wanMac, row.routerAddress,
                              row.modelName, QString::number(row.selection), row.rootImage.name,
                              QString::number(row.rootImage.size)})
                     .join(' '),
                 "5E3A71000128 5E3A71000128 5E3A71000125 5E3A71000127 127.0.0.1 Dogwood(Spruce) "
                 "15 root.bin 65536");
        QCOMPARE(row.bootLoader.crc, Crc32(ReadBytes(rig.sources.bootLoaderPath)));
        QVERIFY(row.claimedAt <= row.scannedAt && row.scannedAt <= row.builtAt &&
                row.builtAt <= row.transferredAt && row.transferredAt <= row.finishedAt);
    }

    // How a board's attempt ends in the stored record, through real boards.
    // Each step is a router's arguments ("@boot": the boot loader's CRC) or
    // "@ticks" (the row's timer runs out), followed by the rows stored by then.
    // Write-MAC and the boot loader are selected; every row ends written.
    void outcomes_data() {
        QTest::addColumn<QStringList>("answers"); // the scans
        QTest::addColumn<QString>("reburn");      // the re-burn answers, y or n
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("label"); // of the last board, its package golden
        QTest::addColumn<QStringList>("log");
        const QString other = QStringLiteral("5e3a71000138");
        QTest::newRow("CRC mismatch: fetched again at once, then the timer")
            << QStringList{kLabel} << ""
            << QStringList{"--crc 12345", "@boot --name " + kLabel, "@ticks"}
            << QStringList{"fetched-again+1", "in-progress+1", "written-timer+1"} << kLabel
            << QStringList{"Recieve a download require[g_nexttime = 1] [g_processing = 0]",
                           "Check MAC 1 nexttime 1"};
        QTest::newRow("re-burn confirmed")
            << QStringList{kLabel, kLabel} << "y" << QStringList{"@boot --done", "@boot --done"}
            << QStringList{"written-done", "written-done,written-done/confirmed"} << kLabel
            << QStringList{kLabel + "已烧录过,确认重新烧录"};
        QTest::newRow("re-burn refused, another label scanned")
            << QStringList{kLabel, kLabel, other} << "n"
            << QStringList{"@boot --done", "@boot --done"}
            << QStringList{"written-done", "written-done,reburn-refused/refused,written-done"}
            << other << QStringList{kLabel + "已烧录过,拒绝重新烧录"};
    }
    void outcomes() {
        constexpr std::uint8_t flags = kSelectMac | kSelectBootLoader;
        QFETCH(QStringList, answers);
        QFETCH(QString, reburn);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, stored);
        QFETCH(QString, label);
        QFETCH(QStringList, log);
        LiveStation rig;
        rig.op.answers.assign(answers.begin(), answers.end());
        for (const QChar yes : reburn)
            rig.op.reburnAnswers.push_back(yes == u'y');
        QVERIFY(rig.start(flags));
        RouterResult router;
        for (qsizetype i = 0; i < steps.size(); ++i) {
            for (int tick = 0; steps[i] == u"@ticks" && tick <= 50; ++tick)
                rig.station->rows().OnTimer(0);
            if (steps[i] != u"@ticks") {
                const QString boot = "--bootloader " + rig.sources.bootLoaderPath;
                router = rig.runRouter(QString(steps[i]).replace("@boot", boot).split(' '));
                QVERIFY2(router.ok(), qPrintable(router.describe()));
            }
            QCOMPARE(rig.storedOutcomes().join(','), stored[i]);
        }
        QCOMPARE(router.received, ExpectedDevicePackage(rig, label, flags));
        QCOMPARE(rig.op.asks.size(), answers.size());
        QCOMPARE(rig.op.reburnQuestions.size(), reburn.size());
        for (const QString& question : rig.op.reburnQuestions)
            QVERIFY(question.startsWith(kLabel.toUpper() + "已于"));
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kWritten);
        QCOMPARE(MissingFromLog(rig, log), QString());
        // One MAC in two written boards is named on the shift's line.
        QCOMPARE(record::SummaryLine(rig.production->ShiftSummary()).endsWith("1个(2块板)"),
                 reburn == u"y");
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
        QVERIFY(rig.station->isServerListening() && rig.station->controlState().serviceChecked);
    }

    // Regression: a board that never came back left the hand-over set, and
    // every later board was served a file that is not there.
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
        rig.clockSkew = BoardLedger::LapseMs; // and then nothing more from it

        const RouterResult next =
            rig.runRouter({"--name", nextName, "--crc", "9", "--timeout-ms", "300"});
        QVERIFY2(next.ok(), qPrintable(next.describe()));
        QCOMPARE(next.received,
                 ExpectedDevicePackage(rig, nextLabel, writeMac ? 0x09 : kSelectRoot));
        QCOMPARE(rig.op.asks.size(), writeMac ? 2 : 0);
        QCOMPARE(MissingFromLog(rig, {"Check MAC " + QString::number(writeMac) + " nexttime 1",
                                      "文件打开失败!", nextName + "不能发送,下一个请求按新设备处理",
                                      "Check MAC " + QString::number(writeMac) + " nexttime 0"}),
                 QString());
        QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kWriting);
        QCOMPARE(rig.storedOutcomes(), (QStringList{"released", "in-progress"}));
    }

    void stopWhileScanPending() {
        LiveStation rig;
        QVERIFY(rig.start(kSelectMac | kSelectRoot));
        RouterFleet first;
        first.launch({"--port", QString::number(rig.port()), "--crc", "9", "--timeout-ms", "200",
                      "--retries", "2", "--scan-wait-ms", "1500"});
        QVERIFY(RunUntil([&] { return rig.op.asks.size() == 1; }, 10000));
        rig.stop();
        QCOMPARE(rig.op.cancelled, rig.op.asks);
        QCOMPARE(rig.logLines().last(), QStringLiteral("强制关闭服务"));
        QCOMPARE(rig.storedOutcomes(), QStringList{"stopped"});
    }
};

QTEST_GUILESS_MAIN(BoardCycleTest)
#include "tst_BoardCycle.moc"
