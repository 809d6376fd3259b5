#include "core/personalise/Crc32.h"
#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageInspect.h"

#include "TestFiles.h"

#include <QTest>

using namespace quorvane;

class TestPackageInspect : public QObject {
    Q_OBJECT
private slots:
    // Both packages with all four pieces, as the station builds them.
    void initTestCase() {
        QVERIFY(m_ws.valid());
        QVERIFY(testfiles::Write(m_ws.path("uboot.bin"), testfiles::Pattern(4000)));
        QVERIFY(testfiles::Write(m_ws.path("default.cfg"), "SSID1=Office\nWPAPSK1=\nA=1\r\n"));
        QVERIFY(testfiles::Write(m_ws.path("root.bin"), testfiles::Pattern(3000, 4)));
        const QString out = m_ws.out();
        QVERIFY(BuildDevicePackage({out, "5e3a71123458", 0x0F, m_ws.sources(), 5, {}}).ok());
        QVERIFY(BuildMacPackage({out, "12345", 0x0F, m_ws.sources(), 5, true, {}}).ok());
        m_device = testfiles::Read(out + "5e3a71123458");
        m_mac = testfiles::Read(out + "MAC");
    }

    void decodes() {
        const PackageReport d = InspectPackage(m_device);
        QVERIFY2(d.ok(), qPrintable(d.problems.join('\n')));
        QCOMPARE(d.kind, PackageKind::Device);
        QCOMPARE(d.flags, 0x0F);
        QCOMPARE(d.sectionCount, 4u);
        QCOMPARE(d.sections[3].length, 65536);
        QCOMPARE(d.triple, TripleFromSerial("12345", 5));
        QCOMPARE(d.configEntries, (QByteArrayList{"SSID1=Office_2345", "WPAPSK1=71123458", "A=1\r",
                                                  "WAN_MAC_ADDR=5e:3a:71:12:34:57"}));
        QCOMPARE(d.bootLoaderChecksum, BootLoaderChecksum(m_ws.path("uboot.bin")));

        const PackageReport m = InspectPackage(m_mac);
        QVERIFY2(m.ok(), qPrintable(m.problems.join('\n')));
        QCOMPARE(m.kind, PackageKind::Mac);
        QCOMPARE(m.sections.size(), 4);
        QCOMPARE(m.triple, TripleFromSerial("12345", 5));
        QCOMPARE(m.configText, QByteArray("SSID1=Office\nWPAPSK1=71123458\nA=1\r\n"));
        QCOMPARE(m.sections[3].length, 3000);
    }

    // Each damage is found and named; none is read past.
    void corrupted_data() {
        QTest::addColumn<bool>("device");
        QTest::addColumn<qsizetype>("at");
        QTest::addColumn<quint32>("word");    // written little-endian at `at`
        QTest::addColumn<QString>("problem"); // a part of the expected text
        const qsizetype block = 12 + 16 + 18 + 16 + 131080 + 16;
        QTest::newRow("device: body byte") << true << qsizetype(30) << 0x11111111u << "body CRC";
        QTest::newRow("device: section count") << true << qsizetype(8) << 3u << "4 found";
        QTest::newRow("device: huge length")
            << true << qsizetype(24) << 0xFFFFFFF0u << "bytes left";
        QTest::newRow("device: block CRC") << true << block << 0u << "block CRC";
        QTest::newRow("mac: unknown bits") << false << qsizetype(0) << 0x1Fu << "unknown bits";
        QTest::newRow("mac: huge length") << false << qsizetype(1) << 0x7FFFFFFFu << "bytes left";
    }
    void corrupted() {
        QFETCH(bool, device);
        QFETCH(qsizetype, at);
        QFETCH(quint32, word);
        QFETCH(QString, problem);
        QByteArray bytes = device ? m_device : m_mac;
        if (!device && at == 0)
            bytes[0] = static_cast<char>(word);
        else
            qToLittleEndian(word, bytes.data() + at);
        if (device && problem != "body CRC") // so that only the damage itself shows
            qToLittleEndian(Crc32(QByteArrayView(bytes).sliced(12)), bytes.data() + 4);
        const PackageReport r = device ? InspectDevicePackage(bytes) : InspectMacPackage(bytes);
        QVERIFY(!r.ok());
        QVERIFY2(r.problems.join('\n').contains(problem), qPrintable(r.problems.join('\n')));
    }

    // Cut at every length into the boot loader piece, then through the later
    // pieces: always a problem, never a read outside.
    void everyTruncation() {
        for (const bool device : {true, false}) {
            const QByteArray& whole = device ? m_device : m_mac;
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
                QVERIFY(!InspectPackage(cut).ok());
            }
        }
    }

private:
    testfiles::Workspace m_ws;
    QByteArray m_device;
    QByteArray m_mac;
};

QTEST_GUILESS_MAIN(TestPackageInspect)
#include "tst_packageinspect.moc"
