#include "WorkflowFakes.h"

#include "core/personalise/PackageInspect.h"
#include "core/settings/SettingsRecord.h"

#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

Q_DECLARE_METATYPE(quorvane::ControlValues)

namespace {

QString Hex(const MacAddress& mac) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(mac.bytes.data()), 6).toHex().toUpper());
}

ControlValues Controls(bool mac, bool uboot, bool cfg, bool root, const QString& serial = {}) {
    ControlValues c;
    c.updateMac = mac;
    c.updateUboot = uboot;
    c.restoreCfg = cfg;
    c.updateRoot = root;
    c.serialText = serial;
    return c;
}

QByteArray Slot(const QByteArray& record, int offset) {
    return record.mid(offset, SettingsRecord::kPathSlotSize);
}

QByteArray PathSlot(const QString& path) {
    QByteArray slot = QFile::encodeName(path);
    slot.resize(SettingsRecord::kPathSlotSize, '\0');
    return slot;
}

const QString kHeaderFormat =
    QStringLiteral("第%1台*******************************%2*********************************");

} // namespace

class StationTest : public QObject {
    Q_OBJECT
private slots:
    void start_data() {
        QTest::addColumn<ControlValues>("controls");
        QTest::addColumn<QStringList>("paths"); // boot loader, configuration, root
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("flags");

        const QStringList none{QString(), QString(), QString()};
        const QStringList all{QStringLiteral("/u.bin"), QStringLiteral("/d.cfg"),
                              QStringLiteral("/r.bin")};
        QTest::newRow("root only")
            << Controls(false, false, false, true)
            << QStringList{QString(), QString(), QStringLiteral("/r.bin")} << QString() << 0x08;
        QTest::newRow("mac only") << Controls(true, false, false, false) << none << QString()
                                  << 0x01;
        QTest::newRow("everything") << Controls(true, true, true, true) << all << QString() << 0x0F;
        QTest::newRow("boot loader reported first")
            << Controls(false, true, false, true) << none << QStringLiteral("UBOOT为空") << 0;
        QTest::newRow("configuration before root")
            << Controls(false, false, true, true) << none
            << QStringLiteral("恢复出厂设置配置文件为空") << 0;
        QTest::newRow("root empty") << Controls(false, false, false, true) << none
                                    << QStringLiteral("root_Uimage为空") << 0;
        QTest::newRow("nothing chosen")
            << Controls(false, false, false, false) << all << QStringLiteral("选项不能为空") << 0;
    }
    void start() {
        QFETCH(ControlValues, controls);
        QFETCH(QStringList, paths);
        QFETCH(QString, message);
        QFETCH(int, flags);

        StationRig rig;
        rig.s().m_strUbootPath = paths.at(0);
        rig.s().m_strCfgPath = paths.at(1);
        rig.s().m_strRootPath = paths.at(2);
        rig.s().g_processing = 1;
        rig.s().g_nexttime = 1;
        rig.s().m_bHasWpaKey = flags == 0x0F; // stored as '1' in the record

        const StartOutcome outcome = rig.station->StartService(controls);

        QCOMPARE(outcome.message, message);
        QCOMPARE(outcome.started, message.isEmpty());
        const ControlState& c = rig.station->controlState();
        if (!message.isEmpty()) {
            QCOMPARE(rig.link.starts, 0);
            QVERIFY(!QFile::exists(rig.path(QStringLiteral("sysfile"))));
            QVERIFY(!c.serviceChecked);
            QCOMPARE(c.serviceCaption, QStringLiteral("启动"));
            QVERIFY(c.optionsEnabled);
            return;
        }
        QCOMPARE(rig.link.starts, 1);
        QCOMPARE(rig.link.lastUpdateMac, controls.updateMac);
        QVERIFY(c.serviceChecked);
        QCOMPARE(c.serviceCaption, QStringLiteral("停止"));
        QVERIFY(rig.station->optionsLocked());
        QCOMPARE(rig.s().g_processing, 0);
        QCOMPARE(rig.s().g_nexttime, 0);

        const QByteArray record = rig.readFile(QStringLiteral("sysfile"));
        QCOMPARE(record.size(), SettingsRecord::kSize);
        QCOMPARE(int(quint8(record.at(0))), flags);
        QCOMPARE(record.mid(1, 18), QByteArray(18, '\0'));
        QCOMPARE(Slot(record, 19), PathSlot(controls.updateUboot ? paths.at(0) : QString()));
        QCOMPARE(Slot(record, 275), PathSlot(controls.updateRoot ? paths.at(2) : QString()));
        QCOMPARE(Slot(record, 531), PathSlot(controls.restoreCfg ? paths.at(1) : QString()));
        QCOMPARE(record.at(787), flags == 0x0F ? '1' : '0');
        QCOMPARE(record.at(788), '\0');
    }

    void failedBindIsReportedAndReleasesTheButton() {
        StationRig rig;
        rig.link.bindSucceeds = false;
        const StartOutcome outcome = rig.station->StartService(Controls(true, false, false, false));
        QVERIFY(!outcome.started);
        QCOMPARE(outcome.message, QStringLiteral("服务器启动失败"));
        QVERIFY(!rig.station->isServiceChecked());
        QVERIFY(!rig.station->optionsLocked());
        QVERIFY(!rig.station->isServerListening());
    }

    void stopAndStartAgain() {
        StationRig rig;
        rig.station->StopService(Controls(true, false, false, false));
        QVERIFY(!rig.logLines().contains(QStringLiteral("强制关闭服务")));
        QCOMPARE(rig.link.stops, 0);

        QVERIFY(rig.station->StartService(Controls(true, false, false, false)).started);
        rig.s().g_processing = 1;
        rig.station->StopService(Controls(true, false, false, false));
        QCOMPARE(rig.logLines().last(), QStringLiteral("强制关闭服务"));
        QCOMPARE(rig.link.stops, 1);
        QCOMPARE(rig.station->controlState().serviceCaption, QStringLiteral("启动"));
        QVERIFY(!rig.station->optionsLocked());
        QCOMPARE(rig.s().g_processing, 1); // stop leaves the flags; start resets them

        QVERIFY(rig.station->StartService(Controls(true, false, false, false)).started);
        QCOMPARE(rig.link.starts, 2);
        QCOMPARE(rig.s().g_processing, 0);
    }

    void restore_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("ubootPath");
        QTest::addColumn<QString>("rootPath");
        QTest::addColumn<QString>("cfgPath");
        QTest::addColumn<int>("options"); // bits as in m_byFlags

        SettingsRecord both;
        both.setFlags(0x0A);
        both.setBootLoaderPath(QStringLiteral("/img/u.bin"));
        both.setRootPath(QStringLiteral("/img/r.bin"));
        both.setConfigPath(QStringLiteral("/img/ignored.cfg"));
        const auto bytes = [](const SettingsRecord& r) {
            return QByteArray(reinterpret_cast<const char*>(r.bytes().data()),
                              SettingsRecord::kSize);
        };
        QTest::newRow("boot loader and root")
            << bytes(both) << QString() << QStringLiteral("/img/u.bin")
            << QStringLiteral("/img/r.bin") << QString() << 0x0A;

        QByteArray serial(SettingsRecord::kSize, '\0');
        serial[0] = 0x01;
        serial[4] = 0x00;
        serial[5] = 0x01;
        serial[6] = 0x28;
        QTest::newRow("serial 00012")
            << serial << QStringLiteral("00012") << QString() << QString() << QString() << 0x01;

        QByteArray lineEnds(SettingsRecord::kSize, '\0');
        lineEnds[0] = 0x05;
        lineEnds[4] = 0x0D;
        lineEnds[5] = 0x0A;
        lineEnds[6] = 0x1A;
        lineEnds.replace(531, 6, "/a.cfg");
        QTest::newRow("line-end bytes kept") << lineEnds << QStringLiteral("0D0A1") << QString()
                                             << QString() << QStringLiteral("/a.cfg") << 0x05;

        QTest::newRow("short file")
            << QByteArray(1, 0x08) << QString() << QString() << QString() << QString() << 0x08;
        QTest::newRow("no file") << QByteArray() << QString() << QString() << QString() << QString()
                                 << 0;
    }
    void restore() {
        QFETCH(QByteArray, record);
        QFETCH(QString, mac);
        QFETCH(QString, ubootPath);
        QFETCH(QString, rootPath);
        QFETCH(QString, cfgPath);
        QFETCH(int, options);

        StationRig rig;
        if (!record.isEmpty())
            rig.writeFile(QStringLiteral("sysfile"), record);
        rig.station->RestoreSettings();
        const StationState& s = rig.s();
        QCOMPARE(s.m_bUpdateMAC, bool(options & 1));
        QCOMPARE(s.m_bUpdateUboot, bool(options & 2));
        QCOMPARE(s.m_bRestoreCfg, bool(options & 4));
        QCOMPARE(s.m_bUpdateRoot, bool(options & 8));
        QCOMPARE(s.m_strMac, mac);
        QCOMPARE(s.m_strUbootPath, ubootPath);
        QCOMPARE(s.m_strRootPath, rootPath);
        QCOMPARE(s.m_strCfgPath, cfgPath);
        QCOMPARE(rig.op.serialTexts, mac.isEmpty() ? QStringList() : QStringList{mac});
        QCOMPARE(rig.station->ControlsFromState().serialText, mac);
    }

    void burnValidation_data() {
        QTest::addColumn<ControlValues>("controls");
        QTest::addColumn<QStringList>("paths"); // boot loader, configuration, root
        QTest::addColumn<QString>("logged");
        QTest::addColumn<int>("flags");
        const QStringList none{QString(), QString(), QString()};
        QTest::newRow("empty serial")
            << Controls(true, true, false, false) << none << QStringLiteral("MAC地址为空") << 0x01;
        QTest::newRow("boot loader")
            << Controls(false, true, true, true) << none << QStringLiteral("UBOOT为空") << 0x02;
        QTest::newRow("configuration before root")
            << Controls(false, false, true, true) << none
            << QStringLiteral("恢复出厂设置配置文件为空") << 0x04;
        QTest::newRow("root") << Controls(false, false, true, true)
                              << QStringList{QString(), QStringLiteral("/c.cfg"), QString()}
                              << QStringLiteral("root_Uimage为空") << 0x0C;
        QTest::newRow("nothing") << Controls(false, false, false, false) << none
                                 << QStringLiteral("你好懒什么都不选") << 0;
    }
    void burnValidation() {
        QFETCH(ControlValues, controls);
        QFETCH(QStringList, paths);
        QFETCH(QString, logged);
        QFETCH(int, flags);

        for (const bool continuous : {false, true}) {
            StationRig rig;
            rig.s().m_strUbootPath = paths.at(0);
            rig.s().m_strCfgPath = paths.at(1);
            rig.s().m_strRootPath = paths.at(2);
            if (continuous) {
                rig.station->ContinuousBurn(true, controls);
                QVERIFY(!rig.station->controlState().continuousChecked);
                QCOMPARE(rig.station->controlState().continuousCaption, QStringLiteral("连续烧录"));
            } else {
                rig.s().m_bUpdateMAC = controls.updateMac;
                rig.s().m_bUpdateUboot = controls.updateUboot;
                rig.s().m_bRestoreCfg = controls.restoreCfg;
                rig.s().m_bUpdateRoot = controls.updateRoot;
                rig.s().m_strMac = controls.serialText;
                rig.s().m_strScan = QStringLiteral("5e3a71123458");
                rig.station->SingleBurn();
            }
            QCOMPARE(rig.logLines(), QStringList{logged});
            QCOMPARE(int(rig.s().m_byFlags), flags);
            QCOMPARE(rig.s().m_nDeviceNo, 0);
            QVERIFY(!QFile::exists(rig.path(QStringLiteral("sysfile"))));
            QVERIFY(!QFile::exists(rig.path(QStringLiteral("5e3a71123458"))));
            QVERIFY(!QFile::exists(rig.path(QStringLiteral("MAC"))));
        }
    }

    // The record holds the triple of what m_strMac holds: a serial, or a
    // label text (then the label's own address, not its vendor digits).
    void singleBurnRecord_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<int>("model");
        QTest::addColumn<QStringList>("triple");
        QTest::newRow("serial, model 5")
            << QStringLiteral("12345") << 5
            << QStringList{"5E3A71123458", "5E3A71123455", "5E3A71123457"};
        QTest::newRow("serial, Alder+")
            << QStringLiteral("12345") << 0
            << QStringList{"5E3A71123458", "5E3A71123450", "5E3A71123457"};
        QTest::newRow("label text") << QStringLiteral("5e3a711234b8") << 10
                                    << QStringList{"5E3A711234B8", "5E3A711234BA", "5E3A711234B7"};
        QTest::newRow("foreign label")
            << QStringLiteral("0011223344f8") << 5
            << QStringList{"0011223344F8", "0011223344F5", "0011223344F7"};
    }
    void singleBurnRecord() {
        QFETCH(QString, mac);
        QFETCH(int, model);
        QFETCH(QStringList, triple);

        StationRig rig;
        rig.clock = 424242;
        QVERIFY(rig.station->SelectModel(model));
        rig.s().m_bUpdateMAC = true;
        rig.s().m_strMac = mac;
        rig.s().m_strScan = QStringLiteral("5e3a71123458");
        rig.station->SingleBurn();

        QCOMPARE(rig.logLines(), QStringList{kHeaderFormat.arg(1).arg(mac)});
        QCOMPARE(rig.s().m_nDeviceNo, 1);
        QCOMPARE(rig.s().m_dwStartTick, 424242u);
        const QByteArray record = rig.readFile(QStringLiteral("sysfile"));
        QCOMPARE(record.size(), SettingsRecord::kSize);
        QCOMPARE(record.at(0), '\x01');
        QCOMPARE(QString::fromLatin1(record.mid(1, 6).toHex().toUpper()), triple.at(0));
        QCOMPARE(QString::fromLatin1(record.mid(7, 6).toHex().toUpper()), triple.at(1));
        QCOMPARE(QString::fromLatin1(record.mid(13, 6).toHex().toUpper()), triple.at(2));
        QCOMPARE(record.mid(19), QByteArray(SettingsRecord::kSize - 19, '\0'));

        // The package is named after, and carries, the scan field's label.
        const PackageReport report = InspectPackage(rig.readFile(QStringLiteral("5e3a71123458")));
        QVERIFY2(report.ok(), qPrintable(report.problems.join(';')));
        QVERIFY(report.triple.has_value());
        QCOMPARE(Hex(report.triple->base), QStringLiteral("5E3A71123458"));
        QCOMPARE(Hex(rig.s().m_macs.base), QStringLiteral("5E3A71123458"));
        QVERIFY(rig.op.messages.isEmpty());
    }

    void singleBurnRootOnlyAndTwice() {
        StationRig rig;
        rig.writeFile(QStringLiteral("root.img"), QByteArray(1000, 'r'));
        rig.s().m_bUpdateRoot = true;
        rig.s().m_strRootPath = rig.path(QStringLiteral("root.img"));
        rig.s().m_strMac = QStringLiteral("12345");
        rig.s().m_strScan = QStringLiteral("5E3A71123458");
        rig.station->SingleBurn();
        rig.station->SingleBurn();

        const QString header = kHeaderFormat.arg(1).arg(QStringLiteral("12345"));
        QCOMPARE(rig.logLines(), (QStringList{header, header}));
        const QByteArray record = rig.readFile(QStringLiteral("sysfile"));
        QCOMPARE(record.at(0), '\x08');
        QCOMPARE(record.mid(1, 18), QByteArray(18, '\0'));
        QCOMPARE(Slot(record, 275), PathSlot(rig.s().m_strRootPath));
        QVERIFY(QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
    }

    void missingSourceIsShownNotLogged() {
        StationRig rig;
        rig.s().m_bUpdateRoot = true;
        rig.s().m_strRootPath = rig.path(QStringLiteral("absent.img"));
        rig.s().m_strScan = QStringLiteral("5E3A71123458");
        rig.station->SingleBurn();
        QCOMPARE(rig.op.messageTexts(), QStringList{rig.s().m_strRootPath + "不存在"});
        QCOMPARE(rig.link.pauseDepth, 0); // not raised while serving: nothing waits
        QVERIFY(!QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
        QCOMPARE(rig.s().m_dwStartTick, rig.clock);
    }

    void title_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("title");
        QTest::newRow("Cedar open") << 2 << true << QStringLiteral("Quorvane Cedar,WIFI不加密");
        QTest::newRow("Cedar key")
            << 2 << false << QStringLiteral("Quorvane Cedar,WIFI密码为MAC地址后8位");
        QTest::newRow("Hornbeam open")
            << 10 << true << QStringLiteral("Quorvane Hornbeam,WIFI不加密");
        QTest::newRow("Hornbeam key: none") << 10 << false << QString();
        QTest::newRow("Juniper: none") << 12 << true << QString();
    }
    void title() {
        QFETCH(int, model);
        QFETCH(bool, open);
        QFETCH(QString, title);
        StationRig rig;
        rig.writeFile(QStringLiteral("d.cfg"), open ? "SSID1=x\nAuthMode=OPEN\n" : "SSID1=x\n");
        QVERIFY(rig.station->SelectModel(model));
        QVERIFY(rig.op.titles.isEmpty()); // choosing a model alone keeps the title
        rig.s().m_bRestoreCfg = true;
        rig.s().m_strCfgPath = rig.path(QStringLiteral("d.cfg"));
        rig.s().m_strScan = QStringLiteral("5E3A71123458");
        rig.station->SingleBurn();
        QCOMPARE(rig.op.titles, QStringList{title});
        QCOMPARE(rig.station->title(), title);
        QCOMPARE(rig.s().m_bHasWpaKey, !open);
    }

    void modelCodes() {
        StationRig rig;
        QCOMPARE(rig.s().m_nModel, 5);
        for (const int bad : {3, 4, 11, 14, 15, -1, 16}) {
            QVERIFY(!rig.station->SelectModel(bad));
            QCOMPARE(rig.s().m_nModel, 5);
        }
    }

    void continuousBurn() {
        StationRig rig;
        rig.s().m_strScan = QStringLiteral("5E3A71123458");
        rig.station->ContinuousBurn(true, Controls(true, false, false, false, "12345"));
        ControlState c = rig.station->controlState();
        QVERIFY(c.continuousChecked);
        QCOMPARE(c.continuousCaption, QStringLiteral("停止"));
        QVERIFY(!c.optionsEnabled);
        QVERIFY(!c.scanEnabled);
        QVERIFY(!c.scanVisible);
        QVERIFY(!c.scanLabelVisible);
        QCOMPARE(rig.logLines(), QStringList{kHeaderFormat.arg(1).arg("12345")});
        QCOMPARE(rig.readFile(QStringLiteral("MAC")).toHex(),
                 QByteArray("01120000005e3a711234585e3a711234555e3a71123457"));
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")).at(0), '\x01');

        // A failed stop leaves the station locked although the button is out.
        rig.station->ContinuousBurn(false, Controls(true, false, false, false, ""));
        c = rig.station->controlState();
        QVERIFY(!c.continuousChecked);
        QCOMPARE(c.continuousCaption, QStringLiteral("停止"));
        QVERIFY(!c.optionsEnabled);

        rig.station->ContinuousBurn(false, Controls(true, false, false, false, "12345"));
        c = rig.station->controlState();
        QCOMPARE(rig.logLines().last(), QStringLiteral("用户中止!"));
        QCOMPARE(c.continuousCaption, QStringLiteral("连续烧录"));
        QVERIFY(c.optionsEnabled);
        QVERIFY(c.scanLabelVisible);
        QVERIFY(!c.scanVisible); // the scan field stays as the start left it
    }

    void scan_data() {
        QTest::addColumn<QString>("scan");
        QTest::addColumn<QString>("serial"); // empty: ignored
        QTest::newRow("11 characters") << QStringLiteral("5E3A7112345") << QString();
        QTest::newRow("13 characters") << QStringLiteral("5E3A711234588") << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("case kept") << QStringLiteral("5e3a71abcde8") << QStringLiteral("abcde");
    }
    void scan() {
        QFETCH(QString, scan);
        QFETCH(QString, serial);
        StationRig rig;
        rig.s().m_bUpdateMAC = true;
        rig.s().m_strMac = QStringLiteral("00012");
        rig.station->OnScanEntered(scan);
        QCOMPARE(rig.s().m_strScan, scan);
        if (serial.isEmpty()) {
            QVERIFY(rig.logLines().isEmpty());
            QVERIFY(rig.op.serialTexts.isEmpty());
            return;
        }
        QCOMPARE(rig.op.serialTexts, QStringList{serial});
        QVERIFY(rig.station->controlState().burnChecked);
        // Regression: the header and "sysfile" named the serial left in the
        // field, not the scanned board.
        QCOMPARE(rig.logLines(), QStringList{kHeaderFormat.arg(1).arg(scan)});
        QCOMPARE(SettingsRecord::Read(rig.path("sysfile")).triple().base, ParseMacText(scan));
        QVERIFY(QFile::exists(rig.path(scan)));
        QCOMPARE(rig.station->ControlsFromState().serialText, serial);
    }

    void clearAndShutdown() {
        StationRig rig;
        rig.writeFile(QStringLiteral("5E3A71123458"), "pkg");
        rig.writeFile(QStringLiteral("sysfile"), QByteArray(789, '\0'));
        rig.writeFile(QStringLiteral("boot.bin"), "b");
        rig.writeFile(QStringLiteral("record.ini"), "line=postgresql://db/line\n");
        rig.station->ClearGeneratedFiles();
        QVERIFY(!QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
        // Regression: the record (no extension) and its settings were cleared too.
        for (const char* kept : {"sysfile", "boot.bin", "production.db", "record.ini"})
            QVERIFY2(QFile::exists(rig.path(kept)), kept);

        rig.station->Shutdown();
        QVERIFY(rig.logLines().last().startsWith(QStringLiteral("结速时间:")));
        // "log/" and the working directory's "Log/" are one folder here.
        QStringList runFiles =
            QDir(rig.path(QStringLiteral("Log"))).entryList({QStringLiteral("*.txt")}, QDir::Files);
        runFiles.removeAll(QStringLiteral("log.txt"));
        QCOMPARE(runFiles.size(), 1);
    }

    // Regression: a station that could not write its folder said nothing, and
    // cleared whatever folder it was given.
    void writeFailuresAreReported() {
        StationRig rig;
        QVERIFY(QDir(rig.dir.path()).mkdir(QStringLiteral("sysfile")));
        rig.writeFile(QStringLiteral("root.img"), "r");
        rig.s().m_strRootPath = rig.path(QStringLiteral("root.img"));
        ControlValues c;
        c.updateRoot = true;
        QVERIFY(rig.station->StartService(c).started);
        QCOMPARE(rig.logLines().last(), rig.path(QStringLiteral("sysfile")) + "写入失败");

        rig.writeFile(QStringLiteral("plain"), "a file, not a folder");
        const QString notAFolder = rig.path(QStringLiteral("plain/"));
        rig.s().m_strExeDir = notAFolder;
        rig.station->ClearGeneratedFiles();
        QCOMPARE(rig.op.messageTexts(), QStringList{notAFolder + "不是工作站自己的文件夹,不清空"});
        rig.station->Shutdown();
        QCOMPARE(rig.logLines().last(), notAFolder + "log/写入失败");
    }
};

QTEST_GUILESS_MAIN(StationTest)
#include "tst_Station.moc"
