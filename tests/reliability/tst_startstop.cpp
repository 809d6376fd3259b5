// Start and Stop of the service, over and over, each Stop landing while a
// router is being served or while the operator is being asked for a label.

#include "tests/support/LiveStation.h"

#include "core/personalise/PackageSources.h"
#include "core/tftp/PacketCodec.h"

#include <QDir>
#include <QTest>
#include <QUdpSocket>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

int OpenDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                .size());
}

// A router's side of one transfer, driven by hand.
class Client {
public:
    explicit Client(std::uint16_t serverPort) : m_port(serverPort) {
        m_socket.bind(QHostAddress::LocalHost, 0);
    }
    void send(const QByteArray& datagram) {
        m_socket.writeDatagram(datagram, QHostAddress::LocalHost, m_port);
    }
    // The next datagram from the server, or an empty one.
    // The station shares this thread's event loop: wait by running it.
    QByteArray receive(int timeoutMs = 5000) {
        if (!RunUntil([this] { return m_socket.hasPendingDatagrams(); }, timeoutMs))
            return {};
        QByteArray datagram(int(tftp::PacketSize) + 16, '\0');
        const qint64 n = m_socket.readDatagram(datagram.data(), datagram.size());
        datagram.truncate(n < 0 ? 0 : n);
        return datagram;
    }

private:
    QUdpSocket m_socket;
    std::uint16_t m_port;
};

std::uint16_t BlockOf(const QByteArray& datagram) {
    if (datagram.size() < 4 || datagram[1] != char(tftp::Opcode::Data))
        return 0;
    return static_cast<std::uint16_t>(static_cast<unsigned char>(datagram[2]) << 8 |
                                      static_cast<unsigned char>(datagram[3]));
}

} // namespace

class StartStopTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cyclesWithTransfersInFlight_data();
    void cyclesWithTransfersInFlight();
};

void StartStopTest::cyclesWithTransfersInFlight_data() {
    QTest::addColumn<int>("cycles");
    QTest::addColumn<bool>("scanPending"); // stop while the operator is being asked

    QTest::newRow("stop mid-transfer") << 200 << false;
    QTest::newRow("stop mid-transfer or while scanning") << 60 << true;
}

void StartStopTest::cyclesWithTransfersInFlight() {
    QFETCH(int, cycles);
    QFETCH(bool, scanPending);

    const std::uint16_t port = FreeUdpPort();
    QVERIFY(port != 0);
    LiveStation::Options options;
    options.port = port;
    LiveStation rig(options);
    constexpr std::uint8_t kAll = kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot;
    const std::int32_t crc = rig.bootLoaderCrc();
    int baseline = -1;
    int scansAsked = 0;

    for (int cycle = 0; cycle < cycles; ++cycle) {
        QVERIFY2(rig.start(kAll), qPrintable(QStringLiteral("start %1").arg(cycle)));
        QCOMPARE(rig.port(), port);
        {
            Client router(port);
            if (scanPending && cycle % 2 == 1) {
                // The answer comes only after the Stop: it must be dropped.
                rig.op.answers.clear();
                rig.op.holdAnswers = true;
                router.send(tftp::ReadRequestDatagram("newboard", crc));
                const QByteArray wait = router.receive();
                QCOMPARE(wait.left(2), tftp::MacWaitDatagram().left(2));
                ++scansAsked;
                QVERIFY(RunUntil([&] { return rig.op.asks.size() == scansAsked; }, 5000));
                QVERIFY(rig.station->isAskingForMac());
                rig.stop();
                QVERIFY(!rig.station->isAskingForMac());
                rig.op.answers.push_back(LabelText(cycle));
                rig.op.releaseAnswers();
                QTest::qWait(1);
                QVERIFY(!QFile::exists(rig.path(LabelText(cycle))));
                QVERIFY(!rig.station->isServerListening());
            } else {
                router.send(tftp::ReadRequestDatagram("mac", 0));
                const int acks = cycle % 5;
                for (int block = 1; block <= acks + 1; ++block) {
                    const QByteArray data = router.receive();
                    QCOMPARE(BlockOf(data), std::uint16_t(block));
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
            baseline = OpenDescriptors();
    }
    // No socket, served file or log file left open by any cycle.
    QCOMPARE(OpenDescriptors(), baseline);

    // ...and a whole transfer still works on the same port.
    QVERIFY(rig.start(kAll));
    Client router(port);
    router.send(tftp::ReadRequestDatagram("mac", 0));
    QByteArray received;
    for (std::uint16_t block = 1;; ++block) {
        const QByteArray data = router.receive();
        QCOMPARE(BlockOf(data), block);
        received += data.mid(4);
        router.send(tftp::AckDatagram(block));
        if (data.size() < 4 + 512)
            break;
    }
    QCOMPARE(received, ReadBytes(rig.path(QStringLiteral("MAC"))));
    rig.stop();
}

QTEST_GUILESS_MAIN(StartStopTest)
#include "tst_startstop.moc"
