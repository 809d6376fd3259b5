#include "core/personalise/Crc32.h"
#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageInspect.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

namespace {

void PutLe32(QByteArray& bytes, qsizetype at, quint32 value) {
    qToLittleEndian(value, bytes.data() + at);
}

} // namespace

class TestPackageInspect : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void devicePackage();
    void macPackage();
    void corrupted_data();
    void corrupted();
    void everyTruncation_data();
    void everyTruncation();

private:
    QTemporaryDir m_dir;
    QByteArray m_device; // all four sections
    QByteArray m_mac;    // all four pieces
    QByteArray m_boot;
};

void TestPackageInspect::initTestCase() {
    QVERIFY(m_dir.isValid());
    const QString dir = m_dir.path() + '/';
    m_boot = testfiles::Pattern(4000);
    QVERIFY(testfiles::Write(dir + "u.bin", m_boot));
    QVERIFY(testfiles::Write(dir + "c.cfg", "SSID1=Office\nWPAPSK1=\nA=1\r\n"));
    QVERIFY(testfiles::Write(dir + "r.bin", testfiles::Pattern(3000, 4)));
    const PackageSources sources{dir + "u.bin", dir + "c.cfg", dir + "r.bin"};

    DevicePackageRequest d;
    d.programDir = dir;
    d.scanText = "5e3a71123458";
    d.flags = 0x0F;
    d.sources = sources;
    QVERIFY(BuildDevicePackage(d).ok());
    m_device = testfiles::Read(dir + "5e3a71123458");

    MacPackageRequest m;
    m.programDir = dir;
    m.macField = "12345";
    m.flags = 0x0F;
    m.hasWpaKey = true;
    m.sources = sources;
    QVERIFY(BuildMacPackage(m).ok());
    m_mac = testfiles::Read(dir + "MAC");
}

void TestPackageInspect::devicePackage() {
    const PackageReport r = InspectPackage(m_device);
    QVERIFY2(r.ok(), qPrintable(r.problems.join('\n')));
    QCOMPARE(r.kind, PackageKind::Device);
    QCOMPARE(r.flags, 0x0F);
    QCOMPARE(r.sectionCount, 4u);
    QCOMPARE(r.sections.size(), 4);
    QCOMPARE(r.sections[3].length, 65536);
    QCOMPARE(r.triple, TripleFromSerial("12345", 5));
    QCOMPARE(r.configEntries, (QByteArrayList{"SSID1=Office_2345", "WPAPSK1=71123458", "A=1\r",
                                              "WAN_MAC_ADDR=5e:3a:71:12:34:57"}));
    const QByteArray padded = m_boot + QByteArray(131072 - m_boot.size(), '\0');
    QCOMPARE(r.bootLoaderChecksum, std::optional<std::uint32_t>(Crc32(padded)));
}

void TestPackageInspect::macPackage() {
    const PackageReport r = InspectPackage(m_mac);
    QVERIFY2(r.ok(), qPrintable(r.problems.join('\n')));
    QCOMPARE(r.kind, PackageKind::Mac);
    QCOMPARE(r.flags, 0x0F);
    QCOMPARE(r.sections.size(), 4);
    QCOMPARE(r.triple, TripleFromSerial("12345", 5));
    QCOMPARE(r.configText, QByteArray("SSID1=Office\nWPAPSK1=71123458\nA=1\r\n"));
    QCOMPARE(r.sections[3].length, 3000);
}

// Each damage is found and named; none is read past.
void TestPackageInspect::corrupted_data() {
    QTest::addColumn<bool>("device");
    QTest::addColumn<qsizetype>("at");
    QTest::addColumn<quint32>("word");    // written little-endian at `at`
    QTest::addColumn<QString>("problem"); // a part of the expected text

    const qsizetype boot = 12 + 16 + 18 + 16;
    const qsizetype block = boot + 131080 + 16;
    QTest::newRow("device: body byte") << true << qsizetype(30) << 0x11111111u << "body CRC";
    QTest::newRow("device: section count") << true << qsizetype(8) << 3u << "4 found";
    QTest::newRow("device: huge length") << true << qsizetype(24) << 0xFFFFFFF0u << "bytes left";
    QTest::newRow("device: boot loader trailer") << true << boot + 131072 << 0u << "not 1";
    QTest::newRow("device: block CRC") << true << block << 0u << "block CRC";
    QTest::newRow("mac: unknown bits") << false << qsizetype(0) << 0x1Fu << "unknown bits";
    QTest::newRow("mac: huge length") << false << qsizetype(1) << 0x7FFFFFFFu << "bytes left";
    QTest::newRow("mac: boot loader length") << false << qsizetype(23) << 131075u << "not 131076";
}

void TestPackageInspect::corrupted() {
    QFETCH(bool, device);
    QFETCH(qsizetype, at);
    QFETCH(quint32, word);
    QFETCH(QString, problem);
    QByteArray bytes = device ? m_device : m_mac;
    if (!device && at == 0)
        bytes[0] = static_cast<char>(word);
    else
        PutLe32(bytes, at, word);
    if (device && at >= 12 && problem != "body CRC")
        PutLe32(bytes, 4, Crc32(QByteArrayView(bytes).sliced(12)));
    const PackageReport r = device ? InspectDevicePackage(bytes) : InspectMacPackage(bytes);
    QVERIFY(!r.ok());
    QVERIFY2(r.problems.join('\n').contains(problem), qPrintable(r.problems.join('\n')));
}

void TestPackageInspect::everyTruncation_data() {
    QTest::addColumn<bool>("device");
    QTest::newRow("device") << true;
    QTest::newRow("mac") << false;
}

// Cut at every length up to and into the boot loader piece, then at the
// end of each later piece: always a problem, never a read outside.
void TestPackageInspect::everyTruncation() {
    QFETCH(bool, device);
    const QByteArray whole = device ? m_device : m_mac;
    QList<qsizetype> cuts;
    for (qsizetype n = 0; n < 200; ++n)
        cuts << n;
    for (qsizetype n = whole.size() - 70000; n < whole.size(); n += 997)
        cuts << n;
    cuts << whole.size() - 1;
    for (qsizetype n : cuts) {
        // A copy of exactly n bytes, so that a read past it is a real fault.
        const QByteArray cut(whole.constData(), n);
        const PackageReport r = device ? InspectDevicePackage(cut) : InspectMacPackage(cut);
        QVERIFY2(!r.ok(), qPrintable(QString::number(n)));
        QCOMPARE(InspectPackage(cut).ok(), false);
    }
}

QTEST_GUILESS_MAIN(TestPackageInspect)
#include "tst_packageinspect.moc"
