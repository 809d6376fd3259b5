// Many routers at once against one station: package requests and new devices
// mixed, each router a separate process on its own port.

#include "tests/support/LiveStation.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QSet>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

class LoadTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void manyRoutersAtOnce_data() {
        QTest::addColumn<int>("packageRequests");
        QTest::addColumn<int>("newDevices");
        QTest::addColumn<int>("rootSize");
        QTest::newRow("50 routers, mostly package requests") << 40 << 10 << 64 * 1024;
        QTest::newRow("50 routers, mostly new devices") << 15 << 35 << 16 * 1024;
    }
    void manyRoutersAtOnce() {
        QFETCH(int, packageRequests);
        QFETCH(int, newDevices);
        QFETCH(int, rootSize);
        LiveStation rig({}, 0, rootSize);
        QStringList scannable;
        for (int i = 0; i < 4 * newDevices + 20; ++i)
            scannable << LabelText(0x20000 + i);
        rig.op.answers.assign(scannable.begin(), scannable.end());
        rig.op.cancelWhenOut = true;
        QVERIFY(rig.start(kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot));
        const QString port = QString::number(rig.port());
        const QString crc = QString::number(rig.bootLoaderCrc());

        RouterFleet fleet;
        // Interleaved so that both kinds are in flight together. Routers
        // re-send after 60 ms: new devices' repeats queue while the operator
        // scans, and new devices ask while another is in hand.
        // Regression: new devices' failed requests ended each other's
        // hand-over, and a router got a package mixed from two labels.
        for (int i = 0; packageRequests + newDevices > 0; ++i) {
            const bool isNew = newDevices > 0 && (packageRequests == 0 || i % 2 == 1);
            --(isNew ? newDevices : packageRequests);
            fleet.launch({"--port", port, "--timeout-ms", "60", "--retries", "1000",
                          "--scan-wait-ms", "5000", "--seed", QString::number(i), "--name",
                          isNew ? "newboard" : "mac", "--crc", isNew ? crc : "0"});
        }
        if (!RunUntil([&] { return fleet.allFinished(); }, 100000))
            QFAIL(qPrintable(rig.logLines().join('\n').right(3000)));

        QSet<QString> labelsServed;
        for (const RouterResult& r : fleet.results()) {
            QVERIFY2(r.ok(), qPrintable(r.describe()));
            const QString name = r.json.value("served").toArray().last().toString();
            if (name.compare(QStringLiteral("mac"), Qt::CaseInsensitive) == 0)
                continue;
            // A device package goes to the one router it was made for, whole.
            QVERIFY2(scannable.contains(name), qPrintable(r.describe()));
            QVERIFY2(!labelsServed.contains(name), qPrintable(name + " served twice"));
            labelsServed.insert(name);
            const QByteArray sha256 =
                QCryptographicHash::hash(ReadBytes(rig.path(name)), QCryptographicHash::Sha256);
            QCOMPARE(r.json.value("sha256").toString(), QString::fromLatin1(sha256.toHex()));
        }

        // Still answering afterwards.
        const RouterResult last = rig.runRouter({"--name", "mac", "--crc", "0"});
        QVERIFY2(last.ok(), qPrintable(last.describe()));
        rig.stop();
    }
};

QTEST_GUILESS_MAIN(LoadTest)
#include "tst_load.moc"
