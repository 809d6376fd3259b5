#include "core/personalise/ConfigTemplate.h"
#include "core/personalise/Crc32.h"

#include "TestFiles.h"

#include <QTest>

using namespace quorvane;

namespace {

const MacTriple kTriple = TripleFromSerial("12345", 5);
const QByteArray kWan = "WAN_MAC_ADDR=5e:3a:71:12:34:57";

QByteArrayList BlockEntries(const QByteArray& block) {
    QByteArrayList out;
    qsizetype at = 4;
    while (at < block.size() && block[at] != '\0') {
        const qsizetype end = block.indexOf('\0', at);
        out << block.mid(at, end - at);
        at = end + 1;
    }
    return out;
}

} // namespace

class TestConfigTemplate : public QObject {
    Q_OBJECT
private slots:
    void block_data();
    void block();
    void blockLayout();
    void blockLimit_data();
    void blockLimit();
    void openNetwork_data();
    void openNetwork();
    void wpaKey_data();
    void wpaKey();
};

void TestConfigTemplate::block_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("wpa");
    QTest::addColumn<QByteArrayList>("entries");

    QTest::newRow("personalised lines")
        << QByteArray("SSID1=Office\nWPAPSK1=abc\nWAN_MAC_ADDR=00:00:00:00:00:00\n# comment\n")
        << true << QByteArrayList{"SSID1=Office_2345", "WPAPSK1=71123458", kWan};
    QTest::newRow("wireless key mode off keeps the key")
        << QByteArray("WPAPSK1=abc\nAuthMode=OPEN\n") << false
        << QByteArrayList{"WPAPSK1=abc", "AuthMode=OPEN", kWan};
    QTest::newRow("no WAN line gets one at the end")
        << QByteArray("A=1\nB=2\n") << true << QByteArrayList{"A=1", "B=2", kWan};
    QTest::newRow("last line without line feed is lost")
        << QByteArray("A=1\nWAN_MAC_ADDR=x") << true << QByteArrayList{"A=1", kWan};
    QTest::newRow("WPAPSK1 as last line without line feed")
        << QByteArray("A=1\nWPAPSK1=") << true << QByteArrayList{"A=1", kWan};
    QTest::newRow("two SSID1 lines") << QByteArray("SSID1=a\nSSID1=b\n") << true
                                     << QByteArrayList{"SSID1=a_2345", "SSID1=b_2345", kWan};
    QTest::newRow("SSID1 anywhere in the line")
        << QByteArray("WscSSID1=a\n") << true << QByteArrayList{"WscSSID1=a_2345", kWan};
    QTest::newRow("CR LF lines keep their CR, the suffix goes before it")
        << QByteArray("SSID1=Office\r\nA=1\r\nWPAPSK1=old\r\nWAN_MAC_ADDR=0\r\n") << true
        << QByteArrayList{"SSID1=Office_2345\r", "A=1\r", "WPAPSK1=71123458", kWan};
    QTest::newRow("line that only contains the key keeps its own key")
        << QByteArray("XWPAPSK1=foo\nLAN_WAN_MAC_ADDR=1\n") << true
        << QByteArrayList{"XWPAPSK1=foo", "LAN_WAN_MAC_ADDR=1", kWan};
    QTest::newRow("empty template") << QByteArray() << true << QByteArrayList{kWan};
    QTest::newRow("lines without '=' and empty lines dropped")
        << QByteArray("\n\n#x\n=\n") << true << QByteArrayList{"=", kWan};
    QTest::newRow("two WAN lines, no extra entry")
        << QByteArray("WAN_MAC_ADDR=1\nWAN_MAC_ADDR=2\n") << true << QByteArrayList{kWan, kWan};
}

void TestConfigTemplate::block() {
    QFETCH(QByteArray, text);
    QFETCH(bool, wpa);
    const std::optional<QByteArray> block = BuildConfigBlock(text, kTriple, wpa);
    QVERIFY(block);
    QTEST(BlockEntries(*block), "entries");
}

void TestConfigTemplate::blockLayout() {
    const std::optional<QByteArray> block = BuildConfigBlock("SSID1=Office\n", kTriple, true);
    QVERIFY(block);
    QCOMPARE(block->size(), 16384);
    QCOMPARE(testfiles::Le32At(*block, 0), Crc32(block->mid(4)));
    const QByteArray entries = QByteArray("SSID1=Office_2345\0", 18) + kWan + '\0';
    QCOMPARE(block->mid(4, entries.size()), entries);
    QCOMPARE(block->mid(4 + entries.size()), QByteArray(16380 - entries.size(), '\0'));
}

void TestConfigTemplate::blockLimit_data() {
    QTest::addColumn<int>("valueSize");
    QTest::addColumn<bool>("fits");
    // The WAN entry takes 31 bytes, "A=" and its NUL 3 more: 16,380 in all.
    QTest::newRow("entries fill the block") << 16346 << true;
    QTest::newRow("one byte over") << 16347 << false;
    QTest::newRow("far over") << 100000 << false;
}

void TestConfigTemplate::blockLimit() {
    QFETCH(int, valueSize);
    QFETCH(bool, fits);
    const QByteArray text = "WAN_MAC_ADDR=x\nA=" + QByteArray(valueSize, 'v') + '\n';
    const std::optional<QByteArray> block = BuildConfigBlock(text, kTriple, true);
    QCOMPARE(block.has_value(), fits);
    if (fits) {
        QCOMPARE(block->size(), 16384);
        QCOMPARE(block->back(), '\0');
        QCOMPARE(block->at(16382), 'v');
    }
}

void TestConfigTemplate::openNetwork_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("open");
    QTest::newRow("own line") << QByteArray("SSID1=a\nAuthMode=OPEN\n") << true;
    QTest::newRow("inside a line") << QByteArray("X_AuthMode=OPENWEP") << true;
    QTest::newRow("other case") << QByteArray("authmode=open\n") << false;
    QTest::newRow("WPA") << QByteArray("AuthMode=WPA2PSK\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestConfigTemplate::openNetwork() {
    QFETCH(QByteArray, text);
    QTEST(ConfiguresOpenNetwork(text), "open");
}

void TestConfigTemplate::wpaKey_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected"); // empty: no WPAPSK1 line
    QTest::newRow("empty value") << QByteArray("SSID1=a\nWPAPSK1=\nWAN_MAC_ADDR=0\n")
                                 << QByteArray("SSID1=a\nWPAPSK1=71123458\nWAN_MAC_ADDR=0\n");
    QTest::newRow("first line") << QByteArray("WPAPSK1=\n") << QByteArray("WPAPSK1=71123458\n");
    QTest::newRow("old value replaced")
        << QByteArray("WPAPSK1=secret\nB=1\n") << QByteArray("WPAPSK1=71123458\nB=1\n");
    QTest::newRow("only the first line")
        << QByteArray("WPAPSK1=\nWPAPSK1=\n") << QByteArray("WPAPSK1=71123458\nWPAPSK1=\n");
    QTest::newRow("XWPAPSK1 is not the line")
        << QByteArray("XWPAPSK1=\nWPAPSK1=\n") << QByteArray("XWPAPSK1=\nWPAPSK1=71123458\n");
    QTest::newRow("last line without line feed")
        << QByteArray("A=1\nWPAPSK1=") << QByteArray("A=1\nWPAPSK1=71123458");
    QTest::newRow("CR belongs to the old value")
        << QByteArray("WPAPSK1=\r\nB=1\r\n") << QByteArray("WPAPSK1=71123458\nB=1\r\n");
    QTest::newRow("only XWPAPSK1") << QByteArray("XWPAPSK1=\n") << QByteArray();
    QTest::newRow("key without '='") << QByteArray("WPAPSK1\n") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestConfigTemplate::wpaKey() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> out = InsertWpaKey(text, "71123458");
    QCOMPARE(out.has_value(), !expected.isEmpty());
    if (out)
        QCOMPARE(*out, expected);
}

QTEST_GUILESS_MAIN(TestConfigTemplate)
#include "tst_configtemplate.moc"
