#include "core/personalise/ConfigTemplate.h"
#include "core/personalise/Crc32.h"
#include "core/personalise/MacAddress.h"

#include "TestFiles.h"

#include <QTest>

using namespace quorvane;

namespace {

const MacTriple kTriple = TripleFromSerial("12345", 5);
const QByteArray kWan = "WAN_MAC_ADDR=5e:3a:71:12:34:57";

} // namespace

// The pure text and byte forms of personalisation: addresses and the template.
class TestFormats : public QObject {
    Q_OBJECT
private slots:
    // A label's hex field stops at its first non-hex digit; a field with no
    // digit reads as 0. Base, model and WAN addresses, as hex.
    void triple_data() {
        QTest::addColumn<bool>("serial"); // else a label text
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("model");
        QTest::addColumn<QByteArray>("triple");
        const auto row = [](const char* name, bool serial, const char* text, int model,
                            const char* triple) {
            QTest::newRow(name) << serial << QString(text) << model << QByteArray(triple);
        };
        row("label, model 10", false, "5E3A711234B8", 10, "5e3a711234b85e3a711234ba5e3a711234b7");
        row("label, model 0", false, "5e3a711234b8", 0, "5e3a711234b85e3a711234b05e3a711234b7");
        row("last digit dropped", false, "5E3A711234BF", 5, "5e3a711234b85e3a711234b55e3a711234b7");
        row("non-hex second digit", false, "5g3a71123458", 5,
            "053a71123458053a71123455053a71123457");
        row("short label", false, "5e3a71", 5, "5e3a710000085e3a710000055e3a71000007");
        row("serial 12345", true, "12345", 5, "5e3a711234585e3a711234555e3a71123457");
        row("lower-case serial", true, "abcde", 9, "5e3a71abcde85e3a71abcde95e3a71abcde7");
        row("short serial", true, "123", 5, "5e3a711203085e3a711203055e3a71120307");
    }
    void triple() {
        QFETCH(bool, serial);
        QFETCH(QString, text);
        QFETCH(int, model);
        const MacTriple t =
            serial ? TripleFromSerial(text, model) : MakeTriple(ParseMacText(text), model);
        QTEST(TripleBytes(t).toHex(), "triple");
    }

    void textForms() {
        const MacAddress base = ParseMacText("5E3A71123458");
        QCOMPARE(KeyText(base), "71123458");
        QCOMPARE(SsidSuffix(base), "2345");
        QCOMPARE(SsidSuffix(ParseMacText("5E3A71ABCDE8")), "bcde");
        QCOMPARE(ColonText(ParseMacText("5E3A71123457")), "5e:3a:71:12:34:57");
        QCOMPARE(SerialFromMac(base), "12345");
        QCOMPARE(SerialFromMac(TripleFromSerial("0a0b0", 5).wan), "0A0B0");
        QCOMPARE(SerialFromScan("5e3a71abcde8"), "abcde");
    }

    void scanVerdict_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<ScanVerdict>("verdict");
        QTest::addColumn<QString>("message");
        const QString badChar = "MAC字符异常，格式不对";
        QTest::newRow("lower") << "5e3a711234b8" << ScanVerdict::Accepted << "";
        QTest::newRow("upper") << "5E3A711234B8" << ScanVerdict::Accepted << "";
        QTest::newRow("role 7") << "5e3a711234b7" << ScanVerdict::BadRoleDigit
                                << "MAC尾数不是8，格式不对";
        QTest::newRow("g") << "5e3a71g234b8" << ScanVerdict::BadCharacter << badChar;
        QTest::newRow("colon") << "5e3a71:234b8" << ScanVerdict::BadCharacter << badChar;
        QTest::newRow("bad char wins") << "5e3a71g234b7" << ScanVerdict::BadCharacter << badChar;
        QTest::newRow("11 chars") << "5e3a711234b" << ScanVerdict::Incomplete << "";
    }
    void scanVerdict() {
        QFETCH(QString, text);
        const ScanVerdict v = CheckScanText(text);
        QTEST(v, "verdict");
        QTEST(ScanVerdictMessage(v), "message");
    }

    // The device package's configuration block: CRC, then NUL-separated entries.
    void block_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("wpa");
        QTest::addColumn<QByteArrayList>("entries"); // empty: over 16,380 bytes
        QTest::newRow("personalised lines")
            << QByteArray("SSID1=Office\nWPAPSK1=abc\nWAN_MAC_ADDR=00:00:00:00:00:00\n# comment\n")
            << true << QByteArrayList{"SSID1=Office_2345", "WPAPSK1=71123458", kWan};
        QTest::newRow("key mode off keeps the key")
            << QByteArray("WPAPSK1=abc\n") << false << QByteArrayList{"WPAPSK1=abc", kWan};
        QTest::newRow("last line without line feed is lost")
            << QByteArray("A=1\nB=2") << true << QByteArrayList{"A=1", kWan};
        QTest::newRow("two SSID1 lines, one inside a key")
            << QByteArray("SSID1=a\nWscSSID1=b\n") << true
            << QByteArrayList{"SSID1=a_2345", "WscSSID1=b_2345", kWan};
        QTest::newRow("CR stays, the suffix goes before it")
            << QByteArray("SSID1=Office\r\nWPAPSK1=old\r\n") << true
            << QByteArrayList{"SSID1=Office_2345\r", "WPAPSK1=71123458", kWan};
        QTest::newRow("a key only contained keeps its value")
            << QByteArray("XWPAPSK1=foo\nLAN_WAN_MAC_ADDR=1\n") << true
            << QByteArrayList{"XWPAPSK1=foo", "LAN_WAN_MAC_ADDR=1", kWan};
        QTest::newRow("lines without '=' dropped")
            << QByteArray("\n\n#x\n=\n") << true << QByteArrayList{"=", kWan};
        // The WAN entry takes 31 bytes, "A=" and its NUL 3 more: 16,380 in all.
        QTest::newRow("entries fill the block")
            << "WAN_MAC_ADDR=x\nA=" + QByteArray(16346, 'v') + '\n'
            << true << QByteArrayList{kWan, "A=" + QByteArray(16346, 'v')};
        QTest::newRow("one byte over") << "A=" + QByteArray(16347, 'v') + '\n'
                                       << true << QByteArrayList();
    }
    void block() {
        QFETCH(QByteArray, text);
        QFETCH(bool, wpa);
        QFETCH(QByteArrayList, entries);
        const std::optional<QByteArray> block = BuildConfigBlock(text, kTriple, wpa);
        QCOMPARE(block.has_value(), !entries.isEmpty());
        if (!block)
            return;
        const QByteArray packed = entries.join('\0') + '\0';
        QCOMPARE(*block, testfiles::LeWord(Crc32(block->mid(4))) + packed +
                             QByteArray(16380 - packed.size(), '\0'));
    }

    void openNetwork() {
        QVERIFY(ConfiguresOpenNetwork("SSID1=a\nX_AuthMode=OPENWEP"));
        QVERIFY(!ConfiguresOpenNetwork("authmode=open\n"));
    }

    // The MAC package's template: only the line that begins with the key.
    void wpaKey_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected"); // empty: no WPAPSK1 line
        QTest::newRow("empty value") << QByteArray("SSID1=a\nWPAPSK1=\nWAN_MAC_ADDR=0\n")
                                     << QByteArray("SSID1=a\nWPAPSK1=71123458\nWAN_MAC_ADDR=0\n");
        QTest::newRow("old value replaced")
            << QByteArray("WPAPSK1=secret\nB=1\n") << QByteArray("WPAPSK1=71123458\nB=1\n");
        QTest::newRow("XWPAPSK1 skipped, only the first line")
            << QByteArray("XWPAPSK1=\nWPAPSK1=\nWPAPSK1=\n")
            << QByteArray("XWPAPSK1=\nWPAPSK1=71123458\nWPAPSK1=\n");
        QTest::newRow("last line without line feed")
            << QByteArray("A=1\nWPAPSK1=") << QByteArray("A=1\nWPAPSK1=71123458");
        QTest::newRow("CR belongs to the old value")
            << QByteArray("WPAPSK1=\r\nB=1\r\n") << QByteArray("WPAPSK1=71123458\nB=1\r\n");
        QTest::newRow("only XWPAPSK1") << QByteArray("XWPAPSK1=\n") << QByteArray();
        QTest::newRow("key without '='") << QByteArray("WPAPSK1\n") << QByteArray();
    }
    void wpaKey() {
        QFETCH(QByteArray, text);
        QTEST(InsertWpaKey(text, "71123458").value_or(QByteArray()), "expected");
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
