#include "tests/support/BadLineUrls.h"
#include "tests/support/LiveStation.h"

#include "core/personalise/PackageInspect.h"
#include "core/settings/SettingsRecord.h"

#include <QProcess>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

// quorvane-headless in a program folder of its own, its output collected.
struct HeadlessRun {
    QTemporaryDir dir;
    QProcess process;
    QByteArray out;
    QByteArray err;
    quint16 port = FreeUdpPort();

    HeadlessRun() {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += process.readAllStandardError(); });
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    void start(const QStringList& extra = {}) {
        process.setWorkingDirectory(dir.path());
        process.start(ToolPath(QStringLiteral("quorvane-headless")),
                      QStringList{"--folder", dir.path(), "--port", QString::number(port)} + extra);
        process.waitForStarted();
    }
    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
};

} // namespace

class HeadlessTest : public QObject {
    Q_OBJECT
private slots:
    void boardThroughTheTerminal() {
        HeadlessRun station;
        QVERIFY(WriteBytes(station.path("root.bin"), QByteArray(5000, 'r')));
        SettingsRecord record;
        record.setFlags(0x09);
        record.setRootPath(station.path("root.bin"));
        QVERIFY(record.Write(station.path("sysfile")));
        station.start({"--model", "10"});
        QTRY_VERIFY(station.outText().contains("服务器已启动,,本地网络IP地址请设置为192.168.1.55"));

        RouterFleet router;
        QTemporaryDir outDir;
        router.launch({"--port", QString::number(station.port), "--crc", "9", "--done"},
                      outDir.filePath("board.bin"));

        const QString prompt = QStringLiteral("找到一个新设备，请扫描MAC码");
        QTRY_COMPARE(station.errText().count(prompt), 1);
        station.process.write("\n"); // cancel: the router starts over
        QTRY_COMPARE_WITH_TIMEOUT(station.errText().count(prompt), 2, 15000);
        station.process.write("5e3a71g23458\n");
        QTRY_VERIFY(station.errText().contains("MAC字符异常，格式不对"));
        station.process.write("5e3a71000127\n");
        QTRY_VERIFY(station.errText().contains("MAC尾数不是8，格式不对"));
        station.process.write("5E3A7100\n5E3A710001A8\n");
        QVERIFY(RunUntil([&] { return router.allFinished(); }, 30000));
        const RouterResult result = router.results().front();
        QVERIFY2(result.ok(), qPrintable(result.describe() + station.errText()));
        QCOMPARE(result.json.value("mac").toString(), QStringLiteral("5E3A710001A8"));

        // The router checked the package; its model MAC ends in Hornbeam's byte.
        const std::optional<MacTriple> triple = InspectPackage(result.received).triple;
        QCOMPARE(triple.value_or(MacTriple{}).model.bytes[5], std::uint8_t(0xAA));

        QTRY_COMPARE(station.err.count('\a'), 2); // files received, then written
        station.process.terminate();
        QVERIFY(station.process.waitForFinished(10000));
        QCOMPARE(station.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.process.exitCode(), 0);
        station.out += station.process.readAllStandardOutput();
        QVERIFY(station.outText().contains("强制关闭服务\n结速时间:"));
        QVERIFY(station.outText().contains("已写 1 / 失败 0")); // the shift, as it ends
    }

    void startFailures_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing selected") << QStringList() << QStringLiteral("选项不能为空");
        QTest::newRow("unknown model")
            << QStringList{"--model", "3"} << QStringLiteral("--model 3");
        QTest::newRow("bad port") << QStringList{"--port", "70000"}
                                  << QStringLiteral("--port 70000");
        QTest::newRow("stray argument") << QStringList{"extra"} << QStringLiteral("extra");
        for (const auto& [url, shown, why] : BadLineUrls())
            QTest::newRow(url) << QStringList{"--record", url}
                               << QStringLiteral("--record %1: %2").arg(shown, why);
        QTest::newRow("folder of programs")
            << QStringList{"--folder", "/usr/bin"} << QStringLiteral("--folder /usr/bin");
    }
    void startFailures() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        HeadlessRun station;
        station.start(args);
        QVERIFY(station.process.waitForFinished(10000));
        station.err += station.process.readAllStandardError();
        QCOMPARE(station.process.exitCode(), 2);
        QVERIFY2(station.errText().contains(message), qPrintable(station.errText()));
        QVERIFY(!station.errText().contains("s3cret"));
    }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "tst_Headless.moc"
