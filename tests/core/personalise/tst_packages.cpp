#include "core/personalise/ConfigTemplate.h"
#include "core/personalise/Crc32.h"
#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageFile.h"

#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace quorvane;

namespace {

constexpr char kLabel[] = "5e3a71123458";
const MacTriple kFromLabel = TripleFromSerial("12345", 5);
const MacTriple kHeld = TripleFromSerial("00001", 5);
const QByteArray kWan = "WAN_MAC_ADDR=5e:3a:71:12:34:57";

// Distinct non-zero bytes, so that a shifted or truncated copy shows.
QByteArray Pattern(qsizetype size, int seed = 1) {
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = static_cast<char>(((i * 7 + seed) % 251) + 1);
    return out;
}

QByteArray LeWord(quint32 value) {
    const quint32 le = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char*>(&le), 4);
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// A temporary folder holding the program folder "out" and the three sources.
struct Workspace {
    explicit Workspace(const QString& parent = QDir::tempPath())
        : dir(parent + "/tst_packages-XXXXXX") {}
    QTemporaryDir dir;
    bool valid() { return dir.isValid() && QDir(dir.path()).mkdir("out"); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString out() const { return dir.filePath("out") + '/'; }
    PackageSources sources() const {
        return {path("uboot.bin"), path("default.cfg"), path("root.bin")};
    }
};

// What either builder leaves behind.
struct Built {
    QString message;
    QString path;
    MacTriple triple;
    std::optional<bool> hasWpaKey;
    bool refreshTitle = false;
};

} // namespace

// Personalisation: the addresses, the template, the packages and their files.
class TestPackages : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_ws = std::make_unique<Workspace>();
        QVERIFY(m_ws->valid());
    }

    // A label's hex field stops at its first non-hex digit; a field with no
    // digit reads as 0. Base, model and WAN addresses, as hex (serial 12345:
    // macOnly, "mac, serial").
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
        row("last digit dropped", false, "5E3A711234BF", 5, "5e3a711234b85e3a711234b55e3a711234b7");
        row("non-hex second digit", false, "5g3a71123458", 5,
            "053a71123458053a71123455053a71123457");
        row("short label", false, "5e3a71", 5, "5e3a710000085e3a710000055e3a71000007");
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

    // The boot loader's CRC over 128 KiB, zeros after a shorter image.
    void bootLoaderChecksum() {
        QVERIFY(Write(m_ws->path("u.bin"), "\x01" + QByteArray(131072, '\0')));
        QCOMPARE(BootLoaderChecksum(m_ws->path("u.bin")).value_or(0), 0xc2099fcfu);
    }

    // The device package's configuration block: CRC, then NUL-separated entries.
    void block_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("wpa");
        QTest::addColumn<QByteArrayList>("entries"); // empty: over 16,380 bytes
        QTest::newRow("personalised lines")
            << QByteArray("SSID1=Office\nWPAPSK1=abc\nWAN_MAC_ADDR=00:00:00:00:00:00\n# comment\n")
            << true << QByteArrayList{"SSID1=Office_2345", "WPAPSK1=71123458", kWan};
        QTest::newRow("key mode off keeps the key, after an empty line")
            << QByteArray("\nWPAPSK1=abc\n") << false << QByteArrayList{"WPAPSK1=abc", kWan};
        QTest::newRow("CR stays, the suffix goes before it")
            << QByteArray("SSID1=Office\r\nWPAPSK1=old\r\n") << true
            << QByteArrayList{"SSID1=Office_2345\r", "WPAPSK1=71123458", kWan};
        QTest::newRow("a key only contained keeps its value")
            << QByteArray("XWPAPSK1=foo\nLAN_WAN_MAC_ADDR=1\n") << true
            << QByteArrayList{"XWPAPSK1=foo", "LAN_WAN_MAC_ADDR=1", kWan};
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
        const QByteArray block = BuildConfigBlock(text, kFromLabel, wpa).value_or("none");
        const QByteArray packed = entries.join('\0') + '\0';
        QCOMPARE(block, entries.isEmpty() ? "none"
                                          : LeWord(Crc32(block.mid(4))) + packed +
                                                QByteArray(16380 - packed.size(), '\0'));
    }

    // The MAC piece alone, over an older file of the same name.
    void macOnly_data() {
        QTest::addColumn<bool>("mac");
        QTest::addColumn<QString>("field"); // label text or serial
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("device") << false << kLabel
                                << QByteArray("05000000bc1cd9b30100000001000000000000000000000012"
                                              "0000005e3a711234585e3a711234555e3a71123457");
        QTest::newRow("mac, serial")
            << true << "12345" << QByteArray("01120000005e3a711234585e3a711234555e3a71123457");
        // A label text in the MAC field is the board's own address, not a serial.
        QTest::newRow("mac, label text")
            << true << "0011223344a8"
            << QByteArray("01120000000011223344a80011223344a50011223344a7");
    }
    void macOnly() {
        QFETCH(bool, mac);
        QFETCH(QString, field);
        const QString name = mac ? "MAC" : kLabel;
        QVERIFY(Write(m_ws->out() + name, Pattern(5000)));
        const Built b = build(mac, kSelectMac, field);
        QCOMPARE(b.path, m_ws->out() + name);
        QTEST(Read(b.path).toHex(), "bytes");
        QCOMPARE(Entries(m_ws->out()), QStringList{name});
        QVERIFY(!b.hasWpaKey && !b.refreshTitle);
    }

    // One device section: its header, the image, the zero fill and any trailer.
    void deviceImage_data() {
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("trailer");
        const QByteArray boot = LeWord(1) + LeWord(5);
        QTest::newRow("boot loader, empty") << 2 << 0 << 131080 << boot;
        QTest::newRow("boot loader, 131072") << 2 << 131072 << 131080 << boot;
        QTest::newRow("root, empty") << 8 << 0 << 65536 << QByteArray();
        QTest::newRow("root, 65536 still gets zeros") << 8 << 65536 << 131072 << QByteArray();
    }
    void deviceImage() {
        QFETCH(int, flag);
        QFETCH(int, size);
        QFETCH(int, length);
        QFETCH(QByteArray, trailer);
        const QByteArray image = Pattern(size);
        QVERIFY(Write(m_ws->path(flag == 2 ? "uboot.bin" : "root.bin"), image));
        const QByteArray file = Read(build(false, flag).path);
        QCOMPARE(file.mid(8, 20),
                 LeWord(1) + LeWord(flag) + LeWord(1) + LeWord(0) + LeWord(length));
        QVERIFY(file.mid(28) == image + QByteArray(length - size - trailer.size(), 0) + trailer);
        QCOMPARE(file.mid(4, 4), LeWord(Crc32(file.mid(12))));
    }

    void macAllPieces_data() {
        QTest::addColumn<int>("bootSize");
        QTest::addColumn<int>("rootSize");
        QTest::newRow("empty images") << 0 << 0;
        QTest::newRow("full boot loader") << 131072 << 200000;
    }
    void macAllPieces() {
        QFETCH(int, bootSize);
        QFETCH(int, rootSize);
        const QByteArray boot = Pattern(bootSize, 2);
        const QByteArray cfg = "SSID1=a\nWPAPSK1=\nWAN_MAC_ADDR=0\n";
        const QByteArray root = Pattern(rootSize, 9);
        QVERIFY(Write(m_ws->path("uboot.bin"), boot));
        QVERIFY(Write(m_ws->path("default.cfg"), cfg));
        QVERIFY(Write(m_ws->path("root.bin"), root));
        // Wireless-key mode off: the template byte for byte.
        QCOMPARE(Read(build(true, 0x0F).path),
                 "\x0f" + LeWord(18) + TripleBytes(kFromLabel) + LeWord(131076) + boot +
                     QByteArray(131072 - bootSize, '\0') + LeWord(1) + LeWord(cfg.size()) + cfg +
                     LeWord(rootSize) + root);
        // Without bit 1 the key comes from the triple the station holds.
        QCOMPARE(Read(build(true, kSelectConfig, {}, true).path),
                 "\x04" + LeWord(40) + "SSID1=a\nWPAPSK1=71000018\nWAN_MAC_ADDR=0\n");
    }

    // Every failure names its cause and leaves the older file of that name as
    // it was; the side effects of the steps before it stay.
    void failures_data() {
        QTest::addColumn<bool>("mac");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("breakFile"); // the source made missing or oversized
        QTest::addColumn<qint64>("size");       // -1: missing
        QTest::addColumn<QString>("message");   // %1 = the source's path
        QTest::addColumn<bool>("tripleReplaced");
        QTest::addColumn<bool>("modeDecided");
        const auto row = [](const char* name, bool mac, int flags, const char* file, qint64 size,
                            const char* message, bool triple, bool mode = false) {
            QTest::newRow(name) << mac << flags << file << size << message << triple << mode;
        };
        row("boot loader missing", false, 0x0F, "uboot.bin", -1, "Uboot文件(%1)不存在", true);
        row("boot loader over", false, 0x0F, "uboot.bin", 131073, "Uboot文件(%1)超过131072字节",
            true);
        row("template missing", false, 0x0E, "default.cfg", -1, "%1不存在", true);
        row("entries over", false, 0x0C, "default.cfg", 20000, "%1配置内容超过16380字节", true,
            true);
        row("root over", false, 0x08, "root.bin", 52428801, "%1超过52428800字节", false);
        row("body over", false, 0x08, "root.bin", 800 * 65536 - 1, "升级包超过52428800字节", false);
        row("mac: boot loader missing", true, 0x0F, "uboot.bin", -1, "%1不存在", true);
        row("mac: boot loader over", true, 0x02, "uboot.bin", 131073, "lpBuf error", false);
        row("mac: no WPAPSK1 line", true, 0x0D, "default.cfg", 0, "WPAPSK1 error 1", true);
        row("mac: folder missing", true, 0x01, "out", -1, "Mac文件创建失败", true);
    }
    void failures() {
        QFETCH(bool, mac);
        QFETCH(QString, breakFile);
        QFETCH(qint64, size);
        QFETCH(QString, message);
        QVERIFY(Write(m_ws->path("uboot.bin"), Pattern(100)));
        QVERIFY(Write(m_ws->path("default.cfg"), "WPAPSK1=\nSSID1=a\n"));
        QVERIFY(Write(m_ws->path("root.bin"), Pattern(100)));
        const QString name = mac ? "MAC" : kLabel;
        QVERIFY(Write(m_ws->out() + name, "older"));
        const QString broken = m_ws->path(breakFile);
        if (size < 0)
            QVERIFY(QFileInfo(broken).isDir() ? QDir(broken).removeRecursively()
                                              : QFile::remove(broken));
        else if (breakFile == "default.cfg")
            QVERIFY(Write(broken, ("A=" + QByteArray(97, 'v') + '\n').repeated(size / 100)));
        else
            QVERIFY(QFile(broken).resize(size));

        QFETCH(int, flags);
        const Built b = build(mac, flags, mac ? "12345" : kLabel, true);
        QCOMPARE(b.message, message.contains("%1") ? message.arg(broken) : message);
        QFETCH(bool, tripleReplaced);
        QCOMPARE(b.triple, tripleReplaced ? kFromLabel : kHeld);
        QFETCH(bool, modeDecided);
        QCOMPARE(b.hasWpaKey.has_value(), modeDecided);
        QCOMPARE(b.refreshTitle, modeDecided);
        if (QFileInfo::exists(m_ws->out())) {
            QCOMPARE(Read(m_ws->out() + name), QByteArray("older"));
            QCOMPARE(Entries(m_ws->out()), QStringList{name});
        }
    }

    // Bad input: the name must stay a plain name in the program folder; an empty scan
    // field names the folder itself, and that is what the operator sees.
    void badDeviceName_data() {
        QTest::addColumn<QString>("scanText");
        QTest::addColumn<QString>("dir"); // relative to the temporary folder
        QTest::newRow("empty scan text") << QString() << QString("out");
        QTest::newRow("separator") << QString("../escaped") << QString("out");
        QTest::newRow("folder missing") << QString(kLabel) << QString("missing");
        QTest::newRow("name of a folder") << QString("sub") << QString("out");
    }
    void badDeviceName() {
        QFETCH(QString, scanText);
        QFETCH(QString, dir);
        QVERIFY(QDir(m_ws->out()).mkdir("sub"));
        const QStringList before = Entries(m_ws->dir.path());
        DevicePackageRequest r;
        r.programDir = m_ws->path(dir) + '/';
        r.scanText = scanText;
        r.flags = kSelectMac;
        QCOMPARE(BuildDevicePackage(r).message, r.programDir + scanText);
        QCOMPARE(Entries(m_ws->dir.path()), before);
        QCOMPARE(Entries(m_ws->out()), QStringList{"sub"});
    }

    // A 2 MiB image streamed between bytes in memory, also where files live in
    // memory and the kernel copies them: the very bytes and the CRC of the
    // range from before, inside or after the image. A source that grew or
    // shrank after it was sized leaves the older package as it was: no length
    // word may lie. An output that fills up is tst_diskfull's.
    void streamedSource_data() {
        QTest::addColumn<qint64>("crcFrom"); // -1: no CRC
        QTest::addColumn<qint64>("newSize"); // -1: unchanged
        QTest::addColumn<bool>("inMemory");
        const qint64 image = 2 << 20;
        for (const bool inMemory : {false, true}) {
            const char* where = inMemory ? ", in memory" : "";
            QTest::addRow("CRC over the image%s", where) << 8LL << -1LL << inMemory;
            QTest::addRow("CRC after the image%s", where) << 29 + image << -1LL << inMemory;
            QTest::addRow("grew%s", where) << 0LL << image + 1 << inMemory;
            QTest::addRow("shrank%s", where) << 0LL << image - 1 << inMemory;
        }
        QTest::newRow("CRC from inside the image, in memory") << 24 + image / 2 << -1LL << true;
    }
    void streamedSource() {
        QFETCH(qint64, crcFrom);
        QFETCH(qint64, newSize);
        QFETCH(bool, inMemory);
        if (inMemory) { // where the kernel copies
            const QString shm = QStringLiteral("/dev/shm");
            if (QStorageInfo(shm).fileSystemType() != "tmpfs" || !QFileInfo(shm).isWritable())
                QSKIP("no memory file system to write to");
            m_ws = std::make_unique<Workspace>(shm);
            QVERIFY(m_ws->valid());
        }
        const QString path = m_ws->path("root.bin");
        const QByteArray image = Pattern((2 << 20) + 3);
        QVERIFY(Write(path, image));
        QVERIFY(Write(m_ws->out() + kLabel, "older"));
        ChunkedBytes bytes;
        bytes.append(QByteArray(24, 'h'));
        bytes.append(OpenSourceFile(path, 1 << 26));
        bytes.append(QByteArray("tail"));
        if (newSize >= 0)
            QVERIFY(QFile(path).resize(newSize));
        const WriteOutcome outcome =
            WritePackageFile(m_ws->out() + kLabel, bytes, CrcField{4, crcFrom});
        QByteArray expected = QByteArray(24, 'h') + image + "tail";
        expected.replace(4, 4, LeWord(Crc32(expected.mid(crcFrom))));
        QCOMPARE(outcome.status,
                 newSize == -1 ? WriteOutcome::Written : WriteOutcome::SourceFailed);
        QVERIFY(Read(m_ws->out() + kLabel) == (newSize == -1 ? expected : "older"));
        QCOMPARE(Entries(m_ws->out()), QStringList{kLabel});
    }

private:
    Built build(bool mac, int flags, const QString& field = {}, bool wpa = false) const {
        const auto bits = std::uint8_t(flags);
        if (mac) {
            const auto m = BuildMacPackage({m_ws->out(), field.isEmpty() ? "12345" : field, bits,
                                            m_ws->sources(), 5, wpa, kHeld});
            return {m.message, m.outputPath, m.triple, std::nullopt, false};
        }
        const auto d = BuildDevicePackage(
            {m_ws->out(), field.isEmpty() ? kLabel : field, bits, m_ws->sources(), 5, kHeld});
        return {d.message, d.outputPath, d.triple, d.hasWpaKey, d.refreshTitle};
    }
    std::unique_ptr<Workspace> m_ws;
};

QTEST_GUILESS_MAIN(TestPackages)
#include "tst_packages.moc"
