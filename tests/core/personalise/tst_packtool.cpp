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
    void init() {
        if (!QFileInfo(m_tool).isExecutable())
            QSKIP("quorvane-pack not built (QUORVANE_BIN_DIR)");
        m_ws = std::make_unique<testfiles::Workspace>();
        QVERIFY(m_ws->valid());
        QVERIFY(testfiles::Write(m_ws->path("u.bin"), testfiles::Pattern(1000)));
        QVERIFY(testfiles::Write(m_ws->path("c.cfg"), "SSID1=a\nWPAPSK1=\n"));
        QVERIFY(testfiles::Write(m_ws->path("r.bin"), testfiles::Pattern(5000)));
    }

    // What it prints and exits with: 1 with the
    // station's message, 2 with its usage; no file but a package.
    void run_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");    // in stdout, or stderr on failure
        QTest::addColumn<QByteArray>("head"); // the package's first bytes, hex
        const auto row = [](const char* name, const char* args, int code, const char* out,
                            const char* head = "") {
            QTest::newRow(name) << args << code << out << QByteArray(head);
        };
        row("device, default bits follow the files",
            "device --label 5e3a71123458 --bootloader %1/u.bin --root %1/r.bin %o", 0,
            "%1/out/5e3a71123458\n", "050000");
        row("mac, decimal bits, key mode",
            "mac --serial 12345 --flags 5 --wpa on --config %1/c.cfg %o", 0, "%1/out/MAC\n",
            "0512000000");
        row("mac, hex bits, key from --base",
            "mac --serial 12345 --flags 0x4 --wpa on --base 5E3A71ABCDE8 --config %1/c.cfg %o", 0,
            "%1/out/MAC\n", "041900000053534944313d610a57504150534b313d37316162636465380a");
        row("missing boot loader", "device --label 5e3a71123458 --bootloader %1/none.bin %o", 1,
            "Uboot文件(%1/none.bin)不存在");
        row("empty label names the folder", "device --label {} %o", 1, "%1/out/");
        row("no command", "", 2, "usage:");
        row("flags over a byte", "mac --serial 1 --flags 256 %o", 2, "usage:");
        // A 128 KiB image with zeros after a shorter one; the router sends it signed.
        row("checksum", "checksum %1/u.bin", 0, "-1039556657\nc2099fcf\n");
    }
    void run() {
        QFETCH(QString, args);
        QFETCH(QByteArray, head);
        if (args.startsWith("checksum"))
            QVERIFY(testfiles::Write(m_ws->path("u.bin"), "\x01" + QByteArray(131072, 0)));
        QStringList list = QProcess::splitCommand(args.replace("%o", "--out %1/out"));
        for (QString& a : list)
            a = a == "{}" ? QString() : a.replace("%1", m_ws->dir.path());
        QProcess p;
        p.start(m_tool, list);
        QVERIFY(p.waitForFinished(30000));
        QTEST(p.exitCode(), "code");
        const QString text = QString::fromUtf8(p.exitCode() == 0 ? p.readAllStandardOutput()
                                                                 : p.readAllStandardError());
        QFETCH(QString, says);
        QVERIFY2(text.contains(says.arg(m_ws->dir.path())), qPrintable(text));
        const QStringList files = testfiles::Entries(m_ws->out());
        QCOMPARE(files.size(), head.isEmpty() ? 0 : 1);
        if (head.isEmpty())
            return;
        const QByteArray bytes = testfiles::Read(m_ws->out() + files[0]);
        QCOMPARE(bytes.left(head.size() / 2).toHex(), head);
        QVERIFY(quorvane::InspectPackage(bytes).ok());
    }

private:
    QString m_tool = qEnvironmentVariable("QUORVANE_BIN_DIR") + "/quorvane-pack";
    std::unique_ptr<testfiles::Workspace> m_ws;
};

QTEST_GUILESS_MAIN(TestPackTool)
#include "tst_packtool.moc"
