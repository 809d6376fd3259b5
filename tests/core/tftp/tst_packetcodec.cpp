#include "core/tftp/PacketCodec.h"

#include <QTest>

using namespace quorvane::tftp;

// Names over 127 characters, texts without NUL and the 550-byte request of
// one text are driven through the handler's bad-input table.

namespace {

QByteArray Rrq(const QByteArray& afterOpcode) {
    return QByteArray("\x00\x01", 2) + afterOpcode;
}

ReceiveBuffer Received(const QByteArray& datagram) {
    ReceiveBuffer in;
    in.assign(datagram);
    return in;
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

} // namespace

class TestPacketCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readRequest_data();
    void readRequest();
    void doneMac_data();
    void doneMac();
    void dataPacket_data();
    void dataPacket();
    void macDatagrams();
};

void TestPacketCodec::readRequest_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("crc");

    auto withCrc = [](const QByteArray& crcText) {
        return Rrq(QByteArray("mac\0octet\0tsize\0"
                              "0\0skip\0",
                              23) +
                   crcText + '\0');
    };
    QTest::newRow("plain request") << Rrq(QByteArray("mac\0octet\0", 10)) << QByteArray("mac") << 0;
    QTest::newRow("negative") << withCrc("-1234") << QByteArray("mac") << -1234;
    QTest::newRow("stops at non-digit") << withCrc("12ab") << QByteArray("mac") << 12;
    QTest::newRow("empty text") << withCrc("") << QByteArray("mac") << 0;
    QTest::newRow("largest") << withCrc("2147483647") << QByteArray("mac") << INT32_MAX;
    QTest::newRow("smallest") << withCrc("-2147483648") << QByteArray("mac") << INT32_MIN;
    QTest::newRow("above range saturates")
        << withCrc("4294967295") << QByteArray("mac") << INT32_MAX;
    QTest::newRow("below range saturates")
        << withCrc("-99999999999999999999") << QByteArray("mac") << INT32_MIN;
    // Fields 3 and 4 are 6 and 8 bytes whatever they hold.
    QTest::newRow("curl options: CRC reads 512") << Rrq(QByteArray("f\0octet\0tsize\0"
                                                                   "0\0blksize\0"
                                                                   "512\0timeout\0"
                                                                   "6\0",
                                                                   38))
                                                 << QByteArray("f") << 512;
    QTest::newRow("CRC text to the end of the buffer")
        << Rrq(QByteArray("f\0", 2) + QByteArray(15, 'x') + '\0' + QByteArray(530, '7'))
        << QByteArray("f") << INT32_MAX;
    QTest::newRow("fields past the end")
        << Rrq(QByteArray(120, 'n') + '\0' + QByteArray(427, 'm')) << QByteArray(120, 'n') << 0;
}

void TestPacketCodec::readRequest() {
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, name);
    QFETCH(int, crc);
    const ReceiveBuffer in = Received(datagram);
    QCOMPARE(int(ReadOpcode(in)), 1);
    NameBuffer nameBuffer;
    nameBuffer.fill('?');
    QVERIFY(ReadRequestName(in, nameBuffer));
    QCOMPARE(QByteArray(nameBuffer.data()), name);
    QCOMPARE(ReadRequestCrc(in), crc);
}

void TestPacketCodec::doneMac_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("mac");
    QTest::newRow("label text") << QByteArray("\x00\x09"
                                              "5e3a71000018\0",
                                              15)
                                << QByteArray("5e3a71000018");
    QTest::newRow("no NUL, short") << QByteArray("\x00\x09"
                                                 "5E3A",
                                                 6)
                                   << QByteArray("5E3A");
    QTest::newRow("no NUL, whole buffer")
        << QByteArray("\x00\x09", 2) + QByteArray(600, 'A') << QByteArray(548, 'A');
    QTest::newRow("no text") << QByteArray("\x00\x09", 2) << QByteArray();
}

void TestPacketCodec::doneMac() {
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, mac);
    QCOMPARE(ReadDoneMac(Received(datagram)).toByteArray(), mac);
}

void TestPacketCodec::dataPacket_data() {
    QTest::addColumn<quint32>("block");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("length");
    QTest::newRow("first block") << 1u << 512 << Bytes({0, 3, 0, 1}) << 516;
    QTest::newRow("empty last block") << 3u << 0 << Bytes({0, 3, 0, 3}) << 4;
    QTest::newRow("block 65535") << 65535u << 512 << Bytes({0, 3, 0xFF, 0xFF}) << 516;
    QTest::newRow("block 65536 goes out as 0") << 65536u << 7 << Bytes({0, 3, 0, 0}) << 11;
    QTest::newRow("count over 512 is cut") << 9u << 700 << Bytes({0, 3, 0, 9}) << 516;
}

void TestPacketCodec::dataPacket() {
    QFETCH(quint32, block);
    QFETCH(int, count);
    QFETCH(QByteArray, header);
    QFETCH(int, length);
    QByteArray source(count, '\0');
    for (int i = 0; i < count; ++i)
        source[i] = static_cast<char>(i * 31);
    DataPacketBuffer out;
    out.fill('\x55');
    QCOMPARE(int(BuildDataPacket(block, source.constData(), size_t(count), out)), length);
    const QByteArray datagram(out.data(), length);
    QCOMPARE(datagram, header + source.left(length - 4));
    QCOMPARE(DataDatagram(block, source.left(length - 4)), datagram);
}

void TestPacketCodec::macDatagrams() {
    QCOMPARE(MacWaitDatagram(), Bytes({0, 7}) + QByteArray(548, '\0'));
    QCOMPARE(MacSetDatagram("5E3A71123458"), QByteArray("\x00\x08"
                                                        "5E3A71123458",
                                                        14) +
                                                 QByteArray(536, '\0'));
    QCOMPARE(MacSetDatagram({}), Bytes({0, 8}) + QByteArray(548, '\0')); // cancelled scan
    // A text too long still leaves its NUL inside the datagram.
    QCOMPARE(MacSetDatagram(QByteArray(800, 'x')), Bytes({0, 8}) + QByteArray(547, 'x') + '\0');
}

QTEST_APPLESS_MAIN(TestPacketCodec)
#include "tst_packetcodec.moc"
