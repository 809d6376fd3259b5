#include "core/log/Housekeeping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

namespace {

bool MakeFile(const QString& path, QFileDevice::Permissions permissions = {}) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("data") != 4)
        return false;
    file.close();
    return permissions == QFileDevice::Permissions() || file.setPermissions(permissions);
}

constexpr QFileDevice::Permissions kReadOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup;
constexpr QFileDevice::Permissions kProgram = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ExeGroup;

// Owner, group and other bits; the "user" bits depend on who runs the test.
QFileDevice::Permissions Mode(const QString& path) {
    return QFile::permissions(path) &
           ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

} // namespace

class TestHousekeeping : public QObject {
    Q_OBJECT
private slots:
    void byName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mayDeleteSysfile");
        QTest::addColumn<bool>("survives");
        QTest::newRow("sysfile") << "sysfile" << false << true;
        QTest::newRow("Sysfile") << "Sysfile" << false << true;
        QTest::newRow("sysfile may go") << "sysfile" << true << false;
        QTest::newRow("SYSFILE may go") << "SYSFILE" << true << false;
        QTest::newRow("sysfile.bak") << "sysfile.bak" << false << false;
        QTest::newRow("getflash.txt") << "getflash.txt" << false << true;
        QTest::newRow("getflash2") << "getflash2" << false << true;
        QTest::newRow("GetFlash.txt") << "GetFlash.txt" << false << false;
        QTest::newRow("getflas") << "getflas" << false << false;
        QTest::newRow("IMAGE.BIN") << "IMAGE.BIN" << false << true;
        QTest::newRow("router.Cfg") << "router.Cfg" << false << true;
        QTest::newRow("old.RAR") << "old.RAR" << false << true;
        QTest::newRow("Quorvane.exe") << "Quorvane.exe" << false << true;
        QTest::newRow("zlib1.DLL") << "zlib1.DLL" << false << true;
        QTest::newRow("libz.so") << "libz.so" << false << true;
        QTest::newRow("libQt6Core.so.6") << "libQt6Core.so.6" << false << true;
        QTest::newRow("libQt6Core.so.6.4.2") << "libQt6Core.so.6.4.2" << false << true;
        QTest::newRow("libx.dylib") << "libx.dylib" << false << true;
        QTest::newRow("firmware.bin.tmp") << "firmware.bin.tmp" << false << false;
        QTest::newRow("image.bin2") << "image.bin2" << false << false;
        QTest::newRow("notes.so.txt") << "notes.so.txt" << false << false;
        QTest::newRow("bin without dot") << "bin" << false << false;
        QTest::newRow("device package") << "5E3A71000128" << false << false;
        QTest::newRow("MAC package") << "MAC" << false << false;
        QTest::newRow("hidden") << ".cache" << false << false;
        QTest::newRow("trailing dot") << "image." << false << false;
    }
    void byName() {
        QFETCH(QString, name);
        QFETCH(bool, mayDeleteSysfile);
        QFETCH(bool, survives);
        QTemporaryDir folder;
        const QString path = QDir(folder.path()).filePath(name);
        QVERIFY(MakeFile(path));
        QCOMPARE(ClearGeneratedFiles(folder.path() + '/', mayDeleteSysfile), 1);
        QCOMPARE(QFileInfo::exists(path), survives);
    }

    void readOnlyFileIsDeleted() {
        QTemporaryDir folder;
        const QString path = QDir(folder.path()).filePath("notes.txt");
        QVERIFY(MakeFile(path, kReadOnly));
        QCOMPARE(ClearGeneratedFiles(folder.path(), false), 1);
        QVERIFY(!QFileInfo::exists(path));
    }

    void programsStay_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("station") << "quorvane";
        QTest::newRow("tool with dot") << "quorvane-pack.sh";
    }
    void programsStay() {
        QFETCH(QString, name);
        QTemporaryDir folder;
        const QString path = QDir(folder.path()).filePath(name);
        QVERIFY(MakeFile(path, kProgram));
        QCOMPARE(ClearGeneratedFiles(folder.path(), false), 1);
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(Mode(path), kProgram);
    }

    void foldersStayWithContents() {
        QTemporaryDir folder;
        QDir dir(folder.path());
        QVERIFY(dir.mkpath("log/inner"));
        QVERIFY(dir.mkdir("Log.old"));
        QVERIFY(MakeFile(dir.filePath("log/2012.03.02.Fri_14.03.52.txt")));
        QVERIFY(MakeFile(dir.filePath("log/inner/5E3A71000128")));
        QVERIFY(QFile::setPermissions(dir.filePath("Log.old"), kReadOnly | QFileDevice::ExeOwner));

        QCOMPARE(ClearGeneratedFiles(folder.path(), false), 1);
        QVERIFY(QFileInfo::exists(dir.filePath("log/2012.03.02.Fri_14.03.52.txt")));
        QVERIFY(QFileInfo::exists(dir.filePath("log/inner/5E3A71000128")));
        QVERIFY(QFileInfo(dir.filePath("Log.old")).isDir());
        QVERIFY(QFile::permissions(dir.filePath("Log.old")) & QFileDevice::WriteOwner);
    }

    void linksAreNotFollowed() {
        QTemporaryDir folder;
        QTemporaryDir outside;
        QDir dir(folder.path());
        const QString target = QDir(outside.path()).filePath("precious");
        QVERIFY(MakeFile(target, kReadOnly));
        QVERIFY(QDir(outside.path()).mkdir("sub"));
        QVERIFY(MakeFile(QDir(outside.path()).filePath("sub/5E3A71000128")));
        QVERIFY(QFile::link(target, dir.filePath("linkToFile")));
        QVERIFY(QFile::link(QDir(outside.path()).filePath("sub"), dir.filePath("linkToFolder")));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
        QVERIFY(QFile::link(target, dir.filePath("kept.bin")));

        QCOMPARE(ClearGeneratedFiles(folder.path(), false), 1);
        QVERIFY(!QFileInfo(dir.filePath("linkToFile")).isSymLink());
        QVERIFY(!QFileInfo(dir.filePath("dangling")).isSymLink());
        QVERIFY(QFileInfo(dir.filePath("linkToFolder")).isSymLink());
        QVERIFY(QFileInfo(dir.filePath("kept.bin")).isSymLink());
        QVERIFY(QFileInfo::exists(target));
        QCOMPARE(Mode(target), kReadOnly);
        QVERIFY(QFileInfo::exists(QDir(outside.path()).filePath("sub/5E3A71000128")));
    }

    void mixedFolder() {
        QTemporaryDir folder;
        QDir dir(folder.path());
        const QStringList kept{"sysfile", "getflash", "IMAGE.BIN", "quorvane"};
        const QStringList gone{"5E3A71000128", "MAC", "sysfile.bak", "GetFlash.txt"};
        for (const QString& name : kept + gone)
            QVERIFY(MakeFile(dir.filePath(name), name == "quorvane" ? kProgram : kReadOnly));
        QVERIFY(dir.mkdir("Log"));

        QCOMPARE(ClearGeneratedFiles(folder.path(), false), 1);
        QStringList left = kept;
        left << "Log";
        left.sort();
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), left);
    }

    void unlistableFolder_data() {
        QTest::addColumn<QString>("relative");
        QTest::newRow("missing") << "nothing/here";
        QTest::newRow("a file") << "plainfile";
    }
    void unlistableFolder() {
        QFETCH(QString, relative);
        QTemporaryDir folder;
        QVERIFY(MakeFile(QDir(folder.path()).filePath("plainfile")));
        QCOMPARE(ClearGeneratedFiles(QDir(folder.path()).filePath(relative), false), 0);
        QVERIFY(QFileInfo::exists(QDir(folder.path()).filePath("plainfile")));
    }

    void unreadableFolder() {
        QTemporaryDir folder;
        QDir dir(folder.path());
        QVERIFY(dir.mkdir("closed"));
        QVERIFY(MakeFile(dir.filePath("closed/MAC")));
        QVERIFY(QFile::setPermissions(dir.filePath("closed"), QFileDevice::WriteOwner));
        if (QFileInfo(dir.filePath("closed")).isReadable()) {
            QFile::setPermissions(dir.filePath("closed"), kProgram);
            QSKIP("this user reads every folder");
        }
        const int result = ClearGeneratedFiles(dir.filePath("closed"), false);
        QVERIFY(QFile::setPermissions(dir.filePath("closed"), kProgram));
        QCOMPARE(result, 0);
        QVERIFY(QFileInfo::exists(dir.filePath("closed/MAC")));
    }
};

QTEST_GUILESS_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
