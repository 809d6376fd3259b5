#include "core/personalise/Crc32.h"
#include "core/personalise/DevicePackage.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using testfiles::Le32At;

namespace {

constexpr char kLabel[] = "5e3a71123458";

} // namespace

class TestDevicePackage : public QObject {
    Q_OBJECT
private slots:
    void init();
    void macOnlyGolden();
    void bootLoaderSizes_data();
    void bootLoaderSizes();
    void rootSizes_data();
    void rootSizes();
    void allSections();
    void configOnly_data();
    void configOnly();
    void failures_data();
    void failures();
    void outputName_data();
    void outputName();
    void replacesOlderFile();

private:
    DevicePackageRequest request(std::uint8_t flags) const;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_programDir;
};

void TestDevicePackage::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir("out"));
    m_programDir = m_dir->filePath("out") + '/';
}

DevicePackageRequest TestDevicePackage::request(std::uint8_t flags) const {
    DevicePackageRequest r;
    r.programDir = m_programDir;
    r.scanText = kLabel;
    r.flags = flags;
    r.sources = {path("uboot.bin"), path("default.cfg"), path("root.bin")};
    r.model = 5;
    return r;
}

void TestDevicePackage::macOnlyGolden() {
    const DevicePackageResult result = BuildDevicePackage(request(kSelectMac));
    QVERIFY2(result.ok(), qPrintable(result.message));
    QCOMPARE(result.outputPath, m_programDir + kLabel);
    QCOMPARE(testfiles::Read(result.outputPath).toHex(' '),
             QByteArray("05 00 00 00 bc 1c d9 b3 01 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 "
                        "12 00 00 00 5e 3a 71 12 34 58 5e 3a 71 12 34 55 5e 3a 71 12 34 57"));
    QCOMPARE(result.triple, TripleFromSerial("12345", 5));
    QVERIFY(!result.hasWpaKey);
    QVERIFY(!result.refreshTitle);
}

void TestDevicePackage::bootLoaderSizes_data() {
    QTest::addColumn<int>("size");
    for (int size : {0, 1, 65536, 131071, 131072})
        QTest::addRow("%d bytes", size) << size;
}

void TestDevicePackage::bootLoaderSizes() {
    QFETCH(int, size);
    const QByteArray image = testfiles::Pattern(size);
    QVERIFY(testfiles::Write(path("uboot.bin"), image));
    const DevicePackageResult result = BuildDevicePackage(request(kSelectBootLoader));
    QVERIFY2(result.ok(), qPrintable(result.message));
    const QByteArray file = testfiles::Read(result.outputPath);
    QCOMPARE(file.size(), 12 + 16 + 131080);
    QCOMPARE(Le32At(file, 8), 1u);
    QCOMPARE(file.mid(12, 16).toHex(), QByteArray("02000000010000000000000008000200"));
    QCOMPARE(file.mid(28, size), image);
    QCOMPARE(file.mid(28 + size, 131072 - size), QByteArray(131072 - size, '\0'));
    QCOMPARE(Le32At(file, 28 + 131072), 1u);
    QCOMPARE(Le32At(file, 28 + 131076), 5u);
    QCOMPARE(Le32At(file, 4), Crc32(file.mid(12)));
}

void TestDevicePackage::rootSizes_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("length");
    QTest::newRow("empty") << 0 << 65536;
    QTest::newRow("1") << 1 << 65536;
    QTest::newRow("65535") << 65535 << 65536;
    QTest::newRow("65536 still gets a block of zeros") << 65536 << 131072;
    QTest::newRow("65537") << 65537 << 131072;
    QTest::newRow("streamed in several blocks") << (3 << 20) + 7 << (3 << 20) + 65536;
}

void TestDevicePackage::rootSizes() {
    QFETCH(int, size);
    QFETCH(int, length);
    const QByteArray image = testfiles::Pattern(size);
    QVERIFY(testfiles::Write(path("root.bin"), image));
    const DevicePackageResult result = BuildDevicePackage(request(kSelectRoot));
    QVERIFY2(result.ok(), qPrintable(result.message));
    const QByteArray file = testfiles::Read(result.outputPath);
    QCOMPARE(file.size(), 12 + 16 + length);
    QCOMPARE(Le32At(file, 12), 8u);
    QCOMPARE(Le32At(file, 16), 1u);
    QCOMPARE(Le32At(file, 20), 0u);
    QCOMPARE(Le32At(file, 24), quint32(length));
    QCOMPARE(file.mid(28, size), image);
    QCOMPARE(file.mid(28 + size), QByteArray(length - size, '\0'));
    QCOMPARE(Le32At(file, 4), Crc32(file.mid(12)));
}

void TestDevicePackage::allSections() {
    const QByteArray uboot = testfiles::Pattern(1000, 3);
    const QByteArray root = testfiles::Pattern(70000, 5);
    QVERIFY(testfiles::Write(path("uboot.bin"), uboot));
    QVERIFY(testfiles::Write(path("default.cfg"), "SSID1=Office\nWPAPSK1=abc\n"));
    QVERIFY(testfiles::Write(path("root.bin"), root));
    DevicePackageRequest r = request(0x0F);
    r.scanText = "5E3A71ABCDE8";
    r.model = 12;
    const DevicePackageResult result = BuildDevicePackage(r);
    QVERIFY2(result.ok(), qPrintable(result.message));
    QCOMPARE(result.outputPath, m_programDir + "5E3A71ABCDE8");
    QCOMPARE(result.hasWpaKey, std::optional<bool>(true));
    QVERIFY(result.refreshTitle);
    QCOMPARE(result.triple, MakeTriple(ParseMacText("5E3A71ABCDE8"), 12));

    const QByteArray file = testfiles::Read(result.outputPath);
    qsizetype at = 12;
    const quint32 types[] = {1, 2, 4, 8};
    const quint32 lengths[] = {18, 131080, 16384, 131072};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(Le32At(file, at), types[i]);
        QCOMPARE(Le32At(file, at + 4), i == 0 ? 0u : 1u);
        QCOMPARE(Le32At(file, at + 12), lengths[i]);
        at += 16 + lengths[i];
    }
    QCOMPARE(file.size(), at);
    QCOMPARE(Le32At(file, 8), 4u);
    QCOMPARE(file.mid(28, 18).toHex(), QByteArray("5e3a71abcde85e3a71abcdec5e3a71abcde7"));
    const qsizetype block = 12 + 16 + 18 + 16 + 131080 + 16;
    QCOMPARE(file.mid(block + 4, 43),
             QByteArray("SSID1=Office_bcde\0WPAPSK1=71abcde8\0WAN_MAC_", 43));
    QCOMPARE(file.mid(block + 16384 + 16, root.size()), root);
    QCOMPARE(Le32At(file, 4), Crc32(file.mid(12)));
}

void TestDevicePackage::configOnly_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("wpa");
    QTest::newRow("key mode") << QByteArray("WPAPSK1=x\n") << true;
    QTest::newRow("open network") << QByteArray("WPAPSK1=x\nAuthMode=OPEN\n") << false;
}

void TestDevicePackage::configOnly() {
    QFETCH(QByteArray, text);
    QFETCH(bool, wpa);
    QVERIFY(testfiles::Write(path("default.cfg"), text));
    DevicePackageRequest r = request(kSelectConfig);
    r.currentTriple = TripleFromSerial("00001", 5);
    const DevicePackageResult result = BuildDevicePackage(r);
    QVERIFY2(result.ok(), qPrintable(result.message));
    QCOMPARE(result.triple, TripleFromSerial("12345", 5)); // from the scan text, not kept
    QCOMPARE(result.hasWpaKey, std::optional<bool>(wpa));
    QVERIFY(result.refreshTitle);
    const QByteArray file = testfiles::Read(result.outputPath);
    QCOMPARE(file.size(), 12 + 16 + 16384);
    QCOMPARE(Le32At(file, 8), 1u);
    QCOMPARE(file.mid(32, 17),
             wpa ? QByteArray("WPAPSK1=71123458\0", 17) : QByteArray("WPAPSK1=x\0AuthMod", 17));
}

// Every failure names its cause, writes nothing and leaves the older file of
// that name as it was; the side effects of the steps before it stay.
void TestDevicePackage::failures_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("breakFile"); // the source made missing or oversized
    QTest::addColumn<qint64>("size");       // -1: missing, -2: a folder
    QTest::addColumn<QString>("message");   // %1 = the source's path
    QTest::addColumn<bool>("tripleReplaced");
    QTest::addColumn<bool>("modeDecided");

    QTest::newRow("boot loader missing")
        << 0x0F << "uboot.bin" << qint64(-1) << "Uboot文件(%1)不存在" << true << false;
    QTest::newRow("boot loader over 131072")
        << 0x0F << "uboot.bin" << qint64(131073) << "Uboot文件(%1)超过131072字节" << true << false;
    QTest::newRow("boot loader missing, before the triple")
        << 0x06 << "uboot.bin" << qint64(-1) << "Uboot文件(%1)不存在" << false << false;
    QTest::newRow("template missing")
        << 0x0E << "default.cfg" << qint64(-1) << "%1不存在" << true << false;
    QTest::newRow("entries over 16380")
        << 0x0C << "default.cfg" << qint64(20000) << "%1配置内容超过16380字节" << true << true;
    QTest::newRow("root missing") << 0x0F << "root.bin" << qint64(-1) << "%1不存在" << true << true;
    QTest::newRow("root over the buffer")
        << 0x08 << "root.bin" << qint64(52428801) << "%1超过52428800字节" << false << false;
    QTest::newRow("body over the buffer") << 0x08 << "root.bin" << qint64(800 * 65536 - 1)
                                          << "升级包超过52428800字节" << false << false;
}

void TestDevicePackage::failures() {
    QFETCH(int, flags);
    QFETCH(QString, breakFile);
    QFETCH(qint64, size);
    QFETCH(QString, message);
    QFETCH(bool, tripleReplaced);
    QFETCH(bool, modeDecided);

    QVERIFY(testfiles::Write(path("uboot.bin"), testfiles::Pattern(100)));
    QVERIFY(testfiles::Write(path("default.cfg"), "SSID1=a\n"));
    QVERIFY(testfiles::Write(path("root.bin"), testfiles::Pattern(100)));
    const QString broken = path(breakFile);
    QVERIFY(QFile::remove(broken));
    if (size == -2) {
        QVERIFY(QDir().mkdir(broken));
    } else if (size >= 0) {
        QFile f(broken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray line = "A=" + QByteArray(97, 'v') + '\n';
        if (breakFile == "default.cfg")
            QVERIFY(f.write(line.repeated(size / line.size())) > 0);
        else
            QVERIFY(f.resize(size));
    }

    const QByteArray older = "older package";
    QVERIFY(testfiles::Write(m_programDir + kLabel, older));
    DevicePackageRequest r = request(static_cast<std::uint8_t>(flags));
    r.currentTriple = TripleFromSerial("00001", 5);
    const DevicePackageResult result = BuildDevicePackage(r);

    QCOMPARE(result.message, message.contains("%1") ? message.arg(broken) : message);
    QCOMPARE(testfiles::Read(m_programDir + kLabel), older);
    QCOMPARE(testfiles::Entries(m_programDir), QStringList{kLabel});
    QCOMPARE(result.triple, tripleReplaced ? TripleFromSerial("12345", 5) : r.currentTriple);
    QCOMPARE(result.hasWpaKey.has_value(), modeDecided);
    QCOMPARE(result.refreshTitle, modeDecided);
}

// The file name must stay a plain name in the program folder; an empty
// scan field names the folder itself, and that is what the operator sees.
void TestDevicePackage::outputName_data() {
    QTest::addColumn<QString>("scanText");
    QTest::addColumn<QString>("dir"); // relative to the temporary folder
    QTest::addColumn<bool>("ok");
    QTest::newRow("label") << kLabel << "out" << true;
    QTest::newRow("empty scan text") << ""
                                     << "out" << false;
    QTest::newRow("separator") << "../escaped"
                               << "out" << false;
    QTest::newRow("control character") << "a\nb"
                                       << "out" << false;
    QTest::newRow("folder missing") << kLabel << "missing" << false;
    QTest::newRow("folder is a file") << kLabel << "uboot.bin" << false;
    QTest::newRow("name of a folder") << "sub"
                                      << "out" << false;
}

void TestDevicePackage::outputName() {
    QFETCH(QString, scanText);
    QFETCH(QString, dir);
    QFETCH(bool, ok);
    QVERIFY(testfiles::Write(path("uboot.bin"), "x"));
    QVERIFY(QDir(m_programDir).mkdir("sub"));
    const QStringList before = testfiles::Entries(m_dir->path());
    DevicePackageRequest r = request(kSelectMac);
    r.programDir = path(dir) + '/';
    r.scanText = scanText;
    const DevicePackageResult result = BuildDevicePackage(r);
    const QString expectedPath = r.programDir + scanText.left(12);
    QCOMPARE(result.outputPath, expectedPath);
    if (ok) {
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(testfiles::Read(expectedPath).size(), 46);
    } else {
        QCOMPARE(result.message, expectedPath);
        QCOMPARE(testfiles::Entries(m_dir->path()), before);
        QCOMPARE(testfiles::Entries(m_programDir), QStringList{"sub"});
        QCOMPARE(result.triple, MakeTriple(ParseMacText(scanText), 5));
    }
}

void TestDevicePackage::replacesOlderFile() {
    QVERIFY(testfiles::Write(m_programDir + kLabel, testfiles::Pattern(5000)));
    const DevicePackageResult result = BuildDevicePackage(request(kSelectMac));
    QVERIFY(result.ok());
    QCOMPARE(testfiles::Read(result.outputPath).size(), 46);
    QCOMPARE(testfiles::Entries(m_programDir), QStringList{kLabel});
}

QTEST_GUILESS_MAIN(TestDevicePackage)
#include "tst_devicepackage.moc"
