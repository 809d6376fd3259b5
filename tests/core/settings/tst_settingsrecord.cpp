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

namespace {

// Every byte value, 0x0D 0x0A 0x1A included.
QByteArray Pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

QByteArray Bytes(const SettingsRecord& record) {
    return QByteArray(reinterpret_cast<const char*>(record.bytes().data()), SettingsRecord::kSize);
}

} // namespace

class TestSettingsRecord : public QObject {
    Q_OBJECT
private slots:
    void read_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<Status>("status");
        QTest::newRow("empty") << "file" << 0 << Status::Read;
        QTest::newRow("short") << "file" << 10 << Status::Read;
        QTest::newRow("exact") << "file" << 789 << Status::Read;
        QTest::newRow("long") << "file" << 1000 << Status::Read;
        QTest::newRow("missing") << "missing" << 0 << Status::Missing;
        QTest::newRow("folder") << "folder" << 0 << Status::SizeUnknown;
#ifdef Q_OS_UNIX
        // Opening a pipe with no writer would hang the station's start.
        QTest::newRow("pipe") << "pipe" << 0 << Status::SizeUnknown;
#endif
    }
    void read() {
        QFETCH(QString, kind);
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.filePath("sysfile");
        QFile file(path);
        if (kind == "file")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Pattern(size)) == size);
        file.close();
        if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir("sysfile"));
#ifdef Q_OS_UNIX
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        Status status = Status::Missing;
        const QByteArray record = Bytes(SettingsRecord::Read(path, &status));
        QCOMPARE(record, Pattern(qMin(size, 789)) + QByteArray(789 - qMin(size, 789), '\0'));
        QTEST(status, "status");
    }

    void roundTrip() {
        QTemporaryDir dir;
        const QString path = dir.filePath("sysfile");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(Pattern(2000)) == 2000);
        old.close(); // a longer old file is replaced whole
        MacTriple triple;
        triple.base.bytes = {0x5E, 0x3A, 0x71, 0x0D, 0x0A, 0x18};
        triple.model.bytes = {0x5E, 0x3A, 0x71, 0x0D, 0x0A, 0x15};
        triple.wan.bytes = {0x5E, 0x3A, 0x71, 0x1A, 0x00, 0x17};
        SettingsRecord record;
        record.setFlags(0x0F);
        record.setTriple(triple);
        record.setBootLoaderPath(QStringLiteral("/opt/线/uboot.bin"));
        record.setRootPath(QStringLiteral("root.bin"));
        record.setConfigPath(QStringLiteral("C:\\cfg\\default.cfg"));
        record.setWpaByte('1');
        QVERIFY(record.Write(path));

        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray onDisk = old.readAll();
        QCOMPARE(onDisk.size(), 789);
        QCOMPARE(onDisk.left(7), QByteArray("\x0F\x5E\x3A\x71\x0D\x0A\x18", 7));
        QCOMPARE(onDisk.mid(13, 6), QByteArray("\x5E\x3A\x71\x1A\x00\x17", 6));
        QCOMPARE(onDisk.right(2), QByteArray("1\0", 2));

        const SettingsRecord back = SettingsRecord::Read(path);
        QCOMPARE(back.flags(), 0x0F);
        QVERIFY(back.triple() == triple);
        QCOMPARE(back.bootLoaderPath(), QStringLiteral("/opt/线/uboot.bin"));
        QCOMPARE(back.rootPath(), QStringLiteral("root.bin"));
        QCOMPARE(back.configPath(), QStringLiteral("C:\\cfg\\default.cfg"));
        QCOMPARE(back.wpaByte(), '1');
        QCOMPARE(back.serialText(), QStringLiteral("0D0A1"));
    }

    void writeRefused() {
        QTemporaryDir dir;
        SettingsRecord record;
        QVERIFY(!record.Write(dir.filePath("no/such/folder/sysfile")));
        QVERIFY(QDir(dir.path()).mkdir("sysfile"));
        QVERIFY(!record.Write(dir.filePath("sysfile")));
        QVERIFY(QFileInfo(dir.filePath("sysfile")).isDir());
    }

    // Each slot keeps its NUL and never touches its neighbours.
    void pathSlotCut_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("storedBytes");
        QTest::newRow("255") << QString(255, 'a') << 255;
        QTest::newRow("256") << QString(256, 'a') << 255;
        QTest::newRow("two-byte char across the end") << QString(254, 'a') + QChar(0xE9) << 254;
    }
    void pathSlotCut() {
        QFETCH(QString, path);
        QFETCH(int, storedBytes);
        SettingsRecord record;
        record.bytes().fill(0xEE);
        record.setBootLoaderPath(path);
        record.setRootPath(path);
        record.setConfigPath(path);
        const QByteArray slot =
            QFile::encodeName(path).left(storedBytes) + QByteArray(256 - storedBytes, '\0');
        QCOMPARE(Bytes(record),
                 '\xEE' + QByteArray(18, '\xEE') + slot + slot + slot + QByteArray(2, '\xEE'));
        QCOMPARE(record.bootLoaderPath(), path.left(record.bootLoaderPath().size()));
        QCOMPARE(record.configPath(), record.rootPath());
    }

    // A slot filled to its end does not run into the next one.
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
