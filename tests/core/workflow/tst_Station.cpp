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
    void start_data() {
        QTest::addColumn<ControlValues>("controls");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("flags");
        QTest::newRow("root only")
            << ControlValues{false, false, false, true, {}} << QString() << 0x08;
        QTest::newRow("everything")
            << ControlValues{true, true, true, true, {}} << QString() << 0x0F;
        QTest::newRow("nothing chosen") << ControlValues{} << QStringLiteral("选项不能为空") << 0;
        // Checked in the order boot loader, configuration, root: the bits up to
        // the first piece without its path stay set.
        QTest::newRow("configuration without its path")
            << ControlValues{true, true, true, true, {}}
            << QStringLiteral("恢复出厂设置配置文件为空") << 0x07;
    }
    void start() {
        QFETCH(ControlValues, controls);
        QFETCH(QString, message);
        QFETCH(int, flags);
        StationRig rig;
        rig.start(); // a board in hand: both flags set
        rig.handOver();
        rig.station->StopService(rig.station->ControlsFromState());
        rig.s().m_strUbootPath = QStringLiteral("/u.bin");
        rig.s().m_strRootPath = QStringLiteral("/r.bin");
        rig.s().m_strCfgPath = flags == 0x07 ? QString() : QStringLiteral("/d.cfg");
        rig.s().m_bHasWpaKey = flags == 0x0F;
        QFile::remove(rig.path(QStringLiteral("sysfile")));
        QCOMPARE(rig.s().g_processing & rig.s().g_nexttime, 1);
        QCOMPARE(rig.station->StartService(controls).message, message);
        QCOMPARE(rig.link->running, message.isEmpty());
        QCOMPARE(rig.s().g_processing | rig.s().g_nexttime, 0);
        QCOMPARE(QFile::exists(rig.path(QStringLiteral("sysfile"))), message.isEmpty());
        QCOMPARE(rig.s().m_byFlags, flags);
        if (!message.isEmpty())
            return;
        QByteArray expected(19, '\0');
        expected[0] = char(flags);
        expected += PathSlot(controls.updateUboot ? "/u.bin" : "") + PathSlot("/r.bin");
        expected += PathSlot(controls.restoreCfg ? "/d.cfg" : "");
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")),
                 expected + (flags == 0x0F ? "1" : "0") + '\0');
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
    }
    void burn() {
        QFETCH(QString, mac);
        QFETCH(bool, scanned);
        StationRig rig;
        rig.s().m_bUpdateMAC = true;
        rig.s().m_strMac = scanned ? QStringLiteral("00012") : mac;
        rig.s().m_strScan = scanned ? QString() : kSerialLabel;
        if (scanned) {
            rig.station->OnScanEntered(mac.left(11)); // not a label: ignored
            rig.station->OnScanEntered(mac);
            QCOMPARE(rig.op.serialTexts, QStringList{"1234b"});
        } else {
            rig.station->SingleBurn();
        }
        QCOMPARE(rig.logLines(), QStringList{"第1台*******************************" + mac +
                                             "*********************************"});
        QFETCH(QByteArray, triple);
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")).toHex().toUpper(),
                 "01" + triple + QByteArray(2 * (SettingsRecord::kSize - 19), '0'));
        // The package is named after, and carries, the scanned label.
        const QString label = scanned ? mac : kSerialLabel;
        const PackageReport report = InspectPackage(rig.readFile(label));
        QVERIFY2(report.ok(), qPrintable(report.problems.join(';')));
        QCOMPARE(report.triple->base, ParseMacText(label));
    }

    // The MAC guard: a scanned label written before goes to a board again only
    // on the operator's yes; a no holds for the rest of the run. A package
    // request or continuous burning carries the triple the station holds,
    // which nothing advances between boards: served at once, never asked.
    void reburn_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("again");
        QTest::newRow("scan dialog, confirmed") << "scan dialog" << true;
        QTest::newRow("scan dialog, refused") << "scan dialog" << false;
        QTest::newRow("MAC package, twice") << "MAC package" << true;
        QTest::newRow("continuous") << "continuous" << true;
    }
    void reburn() {
        QFETCH(QString, kind);
        QFETCH(bool, again);
        StationRig rig;
        rig.start();
        const bool dialog = kind == u"scan dialog", package = kind == u"MAC package";
        // Two boards of that label written before, the newer first.
        record::BoardAttempt board;
        board.label = dialog ? kLabel.toUpper() : kSerialLabel;
        board.outcome = record::Outcome::WrittenDone;
        for (const qint64 at : {2, 1}) {
            board.id = board.station = QString::number(at);
            board.finishedAt = at * 1000000000000;
            rig.record.past << board;
        }
        if (dialog)
            rig.handOver();
        else if (!package)
            rig.station->ContinuousBurn(true, rig.station->ControlsFromState());
        for (int i = 0; package && i < 2; ++i)
            QCOMPARE(rig.hooks().OnRequest(rig.request(QStringLiteral("mac"), 0)),
                     tftp::RequestVerdict::Serve);
        QCOMPARE(rig.op.reburns.size(), dialog ? 1 : 0);
        if (dialog) {
            QVERIFY(rig.op.reburns.at(0).second.contains(u"在2(")); // the newer board
            rig.station->OnReburnAnswer(rig.op.reburns.at(0).first, again);
            QCOMPARE(rig.record.last().reburn, QString(again ? "confirmed" : "refused"));
            QCOMPARE(rig.record.last().outcome,
                     again ? record::Outcome::InProgress : record::Outcome::ReburnRefused);
        } else {
            QCOMPARE(rig.station->controlState().continuousChecked, !package);
            if (package) // the triple it carried
                QCOMPARE(rig.record.last().baseMac, kSerialLabel);
        }
        QCOMPARE(QFile::exists(rig.path(dialog ? kLabel : QStringLiteral("MAC"))), again);
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
