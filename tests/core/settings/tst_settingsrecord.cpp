#include "core/settings/SettingsRecord.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace quorvane;
using Status = SettingsRecord::ReadStatus;

Q_DECLARE_METATYPE(SettingsRecord::ReadStatus)

namespace {

QByteArray Pattern(int size) {
    // Every byte value, 0x0D 0x0A 0x1A included.
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

QByteArray Bytes(const SettingsRecord& record) {
    return QByteArray(reinterpret_cast<const char*>(record.bytes().data()), SettingsRecord::kSize);
}

bool WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadRaw(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

MacTriple SampleTriple() {
    MacTriple triple;
    triple.base.bytes = {0x5E, 0x3A, 0x71, 0x0D, 0x0A, 0x18};
    triple.model.bytes = {0x5E, 0x3A, 0x71, 0x0D, 0x0A, 0x15};
    triple.wan.bytes = {0x5E, 0x3A, 0x71, 0x1A, 0x00, 0x17};
    return triple;
}

} // namespace

class TestSettingsRecord : public QObject {
    Q_OBJECT
private slots:
    void read_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("record");
        const QByteArray full = Pattern(1000);
        QTest::newRow("empty") << QByteArray() << QByteArray(789, '\0');
        QTest::newRow("short") << full.left(10) << full.left(10) + QByteArray(779, '\0');
        QTest::newRow("exact") << full.left(789) << full.left(789);
        QTest::newRow("long") << full << full.left(789);
        QTest::newRow("control bytes") << QByteArray(789, '\x1A').replace(1, 2, "\r\n")
                                       << QByteArray(789, '\x1A').replace(1, 2, "\r\n");
    }
    void read() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, record);
        QTemporaryDir dir;
        const QString path = dir.filePath("sysfile");
        QVERIFY(WriteRaw(path, file));
        Status status = Status::Missing;
        QCOMPARE(Bytes(SettingsRecord::Read(path, &status)), record);
        QCOMPARE(status, Status::Read);
    }

    void unusualFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<Status>("status");
        QTest::newRow("missing") << "missing" << Status::Missing;
        QTest::newRow("dangling link") << "link" << Status::Missing;
        QTest::newRow("folder") << "folder" << Status::SizeUnknown;
#ifdef Q_OS_UNIX
        QTest::newRow("pipe") << "pipe" << Status::SizeUnknown;
#endif
    }
    void unusualFiles() {
        QFETCH(QString, kind);
        QFETCH(Status, status);
        QTemporaryDir dir;
        const QString path = dir.filePath("sysfile");
        if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir("sysfile"));
        if (kind == "link")
            QVERIFY(QFile::link(dir.filePath("gone"), path));
#ifdef Q_OS_UNIX
        // Opening a pipe with no writer would hang the station's start.
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        Status got = Status::Read;
        QCOMPARE(Bytes(SettingsRecord::Read(path, &got)), QByteArray(789, '\0'));
        QCOMPARE(got, status);
    }

    void roundTrip() {
        QTemporaryDir dir;
        const QString path = dir.filePath("sysfile");
        QVERIFY(WriteRaw(path, Pattern(2000))); // a longer old file is replaced whole

        SettingsRecord record;
        record.setFlags(0x0F);
        record.setTriple(SampleTriple());
        record.setBootLoaderPath(QStringLiteral("/opt/线/uboot.bin"));
        record.setRootPath(QStringLiteral("root.bin"));
        record.setConfigPath(QStringLiteral("C:\\cfg\\default.cfg"));
        record.setWpaByte('1');
        QVERIFY(record.Write(path));

        const QByteArray onDisk = ReadRaw(path);
        QCOMPARE(onDisk.size(), 789);
        QCOMPARE(onDisk.at(0), '\x0F');
        QCOMPARE(onDisk.mid(1, 6), QByteArray("\x5E\x3A\x71\x0D\x0A\x18", 6));
        QCOMPARE(onDisk.mid(13, 6), QByteArray("\x5E\x3A\x71\x1A\x00\x17", 6));
        QCOMPARE(onDisk.mid(275, 9), QByteArray("root.bin\0", 9));
        QCOMPARE(onDisk.at(787), '1');
        QCOMPARE(onDisk.at(788), '\0');

        const SettingsRecord back = SettingsRecord::Read(path);
        QCOMPARE(back.flags(), 0x0F);
        QVERIFY(back.triple() == SampleTriple());
        QCOMPARE(back.bootLoaderPath(), QStringLiteral("/opt/线/uboot.bin"));
        QCOMPARE(back.rootPath(), QStringLiteral("root.bin"));
        QCOMPARE(back.configPath(), QStringLiteral("C:\\cfg\\default.cfg"));
        QCOMPARE(back.wpaByte(), '1');
        QCOMPARE(Bytes(back), onDisk);
    }

    void writeRefused() {
        QTemporaryDir dir;
        SettingsRecord record;
        record.setFlags(1);
        QVERIFY(!record.Write(dir.filePath("no/such/folder/sysfile")));
        QVERIFY(QDir(dir.path()).mkdir("sysfile"));
        QVERIFY(!record.Write(dir.filePath("sysfile")));
        QVERIFY(QFileInfo(dir.filePath("sysfile")).isDir());
    }

    void restoresPaths() {
        QByteArray file(789, '\0');
        file.replace(0, 1, "\x0A").replace(19, 5, "u.bin").replace(275, 5, "r.bin");
        QTemporaryDir dir;
        QVERIFY(WriteRaw(dir.filePath("sysfile"), file));
        const SettingsRecord record = SettingsRecord::Read(dir.filePath("sysfile"));
        QCOMPARE(record.flags(), 0x0A);
        QCOMPARE(record.bootLoaderPath(), QStringLiteral("u.bin"));
        QCOMPARE(record.rootPath(), QStringLiteral("r.bin"));
        QCOMPARE(record.configPath(), QString());
    }

    void serialText_data() {
        QTest::addColumn<QByteArray>("bytes456");
        QTest::addColumn<QString>("serial");
        QTest::newRow("00 01 28") << QByteArray("\x00\x01\x28", 3) << "00012";
        QTest::newRow("upper case") << QByteArray("\xAB\xCD\xEF", 3) << "ABCDE";
        QTest::newRow("zero") << QByteArray(3, '\0') << "00000";
        QTest::newRow("low nibble ignored") << QByteArray("\x0D\x0A\x1A", 3) << "0D0A1";
    }
    void serialText() {
        QFETCH(QByteArray, bytes456);
        QFETCH(QString, serial);
        SettingsRecord record;
        for (int i = 0; i < 3; ++i)
            record.bytes()[4 + i] = static_cast<std::uint8_t>(bytes456[i]);
        QCOMPARE(record.serialText(), serial);
    }

    void pathSlotCut_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("storedBytes");
        QTest::newRow("255") << QString(255, 'a') << 255;
        QTest::newRow("256") << QString(256, 'a') << 255;
        QTest::newRow("600") << QString(600, 'a') << 255;
        QTest::newRow("two-byte char across the end") << QString(254, 'a') + QChar(0xE9) << 254;
        QTest::newRow("three-byte char fits") << QString(252, 'a') + QChar(0x7EBF) << 255;
        QTest::newRow("empty") << QString() << 0;
    }
    void pathSlotCut() {
        QFETCH(QString, path);
        QFETCH(int, storedBytes);
        using Setter = void (SettingsRecord::*)(const QString&);
        using Getter = QString (SettingsRecord::*)() const;
        const struct {
            int offset;
            Setter set;
            Getter get;
        } pathSlots[] = {
            {SettingsRecord::kBootLoaderOffset, &SettingsRecord::setBootLoaderPath,
             &SettingsRecord::bootLoaderPath},
            {SettingsRecord::kRootOffset, &SettingsRecord::setRootPath, &SettingsRecord::rootPath},
            {SettingsRecord::kConfigOffset, &SettingsRecord::setConfigPath,
             &SettingsRecord::configPath}};
        for (const auto& slot : pathSlots) {
            SettingsRecord record;
            record.bytes().fill(0xEE);
            (record.*slot.set)(path);
            const QByteArray bytes = Bytes(record);
            const QByteArray stored = bytes.mid(slot.offset, SettingsRecord::kPathSlotSize);
            QCOMPARE(stored.left(storedBytes), QFile::encodeName(path).left(storedBytes));
            QCOMPARE(stored.mid(storedBytes), QByteArray(256 - storedBytes, '\0'));
            // The neighbours are untouched.
            QCOMPARE(static_cast<unsigned char>(bytes.at(slot.offset - 1)), 0xEE);
            QCOMPARE(static_cast<unsigned char>(bytes.at(slot.offset + 256)), 0xEE);
            const QString back = (record.*slot.get)();
            QCOMPARE(back, path.left(back.size()));
        }
    }

    void fullSlotDoesNotSpill() {
        SettingsRecord record;
        std::fill_n(record.bytes().begin() + SettingsRecord::kBootLoaderOffset, 256, 'b');
        record.setRootPath(QStringLiteral("root.bin"));
        QCOMPARE(record.bootLoaderPath(), QString(256, 'b'));
        QCOMPARE(record.rootPath(), QStringLiteral("root.bin"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsRecord)
#include "tst_settingsrecord.moc"
