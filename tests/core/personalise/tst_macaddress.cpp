#include "core/personalise/Crc32.h"
#include "core/personalise/MacAddress.h"

#include <QTest>

using namespace quorvane;

namespace {

QString Hex12(const MacAddress& a) {
    return QByteArray(reinterpret_cast<const char*>(a.bytes.data()), 6).toHex().toUpper();
}

} // namespace

class TestMacAddress : public QObject {
    Q_OBJECT
private slots:
    void crc32_data();
    void crc32();
    void parse_data();
    void parse();
    void makeTriple_data();
    void makeTriple();
    void tripleFromSerial_data();
    void tripleFromSerial();
    void textForms();
    void tripleFromMacField_data();
    void tripleFromMacField();
    void scanVerdict_data();
    void scanVerdict();
};

void TestMacAddress::crc32_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint32>("crc");
    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("check string") << QByteArray("123456789") << 0xCBF43926u;
    QTest::newRow("128 KiB of zeros") << QByteArray(131072, '\0') << 0x7EE8CDCDu;
}

void TestMacAddress::crc32() {
    QFETCH(QByteArray, data);
    QFETCH(quint32, crc);
    QCOMPARE(Crc32(data), crc);
}

void TestMacAddress::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("bytes");
    QTest::newRow("lower") << "5e3a71123458"
                           << "5E3A71123458";
    // a field stops at its first non-digit; no digit reads as 0
    QTest::newRow("non-hex second char") << "5g3a71123458"
                                         << "053A71123458";
    QTest::newRow("non-hex first char") << "g53a71123458"
                                        << "003A71123458";
    QTest::newRow("short text") << "5e3a71"
                                << "5E3A71000000";
    QTest::newRow("only first 12 count") << "5e3a71123458ff"
                                         << "5E3A71123458";
}

void TestMacAddress::parse() {
    QFETCH(QString, text);
    QFETCH(QString, bytes);
    QCOMPARE(Hex12(ParseMacText(text)), bytes);
}

void TestMacAddress::makeTriple_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("modelMac");
    QTest::addColumn<QString>("wan");
    QTest::newRow("model 10") << "5E3A711234B8" << 10 << "5E3A711234B8"
                              << "5E3A711234BA"
                              << "5E3A711234B7";
    QTest::newRow("model 0") << "5E3A711234B8" << 0 << "5E3A711234B8"
                             << "5E3A711234B0"
                             << "5E3A711234B7";
    QTest::newRow("last digit dropped") << "5E3A711234BF" << 5 << "5E3A711234B8"
                                        << "5E3A711234B5"
                                        << "5E3A711234B7";
    QTest::newRow("model 15") << "5E3A71123450" << 15 << "5E3A71123458"
                              << "5E3A7112345F"
                              << "5E3A71123457";
}

void TestMacAddress::makeTriple() {
    QFETCH(QString, address);
    QFETCH(int, model);
    const MacTriple t = MakeTriple(ParseMacText(address), model);
    QTEST(Hex12(t.base), "base");
    QTEST(Hex12(t.model), "modelMac");
    QTEST(Hex12(t.wan), "wan");
}

void TestMacAddress::tripleFromSerial_data() {
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("modelMac");
    QTest::addColumn<QString>("wan");
    QTest::newRow("12345") << "12345" << 5 << "5E3A71123458"
                           << "5E3A71123455"
                           << "5E3A71123457";
    QTest::newRow("lower case") << "abcde" << 9 << "5E3A71ABCDE8"
                                << "5E3A71ABCDE9"
                                << "5E3A71ABCDE7";
    QTest::newRow("00012") << "00012" << 5 << "5E3A71000128"
                           << "5E3A71000125"
                           << "5E3A71000127";
    QTest::newRow("short serial") << "123" << 5 << "5E3A71120308"
                                  << "5E3A71120305"
                                  << "5E3A71120307";
}

void TestMacAddress::tripleFromSerial() {
    QFETCH(QString, serial);
    QFETCH(int, model);
    const MacTriple t = TripleFromSerial(serial, model);
    QTEST(Hex12(t.base), "base");
    QTEST(Hex12(t.model), "modelMac");
    QTEST(Hex12(t.wan), "wan");
}

void TestMacAddress::textForms() {
    const MacAddress base = ParseMacText("5E3A71123458");
    QCOMPARE(KeyText(base), "71123458");
    QCOMPARE(SsidSuffix(base), "2345");
    QCOMPARE(ColonText(ParseMacText("5E3A71123457")), "5e:3a:71:12:34:57");
    QCOMPARE(SsidSuffix(ParseMacText("5E3A71ABCDE8")), "bcde");
    QCOMPARE(SerialFromMac(ParseMacText("5e3a71abcde8")), "ABCDE");
    QCOMPARE(SerialFromMac(TripleFromSerial("0A0B0", 5).wan), "0A0B0");
    QCOMPARE(SerialFromScan("5e3a71123458"), "12345");
    QCOMPARE(SerialFromScan("5e3a71abcde8"), "abcde");
}

void TestMacAddress::tripleFromMacField_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("base");
    QTest::newRow("serial") << "12345"
                            << "5E3A71123458";
    QTest::newRow("label of another vendor") << "0011223344a8"
                                             << "0011223344A8";
    QTest::newRow("label keeps its own prefix") << "5e3a71abcde8"
                                                << "5E3A71ABCDE8";
}

void TestMacAddress::tripleFromMacField() {
    QFETCH(QString, field);
    QTEST(Hex12(TripleFromMacField(field, 5).base), "base");
}

void TestMacAddress::scanVerdict_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("message");
    const auto ok = int(ScanVerdict::Accepted);
    const auto bad = int(ScanVerdict::BadCharacter);
    const auto role = int(ScanVerdict::BadRoleDigit);
    const auto more = int(ScanVerdict::Incomplete);
    QTest::newRow("lower") << "5e3a711234b8" << ok << "";
    QTest::newRow("upper") << "5E3A711234B8" << ok << "";
    QTest::newRow("role 7") << "5e3a711234b7" << role << "MAC尾数不是8，格式不对";
    QTest::newRow("g") << "5e3a71g234b8" << bad << "MAC字符异常，格式不对";
    QTest::newRow("colon") << "5e3a71:234b8" << bad << "MAC字符异常，格式不对";
    QTest::newRow("bad char wins over role") << "5e3a71g234b7" << bad << "MAC字符异常，格式不对";
    QTest::newRow("11 chars") << "5e3a711234b" << more << "";
    QTest::newRow("empty") << "" << more << "";
}

void TestMacAddress::scanVerdict() {
    QFETCH(QString, text);
    QFETCH(int, verdict);
    const ScanVerdict v = CheckScanText(text);
    QCOMPARE(int(v), verdict);
    QTEST(ScanVerdictMessage(v), "message");
}

QTEST_GUILESS_MAIN(TestMacAddress)
#include "tst_macaddress.moc"
