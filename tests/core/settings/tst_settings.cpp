#include "core/settings/SettingsRecord.h"
#include "core/settings/StationFolder.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
        QStandardPaths::setTestModeEnabled(true); // the user's folder goes under ~/.qttest
    }

    // The sysfile as read: its first 789 bytes, zero-filled.
    void read_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<Status>("status");
        QTest::newRow("empty") << "file" << 0 << Status::Read;
        QTest::newRow("short") << "file" << 10 << Status::Read;
        QTest::newRow("long") << "file" << 1000 << Status::Read;
        QTest::newRow("missing") << "missing" << 0 << Status::Missing;
        QTest::newRow("folder") << "folder" << 0 << Status::SizeUnknown;
        // Opening a pipe with no writer would hang the station's start.
        QTest::newRow("pipe") << "pipe" << 0 << Status::SizeUnknown;
        // Regression: reported as having no size ("文件为空!").
        QTest::newRow("unreadable") << "unreadable" << 0 << Status::Unreadable;
    }
    void read() {
        QFETCH(QString, kind);
        QFETCH(int, size);
        QTemporaryDir dir;
        QString path = dir.filePath("sysfile");
        QFile file(path);
        if (kind == "file" || kind == "unreadable")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Pattern(size)) == size);
        file.close();
        if (kind == "unreadable" && file.setPermissions({}) && QFileInfo(path).isReadable())
            path = "/proc/sys/vm/drop_caches"; // unreadable also to root
        if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir("sysfile"));
        if (kind == "pipe")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        Status status = Status::Missing;
        QCOMPARE(Bytes(SettingsRecord::Read(path, &status)),
                 Pattern(qMin(size, 789)) + QByteArray(789 - qMin(size, 789), '\0'));
        QTEST(status, "status");
    }

    // Written whole over a longer file, each path slot keeping its NUL; read
    // back field by field.
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
        record.setRootPath(QString(256, 'r'));
        record.setConfigPath(QString(254, 'c') + QChar(0xE9)); // a 2-byte character at the end
        record.setWpaByte('1');
        QVERIFY(record.Write(file.fileName()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray::fromHex("0f5e3a710d0a185e3a710d0a155e3a711a0017") +
                                     QFile::encodeName("/opt/线/uboot.bin").leftJustified(256, 0) +
                                     QByteArray(255, 'r') + '\0' + QByteArray(254, 'c') +
                                     QByteArray(2, '\0') + QByteArray("1\0", 2));
        const SettingsRecord back = SettingsRecord::Read(file.fileName());
        QCOMPARE(back.flags(), 0x0F);
        QVERIFY(back.triple() == triple);
        QCOMPARE(back.bootLoaderPath(), QStringLiteral("/opt/线/uboot.bin"));
        QCOMPARE(back.rootPath(), QString(255, 'r'));
        QCOMPARE(back.serialText(), QStringLiteral("0D0A1"));
        QVERIFY(!record.Write(dir.filePath("no/such/folder/sysfile")));
    }

    // An installed station wrote into /usr/bin: its folder was the program's.
    void stationFolder_data() {
        QTest::addColumn<QString>("requested"); // "tmp": a writable folder of the test's
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("chosen"); // "tmp", "own" (the user's), or "" (refused)
        QTest::newRow("build folder") << ""
                                      << "tmp"
                                      << "tmp";
        QTest::newRow("installed in /usr/bin") << ""
                                               << "/usr/bin"
                                               << "own";
        QTest::newRow("no executable folder") << ""
                                              << ""
                                              << "own";
        QTest::newRow("--folder") << "tmp"
                                  << "/usr/bin"
                                  << "tmp";
        QTest::newRow("--folder of programs") << "/usr/bin"
                                              << "tmp"
                                              << "";
        QTest::newRow("--folder missing") << "tmp/none"
                                          << "tmp"
                                          << "";
        QTest::newRow("--folder root") << "/"
                                       << "tmp"
                                       << "";
    }
    void stationFolder() {
        QFETCH(QString, requested);
        QFETCH(QString, executable);
        QFETCH(QString, chosen);
        QTemporaryDir tmp;
        const auto place = [&](QString path) {
            return path.replace(QStringLiteral("tmp"), QFileInfo(tmp.path()).canonicalFilePath());
        };
        const QString own = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(own).removeRecursively();
        const StationFolder folder = ChooseStationFolder(place(requested), place(executable));
        QVERIFY(folder.error.isEmpty() == !chosen.isEmpty());
        QVERIFY(chosen.isEmpty() ? folder.error.contains(place(requested))
                                 : IsOwnStationFolder(folder.path));
        const QString expected =
            chosen == u"own" ? QFileInfo(own).canonicalFilePath() + '/' : place(chosen) + '/';
        QCOMPARE(folder.path, chosen.isEmpty() ? QString() : expected);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
