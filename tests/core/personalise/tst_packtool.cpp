#include "core/personalise/PackageInspect.h"

#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// quorvane-pack as a user runs it: exit codes, what it prints, what it writes.
class TestPackTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void builds_data();
    void builds();
    void failures_data();
    void failures();
    void usageErrors_data();
    void usageErrors();
    void checksum();
    void inspect();

private:
    struct Run {
        int code = -1;
        QByteArray out;
        QByteArray err;
    };
    Run run(const QStringList& args);
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString m_tool;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPackTool::initTestCase() {
    m_tool = qEnvironmentVariable("QUORVANE_BIN_DIR") + "/quorvane-pack";
    if (!QFileInfo(m_tool).isExecutable())
        QSKIP("quorvane-pack not built (QUORVANE_BIN_DIR)");
}

void TestPackTool::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir("out"));
    QVERIFY(testfiles::Write(path("u.bin"), testfiles::Pattern(1000)));
    QVERIFY(testfiles::Write(path("c.cfg"), "SSID1=a\nWPAPSK1=\n"));
    QVERIFY(testfiles::Write(path("r.bin"), testfiles::Pattern(5000)));
}

TestPackTool::Run TestPackTool::run(const QStringList& args) {
    QProcess p;
    p.start(m_tool, args);
    Run r;
    if (!p.waitForFinished(30000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

void TestPackTool::builds_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("head"); // the file's first bytes, hex
    QTest::addColumn<int>("flags");       // as the package's decoder reads them
    QTest::addColumn<int>("size");
    QTest::newRow("device, MAC only")
        << QStringList{"device", "--label", "5e3a71123458"} << "5e3a71123458"
        << QByteArray("05000000bc1cd9b301000000") << 0x01 << 46;
    QTest::newRow("device, default bits follow the files")
        << QStringList{"device", "--label", "5e3a71123458", "--bootloader",
                       "u.bin",  "--root",  "r.bin"}
        << "5e3a71123458" << QByteArray("05000000") << 0x0B << 12 + 34 + 131096 + 65552;
    QTest::newRow("device, hex bits and model")
        << QStringList{"device",   "--label", "5e3a71123458", "--flags", "0x4",
                       "--config", "c.cfg",   "--model",      "9"}
        << "5e3a71123458" << QByteArray("05000000") << 0x04 << 12 + 16 + 16384;
    QTest::newRow("mac, MAC only")
        << QStringList{"mac", "--serial", "12345"} << "MAC"
        << QByteArray("01120000005e3a711234585e3a711234555e3a71123457") << 0x01 << 23;
    QTest::newRow("mac, decimal bits, key mode")
        << QStringList{"mac",   "--serial", "12345",    "--flags", "5",
                       "--wpa", "on",       "--config", "c.cfg"}
        << "MAC" << QByteArray("0512000000") << 0x05 << 23 + 4 + 25;
    QTest::newRow("mac, key from --base")
        << QStringList{"mac", "--serial", "12345",        "--flags",  "4",    "--wpa",
                       "on",  "--base",   "5E3A71ABCDE8", "--config", "c.cfg"}
        << "MAC" << QByteArray("04190000005353494431") << 0x04 << 1 + 4 + 25;
}

void TestPackTool::builds() {
    QFETCH(QStringList, args);
    QFETCH(QString, name);
    QFETCH(QByteArray, head);
    QFETCH(int, flags);
    QFETCH(int, size);
    for (QString& a : args) {
        if (a.endsWith(".bin") || a.endsWith(".cfg"))
            a = path(a);
    }
    const Run r = run(args << "--out" << path("out"));
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QByteArray());
    const QString file = path("out") + '/' + name;
    QCOMPARE(r.out, file.toUtf8() + '\n');
    const QByteArray bytes = testfiles::Read(file);
    QCOMPARE(bytes.size(), size);
    QCOMPARE(bytes.left(head.size() / 2).toHex(), head);
    const quorvane::PackageReport report = quorvane::InspectPackage(bytes);
    QVERIFY2(report.ok(), qPrintable(report.problems.join('\n')));
    QCOMPARE(report.flags, flags);
    if (args.contains("--base"))
        QVERIFY(bytes.contains("WPAPSK1=71abcde8\n"));
}

void TestPackTool::failures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message"); // %1 = the temporary folder
    QTest::newRow("missing boot loader")
        << QStringList{"device", "--label", "5e3a71123458", "--bootloader", "%1/none.bin"}
        << "Uboot文件(%1/none.bin)不存在";
    QTest::newRow("bit without its file")
        << QStringList{"device", "--label", "5e3a71123458", "--flags", "8"} << "不存在";
    QTest::newRow("empty label names the folder")
        << QStringList{"device", "--label", ""} << "%1/out/";
    QTest::newRow("mac, missing root")
        << QStringList{"mac", "--serial", "12345", "--root", "%1/none.bin"} << "%1/none.bin不存在";
    QTest::newRow("mac, no WPAPSK1 line")
        << QStringList{"mac", "--serial", "12345", "--wpa", "on", "--config", "%1/r.bin"}
        << "WPAPSK1 error 1";
}

void TestPackTool::failures() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    for (QString& a : args)
        a.replace("%1", m_dir->path());
    const Run r = run(args << "--out" << path("out"));
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QByteArray());
    QVERIFY2(QString::fromUtf8(r.err).trimmed().endsWith(message.replace("%1", m_dir->path())),
             r.err);
    QCOMPARE(testfiles::Entries(path("out")), QStringList());
}

void TestPackTool::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"build"};
    QTest::newRow("device without --out") << QStringList{"device", "--label", "5e3a71123458"};
    QTest::newRow("flags over a byte")
        << QStringList{"mac", "--serial", "1", "--out", ".", "--flags", "256"};
    QTest::newRow("octal is not taken")
        << QStringList{"mac", "--serial", "1", "--out", ".", "--flags", "1e"};
    QTest::newRow("model over 15")
        << QStringList{"mac", "--serial", "1", "--out", ".", "--model", "16"};
    QTest::newRow("base too short")
        << QStringList{"mac", "--serial", "1", "--out", ".", "--base", "5E3A71"};
    QTest::newRow("wpa for device")
        << QStringList{"device", "--label", "x", "--out", ".", "--wpa", "on"};
    QTest::newRow("checksum without file") << QStringList{"checksum"};
}

void TestPackTool::usageErrors() {
    QFETCH(QStringList, args);
    const Run r = run(args);
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains("usage:"));
    QCOMPARE(testfiles::Entries(QDir::currentPath()).contains("MAC"), false);
}

void TestPackTool::checksum() {
    QVERIFY(testfiles::Write(path("zero.bin"), QByteArray()));
    Run r = run({"checksum", path("zero.bin")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("2129186253\n7ee8cdcd\n"));
    // The router sends it as a signed number.
    QVERIFY(testfiles::Write(path("one.bin"), "\x01"));
    r = run({"checksum", path("one.bin")});
    QCOMPARE(r.out, QByteArray("-1039556657\nc2099fcf\n"));
    r = run({"checksum", path("none.bin")});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("none.bin"));
}

void TestPackTool::inspect() {
    QVERIFY(
        run({"device", "--label", "5e3a71123458", "--config", path("c.cfg"), "--out", path("out")})
            .code == 0);
    const QString file = path("out/5e3a71123458");
    Run r = run({"inspect", file});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("kind: device\n"));
    QVERIFY(r.out.contains("  base: 5E3A71123458\n"));
    QVERIFY(r.out.contains("  entry: SSID1=a_2345\n"));
    QVERIFY(r.out.contains("  entry: WAN_MAC_ADDR=5e:3a:71:12:34:57\n"));

    QByteArray bytes = testfiles::Read(file);
    bytes[100] = 'X';
    QVERIFY(testfiles::Write(file, bytes));
    r = run({"inspect", file});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains("CRC"));

    r = run({"inspect", path("none")});
    QCOMPARE(r.code, 1);
}

QTEST_GUILESS_MAIN(TestPackTool)
#include "tst_packtool.moc"
