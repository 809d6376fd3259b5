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
        // Regression: reported as having no size ("文件为空!").
        QTest::newRow("unreadable") << "unreadable" << 0 << Status::Unreadable;
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
        if (kind == "file" || kind == "unreadable")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Pattern(size)) == size);
        if (kind == "unreadable") {
            file.setPermissions({});
            if (QFileInfo(path).isReadable())
                QSKIP("permissions do not stop this user (root)");
        }
        if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir("sysfile"));
#ifdef Q_OS_UNIX
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
        file.close();
        Status status = Status::Missing;
        const QByteArray record = Bytes(SettingsRecord::Read(path, &status));
        QCOMPARE(record, Pattern(qMin(size, 789)) + QByteArray(789 - qMin(size, 789), '\0'));
        QTEST(status, "status");
    }

    // Written whole over a longer file; read back field by field.
    void roundTrip() {
        QTemporaryDir dir;
        QFile file(dir.filePath("sysfile"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Pattern(2000)) == 2000);
        file.close();
        MacTriple triple;
        triple.base.bytes = {0x5E, 0x3A, 0x71, 0x0D, 0x0A, 0x18};
        triple.model.bytes = {0x5E, 0x3A, 0x71, 0x0D, 0x0A, 0x15};
        triple.wan.bytes = {0x5E, 0x3A, 0x71, 0x1A, 0x00, 0x17};
        SettingsRecord record;
        record.setFlags(0x0F);
        record.setTriple(triple);
        record.setBootLoaderPath(QStringLiteral("/opt/线/uboot.bin"));
        record.setWpaByte('1');
        QVERIFY(record.Write(file.fileName()));

        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray onDisk = file.readAll();
        QCOMPARE(onDisk, Bytes(record));
        QCOMPARE(onDisk.left(19).toHex(), "0f5e3a710d0a185e3a710d0a155e3a711a0017");
        QCOMPARE(onDisk.right(2), QByteArray("1\0", 2));
        const SettingsRecord back = SettingsRecord::Read(file.fileName());
        QCOMPARE(back.flags(), 0x0F);
        QVERIFY(back.triple() == triple);
        QCOMPARE(back.bootLoaderPath(), QStringLiteral("/opt/线/uboot.bin"));
        QCOMPARE(back.wpaByte(), '1');
        QCOMPARE(back.serialText(), QStringLiteral("0D0A1"));
    }

    void writeRefused() {
        QTemporaryDir dir;
        QVERIFY(!SettingsRecord().Write(dir.filePath("no/such/folder/sysfile")));
        QVERIFY(QDir(dir.path()).mkdir("sysfile"));
        QVERIFY(!SettingsRecord().Write(dir.filePath("sysfile")));
        QVERIFY(QFileInfo(dir.filePath("sysfile")).isDir());
    }

    // Each slot keeps its NUL and never touches its neighbours.
    void pathSlots_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("storedBytes");
        QTest::newRow("255") << QString(255, 'a') << 255;
        QTest::newRow("256") << QString(256, 'a') << 255;
        QTest::newRow("two-byte char across the end") << QString(254, 'a') + QChar(0xE9) << 254;
    }
    void pathSlots() {
        QFETCH(QString, path);
        QFETCH(int, storedBytes);
        // The same length in every slot, told apart by the first character.
        const QString root = 'r' + path.mid(1);
        const QString config = 'c' + path.mid(1);
        SettingsRecord record;
        record.bytes().fill(0xEE);
        record.setBootLoaderPath(path);
        record.setRootPath(root);
        record.setConfigPath(config);
        const auto slot = [&](const QString& text) {
            return QFile::encodeName(text).left(storedBytes) + QByteArray(256 - storedBytes, '\0');
        };
        QCOMPARE(Bytes(record), QByteArray(19, '\xEE') + slot(path) + slot(root) + slot(config) +
                                    QByteArray(2, '\xEE'));
        QCOMPARE(record.rootPath(), QFile::decodeName(QFile::encodeName(root).left(storedBytes)));
        // A slot filled to its end does not run into the next one.
        std::fill_n(record.bytes().begin() + SettingsRecord::kBootLoaderOffset, 256, 'b');
        QCOMPARE(record.bootLoaderPath(), QString(256, 'b'));
    }
};

QTEST_GUILESS_MAIN(TestSettingsRecord)
#include "tst_settingsrecord.moc"
