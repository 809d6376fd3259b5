#include "core/settings/SettingsRecord.h"
#include "core/settings/StationFolder.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quorvane;
using Status = SettingsRecord::ReadStatus;

// Every byte value, 0x0D 0x0A 0x1A included.
const QByteArray kBytes = [] {
    QByteArray bytes(2000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}();

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    // The sysfile as read: its first 789 bytes, zero-filled.
    void read_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<Status>("status");
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
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kBytes.left(size)) == size);
        file.close();
        if (kind == "unreadable" && file.setPermissions({}) && QFileInfo(path).isReadable())
            path = "/proc/sys/vm/drop_caches"; // unreadable also to root
        if (kind == "folder" || kind == "pipe")
            QVERIFY(kind == "folder" ? QDir(dir.path()).mkdir("sysfile")
                                     : ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        Status status = Status::Missing;
        const SettingsRecord record = SettingsRecord::Read(path, &status);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(record.bytes().data()), 789),
                 kBytes.left(size).leftJustified(789, '\0', true));
        QTEST(status, "status");
    }

    // Written whole over a longer file, each path slot keeping its NUL.
    void write() {
        QTemporaryDir dir;
        QFile file(dir.filePath("sysfile"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kBytes) == 2000);
        file.close();
        SettingsRecord record;
        record.setFlags(0x0F);
        record.setTriple(MakeTriple(ParseMacText("5E3A710D0A18"), 5)); // CR LF inside
        record.setBootLoaderPath(QStringLiteral("/opt/线/uboot.bin"));
        record.setRootPath(QString(256, 'r'));
        record.setConfigPath(QString(254, 'c') + QChar(0xE9)); // a 2-byte character at the end
        record.setWpaByte('1');
        QVERIFY(record.Write(file.fileName()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray::fromHex("0f5e3a710d0a185e3a710d0a155e3a710d0a17") +
                                     QFile::encodeName("/opt/线/uboot.bin").leftJustified(256, 0) +
                                     QByteArray(255, 'r') + '\0' + QByteArray(254, 'c') +
                                     QByteArray(2, '\0') + QByteArray("1\0", 2));
    }

    // An installed station wrote into /usr/bin: its folder was the program's.
    void stationFolder_data() {
        QTest::addColumn<QString>("requested"); // "tmp": a writable folder of the test's
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("chosen"); // "tmp", "own" (the user's), or "" (refused)
        const auto row = [](const char* name, const char* requested, const char* executable,
                            const char* chosen) {
            QTest::newRow(name) << QString(requested) << QString(executable) << QString(chosen);
        };
        row("build folder", "", "tmp", "tmp");
        row("installed in /usr/bin", "", "/usr/bin", "own");
        row("in /bin, a link to /usr/bin", "", "/bin", "own");
        row("--folder", "tmp", "/usr/bin", "tmp");
        row("--folder missing", "tmp/none", "tmp", "");
    }
    void stationFolder() {
        QFETCH(QString, requested);
        QFETCH(QString, executable);
        QFETCH(QString, chosen);
        QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
        QStandardPaths::setTestModeEnabled(true); // the user's folder goes under ~/.qttest
        const QString own = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir(own).removeRecursively();
        QTemporaryDir tmp;
        const auto place = [&](QString path) {
            return path.replace("tmp", QFileInfo(tmp.path()).canonicalFilePath());
        };
        const StationFolder folder = ChooseStationFolder(place(requested), place(executable));
        QVERIFY(chosen.isEmpty() ? folder.error.contains(place(requested))
                                 : folder.error.isEmpty() && IsOwnStationFolder(folder.path));
        const QString path = chosen == "own" ? QFileInfo(own).canonicalFilePath() : place(chosen);
        QCOMPARE(folder.path, chosen.isEmpty() ? QString() : path + '/');
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
