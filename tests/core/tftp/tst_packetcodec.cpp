#include "core/tftp/PacketCodec.h"

#include <QTest>

using namespace quorvane::tftp;

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
    QTest::addColumn<bool>("nameOk");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("crc");

    const QByteArray modeAndSkip = QByteArray("octet\0"
                                              "tsize\0"
                                              "0\0"
                                              "skip\0",
                                              19);
    auto withCrc = [&](const QByteArray& crcText) {
        return Rrq(QByteArray("mac\0", 4) + modeAndSkip + crcText + '\0');
    };
    QTest::newRow("plain request")
        << Rrq(QByteArray("mac\0octet\0", 10)) << true << QByteArray("mac") << 0;
    QTest::newRow("negative") << withCrc("-1234") << true << QByteArray("mac") << -1234;
    QTest::newRow("stops at non-digit") << withCrc("12ab") << true << QByteArray("mac") << 12;
    QTest::newRow("empty text") << withCrc("") << true << QByteArray("mac") << 0;
    QTest::newRow("space and plus") << withCrc(" \t+77") << true << QByteArray("mac") << 77;
    QTest::newRow("largest") << withCrc("2147483647") << true << QByteArray("mac") << INT32_MAX;
    QTest::newRow("smallest") << withCrc("-2147483648") << true << QByteArray("mac") << INT32_MIN;
    QTest::newRow("above range saturates")
        << withCrc("4294967295") << true << QByteArray("mac") << INT32_MAX;
    QTest::newRow("far below saturates")
        << withCrc("-99999999999999999999") << true << QByteArray("mac") << INT32_MIN;
    QTest::newRow("no text after the name")
        << Rrq(QByteArray("abc", 3)) << true << QByteArray("abc") << 0;
    // The mode field is 6 bytes whatever it says: "netascii" spills into the
    // skipped field.
    QTest::newRow("other mode text") << Rrq(QByteArray("f\0netascii\0"
                                                       "x\0"
                                                       "99\0",
                                                       16))
                                     << true << QByteArray("f") << 0;
    QTest::newRow("curl options: CRC reads 512") << Rrq(QByteArray("f\0octet\0tsize\0"
                                                                   "0\0blksize\0"
                                                                   "512\0timeout\0"
                                                                   "6\0",
                                                                   38))
                                                 << true << QByteArray("f") << 512;
    QTest::newRow("127-character name") << Rrq(QByteArray(127, 'n') + QByteArray("\0octet\0", 7))
                                        << true << QByteArray(127, 'n') << 0;
    QTest::newRow("128-character name refused")
        << Rrq(QByteArray(128, 'n') + QByteArray("\0octet\0", 7)) << false << QByteArray() << 0;
    QTest::newRow("550 bytes of one text")
        << Rrq(QByteArray(548, 'n')) << false << QByteArray() << 0;
    // A CRC text that runs to the end of the buffer is read up to there.
    QTest::newRow("CRC text to the end of the buffer")
        << Rrq(QByteArray("f\0", 2) + QByteArray(15, 'x') + '\0' + QByteArray(530, '7')) << true
        << QByteArray("f") << INT32_MAX;
    QTest::newRow("fields past the end") << Rrq(QByteArray(120, 'n') + '\0' + QByteArray(427, 'm'))
                                         << true << QByteArray(120, 'n') << 0;
}

void TestPacketCodec::readRequest() {
    QFETCH(QByteArray, datagram);
    QFETCH(bool, nameOk);
    QFETCH(QByteArray, name);
    QFETCH(int, crc);
    const ReceiveBuffer in = Received(datagram);
    QCOMPARE(int(ReadOpcode(in)), 1);
    NameBuffer nameBuffer;
    nameBuffer.fill('?');
    QCOMPARE(ReadRequestName(in, nameBuffer), nameOk);
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
    const ReceiveBuffer in = Received(datagram);
    QCOMPARE(ReadDoneMac(in).toByteArray(), mac);
}

void TestPacketCodec::dataPacket_data() {
    QTest::addColumn<quint32>("block");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("length");
    QTest::newRow("first block") << 1u << 512 << Bytes({0, 3, 0, 1}) << 516;
    QTest::newRow("last of 1000 bytes") << 2u << 488 << Bytes({0, 3, 0, 2}) << 492;
    QTest::newRow("empty last block") << 3u << 0 << Bytes({0, 3, 0, 3}) << 4;
    QTest::newRow("block 65535") << 65535u << 512 << Bytes({0, 3, 0xFF, 0xFF}) << 516;
    QTest::newRow("block 65536 goes out as 0") << 65536u << 7 << Bytes({0, 3, 0, 0}) << 11;
    QTest::newRow("block 65537 goes out as 1") << 65537u << 1 << Bytes({0, 3, 0, 1}) << 5;
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
    QCOMPARE(datagram.left(4), header);
    QCOMPARE(datagram.mid(4), source.left(length - 4));
    QCOMPARE(DataDatagram(block, source.left(length - 4)), datagram);
}

void TestPacketCodec::macDatagrams() {
    const QByteArray wait = MacWaitDatagram();
    QCOMPARE(wait.size(), 550);
    QCOMPARE(wait.left(2), Bytes({0, 7}));
    QCOMPARE(wait.mid(2), QByteArray(548, '\0'));

    const QByteArray set = MacSetDatagram("5E3A71123458");
    QCOMPARE(set.size(), 550);
    QCOMPARE(set.left(14), QByteArray("\x00\x08"
                                      "5E3A71123458",
                                      14));
    QCOMPARE(set.mid(14), QByteArray(536, '\0'));

    // Cancelled scan: nothing after the opcode.
    QCOMPARE(MacSetDatagram({}).mid(2), QByteArray(548, '\0'));
    // A text too long still leaves its NUL inside the datagram.
    const QByteArray longSet = MacSetDatagram(QByteArray(800, 'x'));
    QCOMPARE(longSet.size(), 550);
    QCOMPARE(longSet.at(549), '\0');
    QCOMPARE(longSet.mid(2, 547), QByteArray(547, 'x'));
}

QTEST_APPLESS_MAIN(TestPacketCodec)
#include "tst_packetcodec.moc"
