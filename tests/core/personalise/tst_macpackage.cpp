#include "core/personalise/MacPackage.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using testfiles::Le32At;

class TestMacPackage : public QObject {
    Q_OBJECT
private slots:
    void init();
    void macOnlyGolden_data();
    void macOnlyGolden();
    void allPieces_data();
    void allPieces();
    void wirelessKey_data();
    void wirelessKey();
    void failures_data();
    void failures();
    void bootLoaderChecksum_data();
    void bootLoaderChecksum();

private:
    MacPackageRequest request(std::uint8_t flags) const;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_programDir;
};

void TestMacPackage::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir("out"));
    m_programDir = m_dir->filePath("out") + '/';
}

MacPackageRequest TestMacPackage::request(std::uint8_t flags) const {
    MacPackageRequest r;
    r.programDir = m_programDir;
    r.macField = "12345";
    r.flags = flags;
    r.sources = {path("uboot.bin"), path("default.cfg"), path("root.bin")};
    r.model = 5;
    return r;
}

void TestMacPackage::macOnlyGolden_data() {
    QTest::addColumn<QString>("macField");
    QTest::addColumn<int>("model");
    QTest::addColumn<QByteArray>("triple");
    QTest::newRow("serial") << "12345" << 5 << QByteArray("5e3a711234585e3a711234555e3a71123457");
    QTest::newRow("model 13") << "12345" << 13
                              << QByteArray("5e3a711234585e3a7112345d5e3a71123457");
    // A label text in the MAC field is the board's own address, not a serial.
    QTest::newRow("label text") << "0011223344a8" << 5
                                << QByteArray("0011223344a80011223344a50011223344a7");
}

void TestMacPackage::macOnlyGolden() {
    QFETCH(QString, macField);
    QFETCH(int, model);
    QFETCH(QByteArray, triple);
    MacPackageRequest r = request(kSelectMac);
    r.macField = macField;
    r.model = model;
    const MacPackageResult result = BuildMacPackage(r);
    QVERIFY2(result.ok(), qPrintable(result.message));
    QCOMPARE(result.outputPath, m_programDir + "MAC");
    QCOMPARE(testfiles::Read(result.outputPath).toHex(), "0112000000" + triple);
    QCOMPARE(TripleBytes(result.triple).toHex(), triple);
}

void TestMacPackage::allPieces_data() {
    QTest::addColumn<int>("bootSize");
    QTest::addColumn<int>("rootSize");
    QTest::newRow("empty images") << 0 << 0;
    QTest::newRow("one byte each") << 1 << 1;
    QTest::newRow("64 KiB") << 65536 << 65536;
    QTest::newRow("full boot loader") << 131072 << 200000;
}

void TestMacPackage::allPieces() {
    QFETCH(int, bootSize);
    QFETCH(int, rootSize);
    const QByteArray boot = testfiles::Pattern(bootSize, 2);
    const QByteArray cfg = "SSID1=a\nWPAPSK1=\nWAN_MAC_ADDR=0\n";
    const QByteArray root = testfiles::Pattern(rootSize, 9);
    QVERIFY(testfiles::Write(path("uboot.bin"), boot));
    QVERIFY(testfiles::Write(path("default.cfg"), cfg));
    QVERIFY(testfiles::Write(path("root.bin"), root));
    const MacPackageResult result = BuildMacPackage(request(0x0F));
    QVERIFY2(result.ok(), qPrintable(result.message));
    const QByteArray file = testfiles::Read(result.outputPath);

    QCOMPARE(file.at(0), '\x0f');
    QCOMPARE(Le32At(file, 1), 18u);
    qsizetype at = 1 + 4 + 18;
    QCOMPARE(Le32At(file, at), 131076u);
    QCOMPARE(file.mid(at + 4, bootSize), boot);
    QCOMPARE(file.mid(at + 4 + bootSize, 131072 - bootSize), QByteArray(131072 - bootSize, '\0'));
    QCOMPARE(Le32At(file, at + 4 + 131072), 1u);
    at += 4 + 131076;
    QCOMPARE(Le32At(file, at), quint32(cfg.size()));
    QCOMPARE(file.mid(at + 4, cfg.size()), cfg); // wireless-key mode off: byte for byte
    at += 4 + cfg.size();
    QCOMPARE(Le32At(file, at), quint32(rootSize));
    QCOMPARE(file.mid(at + 4), root);
}

// The template as sent, and its length word, with the wireless-key mode on.
void TestMacPackage::wirelessKey_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("empty value: 8 bytes longer")
        << 0x05 << QByteArray("SSID1=a\nWPAPSK1=\nWAN_MAC_ADDR=0\n")
        << QByteArray("SSID1=a\nWPAPSK1=71123458\nWAN_MAC_ADDR=0\n");
    QTest::newRow("old value: length is the text's own")
        << 0x05 << QByteArray("WPAPSK1=secret\n") << QByteArray("WPAPSK1=71123458\n");
    QTest::newRow("last line without line feed")
        << 0x05 << QByteArray("A=1\nWPAPSK1=") << QByteArray("A=1\nWPAPSK1=71123458");
    // Without bit 1 the key comes from the triple the station holds.
    QTest::newRow("current triple gives the key")
        << 0x04 << QByteArray("WPAPSK1=\n") << QByteArray("WPAPSK1=71abcde8\n");
}

void TestMacPackage::wirelessKey() {
    QFETCH(int, flags);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, sent);
    QVERIFY(testfiles::Write(path("default.cfg"), text));
    MacPackageRequest r = request(static_cast<std::uint8_t>(flags));
    r.hasWpaKey = true;
    r.currentTriple = TripleFromSerial("ABCDE", 5);
    const MacPackageResult result = BuildMacPackage(r);
    QVERIFY2(result.ok(), qPrintable(result.message));
    QByteArray file = testfiles::Read(result.outputPath);
    if (flags & kSelectMac)
        file.remove(1, 22);
    QCOMPARE(Le32At(file, 1), quint32(sent.size()));
    QCOMPARE(file.mid(5), sent);
}

void TestMacPackage::failures_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("wpa");
    QTest::addColumn<QString>("breakFile");
    QTest::addColumn<qint64>("size"); // -1: missing
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("tripleReplaced");
    QTest::newRow("boot loader missing")
        << 0x0F << false << "uboot.bin" << qint64(-1) << "%1不存在" << true;
    QTest::newRow("boot loader over 131072")
        << 0x02 << false << "uboot.bin" << qint64(131073) << "lpBuf error" << false;
    QTest::newRow("template missing")
        << 0x0D << false << "default.cfg" << qint64(-1) << "%1不存在" << true;
    QTest::newRow("no WPAPSK1 line")
        << 0x0D << true << "" << qint64(0) << "WPAPSK1 error 1" << true;
    QTest::newRow("root missing") << 0x08 << false << "root.bin" << qint64(-1) << "%1不存在"
                                  << false;
    QTest::newRow("package over the buffer") << 0x0C << false << "root.bin" << qint64(52428800 - 10)
                                             << "升级包超过52428800字节" << false;
    QTest::newRow("root over the buffer")
        << 0x08 << false << "root.bin" << qint64(52428801) << "%1超过52428800字节" << false;
    QTest::newRow("program folder missing")
        << 0x01 << false << "out" << qint64(-1) << "Mac文件创建失败" << true;
}

void TestMacPackage::failures() {
    QFETCH(int, flags);
    QFETCH(bool, wpa);
    QFETCH(QString, breakFile);
    QFETCH(qint64, size);
    QFETCH(QString, message);
    QFETCH(bool, tripleReplaced);

    QVERIFY(testfiles::Write(path("uboot.bin"), "u"));
    QVERIFY(testfiles::Write(path("default.cfg"), "XWPAPSK1=\nSSID1=a\n"));
    QVERIFY(testfiles::Write(path("root.bin"), "r"));
    const QByteArray older = "older MAC";
    QVERIFY(testfiles::Write(m_programDir + "MAC", older));
    const QString broken = path(breakFile);
    if (!breakFile.isEmpty() && size == -1)
        QVERIFY(QFileInfo(broken).isDir() ? QDir(broken).removeRecursively()
                                          : QFile::remove(broken));
    if (size > 0)
        QVERIFY(QFile(broken).resize(size));

    MacPackageRequest r = request(static_cast<std::uint8_t>(flags));
    r.hasWpaKey = wpa;
    r.currentTriple = TripleFromSerial("00001", 5);
    const MacPackageResult result = BuildMacPackage(r);
    QCOMPARE(result.message, message.contains("%1") ? message.arg(broken) : message);
    QCOMPARE(result.triple, tripleReplaced ? TripleFromSerial("12345", 5) : r.currentTriple);
    if (QFileInfo::exists(m_programDir)) {
        QCOMPARE(testfiles::Read(m_programDir + "MAC"), older);
        QCOMPARE(testfiles::Entries(m_programDir), QStringList{"MAC"});
    }
}

void TestMacPackage::bootLoaderChecksum_data() {
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<quint32>("crc");
    // 131,072 zero bytes; an empty or short image counts the zero fill.
    QTest::newRow("empty") << QByteArray() << 0x7EE8CDCDu;
    QTest::newRow("128 KiB of zeros") << QByteArray(131072, '\0') << 0x7EE8CDCDu;
    QTest::newRow("only the first 128 KiB count")
        << QByteArray(131072, '\0') + "tail" << 0x7EE8CDCDu;
    QTest::newRow("check string then zeros") << QByteArray("123456789") << 0xC6B69697u;
    QTest::newRow("one byte") << QByteArray("\x01", 1) << 0xC2099FCFu;
}

void TestMacPackage::bootLoaderChecksum() {
    QFETCH(QByteArray, image);
    QFETCH(quint32, crc);
    QVERIFY(testfiles::Write(path("uboot.bin"), image));
    QCOMPARE(BootLoaderChecksum(path("uboot.bin")), std::optional<std::uint32_t>(crc));
    QCOMPARE(BootLoaderChecksum(path("missing.bin")), std::nullopt);
    QCOMPARE(BootLoaderChecksum(m_dir->path()), std::nullopt);
}

QTEST_GUILESS_MAIN(TestMacPackage)
#include "tst_macpackage.moc"
