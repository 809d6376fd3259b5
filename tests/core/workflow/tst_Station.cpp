#include "WorkflowFakes.h"

#include "core/personalise/PackageInspect.h"
#include "core/settings/SettingsRecord.h"

#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

Q_DECLARE_METATYPE(quorvane::ControlValues)

namespace {
// A path slot of "sysfile" as written: the path, NUL-padded.
QByteArray PathSlot(const QString& path) {
    QByteArray slot = QFile::encodeName(path);
    slot.resize(SettingsRecord::kPathSlotSize, '\0');
    return slot;
}
} // namespace

class StationTest : public QObject {
    Q_OBJECT
private slots:
    // Start with every piece chosen, a board in hand; the other choices are
    // tst_window's (startChecks).
    void start_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("flags");
        QTest::newRow("everything") << QString() << 0x0F;
        // Checked in the order boot loader, configuration, root: the bits up to
        // the first piece without its path stay set.
        QTest::newRow("configuration without its path")
            << QStringLiteral("恢复出厂设置配置文件为空") << 0x07;
    }
    void start() {
        QFETCH(QString, message);
        QFETCH(int, flags);
        StationRig rig;
        rig.start(); // a board in hand: both flags set
        rig.handOver();
        rig.station->StopService(rig.station->ControlsFromState());
        rig.s().m_strUbootPath = QStringLiteral("/u.bin");
        rig.s().m_strRootPath = QStringLiteral("/r.bin");
        rig.s().m_strCfgPath = flags == 0x07 ? QString() : QStringLiteral("/d.cfg");
        rig.s().m_bHasWpaKey = true;
        QFile::remove(rig.path(QStringLiteral("sysfile")));
        QCOMPARE(rig.s().g_processing & rig.s().g_nexttime, 1);
        QCOMPARE(rig.station->StartService({true, true, true, true, {}}).message, message);
        QCOMPARE(rig.link->running, message.isEmpty());
        QCOMPARE(rig.s().g_processing | rig.s().g_nexttime, 0);
        QCOMPARE(QFile::exists(rig.path(QStringLiteral("sysfile"))), message.isEmpty());
        QCOMPARE(rig.s().m_byFlags, flags);
        if (!message.isEmpty())
            return;
        const QByteArray paths = PathSlot("/u.bin") + PathSlot("/r.bin") + PathSlot("/d.cfg");
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")),
                 "\x0F" + QByteArray(18, '\0') + paths + "1" + '\0');
    }

    void burnRefused_data() {
        QTest::addColumn<ControlValues>("controls");
        QTest::addColumn<QString>("logged");
        QTest::newRow("empty serial")
            << ControlValues{true, false, false, false, {}} << QStringLiteral("MAC地址为空");
        QTest::newRow("configuration before root") << ControlValues{false, false, true, true, {}}
                                                   << QStringLiteral("恢复出厂设置配置文件为空");
        QTest::newRow("nothing") << ControlValues{} << QStringLiteral("你好懒什么都不选");
    }
    void burnRefused() {
        StationRig rig;
        QFETCH(ControlValues, controls);
        rig.station->StopService(controls); // takes the controls in
        rig.station->SingleBurn();
        QTEST(rig.logLines().join(QString()), "logged");
        QCOMPARE(QDir(rig.path({})).entryList({"sysfile", "MAC", "5E3A*"}), QStringList{});
    }

    // Regressions: a label text in the field was read as a serial (its
    // vendor digits); a scan burned the serial left in the field. Either way
    // the header, "sysfile" and the package named another board.
    void burn_data() {
        QTest::addColumn<QString>("mac"); // in the field, or scanned
        QTest::addColumn<bool>("scanned");
        QTest::addColumn<QByteArray>("triple");
        QTest::newRow("serial") << "12345" << false
                                << QByteArray("5E3A711234585E3A711234555E3A71123457");
        QTest::newRow("label text")
            << kLabel << false << QByteArray("5E3A711234B85E3A711234B55E3A711234B7");
        QTest::newRow("scan") << kLabel << true
                              << QByteArray("5E3A711234B85E3A711234B55E3A711234B7");
        // Written before: asked once, and the yes scans it again.
        QTest::newRow("scan, burned again")
            << kLabel << true << QByteArray("5E3A711234B85E3A711234B55E3A711234B7");
    }
    void burn() {
        QFETCH(QString, mac);
        QFETCH(bool, scanned);
        StationRig rig;
        rig.s().m_bUpdateMAC = true;
        rig.s().m_strMac = scanned ? QStringLiteral("00012") : mac;
        rig.s().m_strScan = scanned ? QString() : kSerialLabel;
        const bool again = QTest::currentDataTag() == QByteArrayView("scan, burned again");
        if (again) {
            record::BoardAttempt board;
            board.label = kLabel.toUpper();
            board.outcome = record::Outcome::WrittenDone;
            rig.record.past << board;
        }
        if (scanned) {
            rig.station->OnScanEntered(mac.left(11)); // not a label: ignored
            rig.station->OnScanEntered(mac);
            QCOMPARE(rig.op.reburns.size(), again ? 1 : 0);
            if (again)
                rig.station->OnReburnAnswer(rig.op.reburns.first().first, true);
            QCOMPARE(rig.op.serialTexts, QStringList{"1234b"});
        } else {
            rig.station->SingleBurn();
        }
        QCOMPARE(rig.logLines().mid(again ? 1 : 0),
                 QStringList{"第1台*******************************" + mac +
                             "*********************************"});
        QFETCH(QByteArray, triple);
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")).toHex().toUpper(),
                 "01" + triple + QByteArray(2 * (SettingsRecord::kSize - 19), '0'));
        // The package is named after, and carries, the scanned label.
        const QString label = scanned ? mac : kSerialLabel;
        const PackageReport report = InspectPackage(rig.readFile(label));
        QVERIFY2(report.ok(), qPrintable(report.problems.join(';')));
        QCOMPARE(report.triple->base, ParseMacText(label));
        QVERIFY(rig.station->SelectModel(0)); // the first model, no key
        rig.station->RefreshTitle();
        QCOMPARE(rig.station->title(), QStringLiteral("Quorvane Alder,WIFI不加密"));
    }

    // The MAC guard never asks about a package request or continuous burning:
    // they carry the triple the station holds, which nothing advances between
    // boards, so they are served at once. A scanned label written before is
    // asked about in tst_BoardCycle (outcomes, the re-burn rows).
    void reburnNotAsked_data() {
        QTest::addColumn<bool>("package"); // else continuous burning
        QTest::newRow("MAC package, twice") << true;
        QTest::newRow("continuous") << false;
    }
    void reburnNotAsked() {
        QFETCH(bool, package);
        StationRig rig;
        rig.start();
        record::BoardAttempt board; // the label of the serial, written before
        board.label = kSerialLabel;
        board.outcome = record::Outcome::WrittenDone;
        rig.record.past << board;
        if (!package)
            rig.station->ContinuousBurn(true, rig.station->ControlsFromState());
        for (int i = 0; package && i < 2; ++i)
            QCOMPARE(rig.hooks().OnRequest(rig.request(QStringLiteral("mac"), 0)),
                     tftp::RequestVerdict::Serve);
        QCOMPARE(rig.op.reburns.size(), 0);
        QCOMPARE(rig.station->controlState().continuousChecked, !package);
        if (package) // the triple it carried
            QCOMPARE(rig.record.last().baseMac, kSerialLabel);
        QVERIFY(QFile::exists(rig.path(QStringLiteral("MAC"))));
        QCOMPARE(rig.link->pauseDepth, 0);
    }

    // Regressions: clearing took the record (no extension) and its settings
    // too; a station that could not write its folder said nothing, and
    // cleared whatever folder it was given.
    void folder() {
        StationRig rig;
        QVERIFY(QDir(rig.dir.path()).mkdir(QStringLiteral("sysfile")));
        rig.start(false);
        QCOMPARE(rig.logLines().last(), rig.path(QStringLiteral("sysfile")) + "写入失败");
        rig.writeFile(kSerialLabel, "x");
        rig.writeFile(QStringLiteral("record.ini"), "x");
        rig.writeFile(QStringLiteral("production.db"), "x");
        rig.station->ClearGeneratedFiles();
        QVERIFY(!QFile::exists(rig.path(kSerialLabel)));
        for (const char* kept : {"sysfile", "production.db", "record.ini"})
            QVERIFY2(QFile::exists(rig.path(kept)), kept);

        const QString notAFolder = rig.path(QStringLiteral("record.ini/"));
        rig.s().m_strExeDir = notAFolder;
        rig.station->ClearGeneratedFiles();
        QCOMPARE(rig.op.messages.at(0).second, notAFolder + "不是工作站自己的文件夹,不清空");
        rig.station->Shutdown();
        QCOMPARE(rig.logLines().last(), notAFolder + "log/写入失败");
    }
};

QTEST_GUILESS_MAIN(StationTest)
#include "tst_Station.moc"
