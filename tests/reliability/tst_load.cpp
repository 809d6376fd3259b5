// Many routers at once against one station: package requests and new devices
// mixed, each router a separate process on its own port.

#include "tests/support/LiveStation.h"

#include "core/personalise/PackageSources.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

class LoadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void manyRoutersAtOnce_data();
    void manyRoutersAtOnce();
};

void LoadTest::manyRoutersAtOnce_data() {
    QTest::addColumn<int>("packageRequests");
    QTest::addColumn<int>("newDevices");
    QTest::addColumn<int>("rootSize");

    QTest::newRow("50 routers, mostly package requests") << 40 << 10 << 64 * 1024;
    QTest::newRow("50 routers, mostly new devices") << 15 << 35 << 16 * 1024;
}

void LoadTest::manyRoutersAtOnce() {
    QFETCH(int, packageRequests);
    QFETCH(int, newDevices);
    QFETCH(int, rootSize);

    LiveStation::Options options;
    options.root = rootSize;
    LiveStation rig(options);
    QStringList scannable;
    for (int i = 0; i < 4 * newDevices + 20; ++i)
        scannable << LabelText(0x20000 + i);
    rig.op.answers.assign(scannable.begin(), scannable.end());
    rig.op.cancelWhenOut = true;
    QVERIFY(rig.start(kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot));
    const QString port = QString::number(rig.port());
    const QString crc = QString::number(rig.bootLoaderCrc());

    RouterFleet fleet;
    // Interleaved so that both kinds are in flight together.
    const int total = packageRequests + newDevices;
    for (int i = 0; i < total; ++i) {
        const bool isNew = newDevices > 0 && (packageRequests == 0 || i % 2 == 1);
        // Routers re-send after 60 ms: new devices' repeats queue while the
        // operator scans, and new devices ask while another is in hand.
        QStringList args{
            "--port", port,     "--timeout-ms",    "60", "--retries", "1000", "--scan-wait-ms",
            "5000",   "--seed", QString::number(i)};
        if (isNew) {
            args << "--name"
                 << "newboard"
                 << "--crc" << crc;
            --newDevices;
        } else {
            args << "--name"
                 << "mac"
                 << "--crc"
                 << "0";
            --packageRequests;
        }
        fleet.launch(args);
    }
    if (!RunUntil([&] { return fleet.allFinished(); }, 100000))
        QFAIL(qPrintable(rig.logText().right(3000)));

    const QRegularExpression label(QStringLiteral("^[0-9A-F]{12}$"));
    QSet<QString> labelsServed;
    for (const RouterResult& r : fleet.results()) {
        QVERIFY2(r.ok(), qPrintable(r.describe()));
        QCOMPARE(r.check(), QStringLiteral("ok"));
        const QString name = r.servedLast();
        if (name.compare(QStringLiteral("mac"), Qt::CaseInsensitive) == 0)
            continue;
        // A device package goes to the one router it was made for, whole.
        QVERIFY2(label.match(name).hasMatch(), qPrintable(r.describe()));
        QVERIFY2(scannable.contains(name), qPrintable(name));
        QVERIFY2(!labelsServed.contains(name), qPrintable(name + " served twice"));
        labelsServed.insert(name);
        const QByteArray onDisk = ReadBytes(rig.path(name));
        QCOMPARE(r.sha256(),
                 QString::fromLatin1(
                     QCryptographicHash::hash(onDisk, QCryptographicHash::Sha256).toHex()));
    }
    QVERIFY(rig.station->isServerListening());

    // Still answering afterwards.
    RouterFleet after;
    after.launch({"--port", port, "--name", "mac", "--crc", "0"});
    QVERIFY(RunUntil([&] { return after.allFinished(); }, 30000));
    const RouterResult last = after.results().front();
    QVERIFY2(last.ok(), qPrintable(last.describe()));
    rig.stop();
}

QTEST_GUILESS_MAIN(LoadTest)
#include "tst_load.moc"
