// Start and Stop of the service, over and over, each Stop landing while a
// router is being served or while the operator is being asked for a label.

#include "tests/support/LiveStation.h"

#include "core/tftp/PacketCodec.h"

#include <QNetworkDatagram>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

// A router's side of one transfer, driven by hand.
class Client {
public:
    explicit Client(std::uint16_t serverPort) : m_port(serverPort) {
        m_socket.bind(QHostAddress::LocalHost, 0);
    }
    void send(const QByteArray& datagram) {
        m_socket.writeDatagram(datagram, QHostAddress::LocalHost, m_port);
    }
    // The next datagram's block number, 0 for none or not DATA. The station
    // shares this thread's event loop: wait by running it.
    int receiveBlock() {
        RunUntil([this] { return m_socket.hasPendingDatagrams(); }, 5000);
        const QByteArray d = m_socket.receiveDatagram().data();
        return d.size() >= 4 && d[1] == char(tftp::Opcode::Data) ? quint8(d[2]) << 8 | quint8(d[3])
                                                                 : 0;
    }

private:
    QUdpSocket m_socket;
    std::uint16_t m_port;
};

} // namespace

class StartStopTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cyclesWithTransfersInFlight_data() {
        QTest::addColumn<int>("cycles");
        QTest::addColumn<bool>("scanPending"); // stop while the operator is being asked
        QTest::newRow("stop mid-transfer") << 200 << false;
        QTest::newRow("stop mid-transfer or while scanning") << 60 << true;
    }
    void cyclesWithTransfersInFlight() {
        QFETCH(int, cycles);
        QFETCH(bool, scanPending);
        const auto openFiles = [] {
            return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
        };
        const std::uint16_t port = FreeUdpPort();
        LiveStation rig({}, port);
        constexpr std::uint8_t kAll = kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot;
        const std::int32_t crc = rig.bootLoaderCrc();
        qsizetype baseline = -1;

        for (int cycle = 0; cycle < cycles; ++cycle) {
            QVERIFY2(rig.start(kAll), qPrintable(QStringLiteral("start %1").arg(cycle)));
            {
                Client router(port);
                if (scanPending && cycle % 2 == 1) {
                    // The answer comes only after the Stop: it must be dropped.
                    router.send(tftp::ReadRequestDatagram("newboard", crc));
                    QVERIFY(RunUntil([&] { return rig.op.asks.size() == (cycle + 1) / 2; }, 5000));
                    QVERIFY(rig.station->isAskingForMac());
                    rig.stop();
                    QVERIFY(!rig.station->isAskingForMac());
                    rig.station->OnMacAnswer(rig.op.asks.last(), LabelText(cycle));
                    QTest::qWait(1);
                    QVERIFY(!QFile::exists(rig.path(LabelText(cycle))));
                } else {
                    router.send(tftp::ReadRequestDatagram("mac", 0));
                    const int acks = cycle % 5;
                    for (int block = 1; block <= acks + 1; ++block) {
                        QCOMPARE(router.receiveBlock(), block);
                        if (block <= acks)
                            router.send(tftp::AckDatagram(std::uint16_t(block)));
                    }
                    if (cycle % 3 == 0)
                        router.send(tftp::AckDatagram(std::uint16_t(acks + 1))); // crosses the Stop
                    rig.stop();
                }
            }
            QVERIFY(!rig.station->isServerListening());
            if (cycle == 4)
                baseline = openFiles();
        }
        // No socket, served file or log file left open by any cycle.
        QCOMPARE(openFiles(), baseline);

        // ...and a whole transfer still works on the same port.
        QVERIFY(rig.start(kAll));
        const RouterResult router = rig.runRouter({"--name", "mac", "--crc", "0"});
        QVERIFY2(router.ok(), qPrintable(router.describe()));
        QCOMPARE(router.received, ReadBytes(rig.path(QStringLiteral("MAC"))));
        rig.stop();
    }
};

QTEST_GUILESS_MAIN(StartStopTest)
#include "tst_startstop.moc"
