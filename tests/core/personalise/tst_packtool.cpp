#include "core/personalise/PackageInspect.h"

#include "TestFiles.h"

#include <QProcess>
#include <QTest>

// quorvane-pack as a user runs it: exit codes, what it prints, what it writes.
// In the arguments %1 stands for the temporary folder, %o for "--out %1/out"
// and {} for an empty argument.
class TestPackTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_tool = qEnvironmentVariable("QUORVANE_BIN_DIR") + "/quorvane-pack";
        if (!QFileInfo(m_tool).isExecutable())
            QSKIP("quorvane-pack not built (QUORVANE_BIN_DIR)");
    }
    void init() {
        m_ws = std::make_unique<testfiles::Workspace>();
        QVERIFY(m_ws->valid());
        QVERIFY(testfiles::Write(m_ws->path("u.bin"), testfiles::Pattern(1000)));
        QVERIFY(testfiles::Write(m_ws->path("c.cfg"), "SSID1=a\nWPAPSK1=\n"));
        QVERIFY(testfiles::Write(m_ws->path("r.bin"), testfiles::Pattern(5000)));
    }

    void builds_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("head"); // the file's first bytes, hex
        QTest::addColumn<int>("flags");       // as the package's decoder reads them
        QTest::addColumn<int>("size");
        QTest::newRow("device, default bits follow the files")
            << "device --label 5e3a71123458 --bootloader %1/u.bin --root %1/r.bin"
            << "5e3a71123458" << QByteArray("05000000") << 0x0B << 12 + 34 + 131096 + 65552;
        QTest::newRow("mac, decimal bits, key mode")
            << "mac --serial 12345 --flags 5 --wpa on --config %1/c.cfg"
            << "MAC" << QByteArray("0512000000") << 0x05 << 23 + 4 + 25;
        QTest::newRow("mac, hex bits, key from --base")
            << "mac --serial 12345 --flags 0x4 --wpa on --base 5E3A71ABCDE8 --config %1/c.cfg"
            << "MAC" << QByteArray("0419000000" + QByteArray("SSID1=a\nWPAPSK1=71abcde8\n").toHex())
            << 0x04 << 1 + 4 + 25;
    }
    void builds() {
        QFETCH(QString, args);
        QFETCH(QString, name);
        QFETCH(QByteArray, head);
        QFETCH(int, size);
        const Run r = run(args + " %o");
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QByteArray());
        const QString file = m_ws->out() + name;
        QCOMPARE(r.out, file.toUtf8() + '\n');
        const QByteArray bytes = testfiles::Read(file);
        QCOMPARE(bytes.size(), size);
        QCOMPARE(bytes.left(head.size() / 2).toHex(), head);
        const quorvane::PackageReport report = quorvane::InspectPackage(bytes);
        QVERIFY2(report.ok(), qPrintable(report.problems.join('\n')));
        QFETCH(int, flags);
        QCOMPARE(int(report.flags), flags);
        if (flags & 1) // --model defaults to 5
            QCOMPARE(report.triple, quorvane::TripleFromSerial("12345", 5));
    }

    // The station's message and exit 1, or usage and exit 2: no file either way.
    void refused_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("message"); // how stderr ends; empty: usage
        const auto row = [](const char* name, const char* args, const char* message = "") {
            QTest::newRow(name) << args << message;
        };
        row("missing boot loader", "device --label 5e3a71123458 --bootloader %1/none.bin %o",
            "Uboot文件(%1/none.bin)不存在");
        row("bit without its file", "device --label 5e3a71123458 --flags 8 %o", "不存在");
        row("empty label names the folder", "device --label {} %o", "%1/out/");
        row("mac, no WPAPSK1 line", "mac --serial 12345 --wpa on --config %1/r.bin %o",
            "WPAPSK1 error 1");
        row("no command", "");
        row("unknown command", "build %o");
        row("device without --out", "device --label 5e3a71123458");
        row("flags over a byte", "mac --serial 1 --flags 256 %o");
        row("model over 15", "mac --serial 1 --model 16 %o");
        row("base too short", "mac --serial 1 --base 5E3A71 %o");
        row("wpa for device", "device --label x --wpa on %o");
    }
    void refused() {
        QFETCH(QString, args);
        QFETCH(QString, message);
        const Run r = run(args);
        QCOMPARE(r.code, message.isEmpty() ? 2 : 1);
        QCOMPARE(r.out, QByteArray());
        const QString err = QString::fromUtf8(r.err).trimmed();
        QVERIFY2(message.isEmpty() ? err.contains("usage:")
                                   : err.endsWith(message.arg(m_ws->dir.path())),
                 r.err);
        QCOMPARE(testfiles::Entries(m_ws->out()), QStringList());
    }

    // A 128 KiB image with zeros after a shorter one; the router sends it signed.
    void checksum_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("empty") << QByteArray() << QByteArray("2129186253\n7ee8cdcd\n");
        QTest::newRow("one byte") << QByteArray("\x01") << QByteArray("-1039556657\nc2099fcf\n");
        QTest::newRow("only 128 KiB count")
            << QByteArray(131072, '\0') + "tail" << QByteArray("2129186253\n7ee8cdcd\n");
    }
    void checksum() {
        QFETCH(QByteArray, image);
        QVERIFY(testfiles::Write(m_ws->path("image.bin"), image));
        QTEST(run("checksum %1/image.bin").out, "out");
        for (const char* unreadable : {"checksum %1/none.bin", "checksum %1/out"})
            QCOMPARE(run(unreadable).code, 1);
    }

    void inspect() {
        QCOMPARE(run("device --label 5e3a71123458 --config %1/c.cfg --out %1/out").code, 0);
        Run r = run("inspect %1/out/5e3a71123458");
        QCOMPARE(r.code, 0);
        for (const char* line :
             {"kind: device\n", "  base: 5E3A71123458\n", "  entry: SSID1=a_2345\n",
              "  entry: WAN_MAC_ADDR=5e:3a:71:12:34:57\n"})
            QVERIFY2(r.out.contains(line), r.out);
        const QString file = m_ws->out() + "5e3a71123458";
        QByteArray bytes = testfiles::Read(file);
        bytes[100] = 'X';
        QVERIFY(testfiles::Write(file, bytes));
        r = run("inspect %1/out/5e3a71123458");
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("CRC"));
        QCOMPARE(run("inspect %1/none").code, 1);
    }

private:
    struct Run {
        int code = -1;
        QByteArray out;
        QByteArray err;
    };
    Run run(const QString& args) {
        QStringList list = QProcess::splitCommand(QString(args).replace("%o", "--out %1/out"));
        for (QString& a : list)
            a = a == "{}" ? QString() : a.replace("%1", m_ws->dir.path());
        QProcess p;
        p.start(m_tool, list);
        Run r;
        if (!p.waitForFinished(30000))
            return r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    QString m_tool;
    std::unique_ptr<testfiles::Workspace> m_ws;
};

QTEST_GUILESS_MAIN(TestPackTool)
#include "tst_packtool.moc"
