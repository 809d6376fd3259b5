#include "core/log/Housekeeping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

namespace {

using Perm = QFileDevice::Permission;
constexpr QFileDevice::Permissions kReadOnly = Perm::ReadOwner | Perm::ReadGroup;
constexpr QFileDevice::Permissions kProgram = kReadOnly | Perm::ExeOwner | Perm::ExeGroup;

bool MakeFile(const QString& path, QFileDevice::Permissions permissions) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("data") == 4 &&
           file.setPermissions(permissions);
}

// The "user" bits depend on who runs the test.
QFileDevice::Permissions Mode(const QString& path) {
    return QFile::permissions(path) & ~(Perm::ReadUser | Perm::WriteUser | Perm::ExeUser);
}

} // namespace

class TestHousekeeping : public QObject {
    Q_OBJECT
private slots:
    void entry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("mayDeleteSysfile");
        QTest::addColumn<bool>("survives");
        const auto row = [](const char* name, const char* kind, bool may, bool survives) {
            QTest::newRow(name) << QString::fromUtf8(name) << kind << may << survives;
        };
        row("sysfile", "file", false, true);
        row("Sysfile", "file", false, true);
        row("SYSFILE", "file", true, false);
        row("sysfile.bak", "file", false, false);
        row("getflash.txt", "file", false, true);
        row("getflash2", "file", false, true);
        row("GetFlash.txt", "file", false, false);
        row("getflas", "file", false, false);
        row("IMAGE.BIN", "file", false, true);
        row("router.Cfg", "file", false, true);
        row("old.RAR", "file", false, true);
        row("Quorvane.exe", "file", false, true);
        row("zlib1.DLL", "file", false, true);
        row("libz.so", "file", false, true);
        row("libQt6Core.so.6.4.2", "file", false, true);
        row("libx.dylib", "file", false, true);
        row("firmware.bin.tmp", "file", false, false);
        row("notes.so.txt", "file", false, false);
        row("bin", "file", false, false);
        row("image.", "file", false, false);
        row(".cache", "file", false, false);
        row("5E3A71000128", "file", false, false);
        row("MAC", "readonly", false, false);
        row("notes.txt", "readonly", false, false);
        row("quorvane", "program", false, true);
        row("quorvane-pack.sh", "program", false, true);
        row("log", "folder", false, true);
        row("Log.old", "readonly folder", false, true);
    }
    void entry() {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, mayDeleteSysfile);
        QFETCH(bool, survives);
        QTemporaryDir folder;
        QDir dir(folder.path());
        const QString path = dir.filePath(name);
        if (kind.endsWith("folder")) {
            QVERIFY(dir.mkpath(name + "/inner"));
            QVERIFY(MakeFile(path + "/inner/MAC", kReadOnly));
            if (kind.startsWith("readonly"))
                QVERIFY(QFile::setPermissions(path, kReadOnly | Perm::ExeOwner));
        } else {
            QVERIFY(MakeFile(path, kind == "file"       ? kReadOnly | Perm::WriteOwner
                                   : kind == "readonly" ? kReadOnly
                                                        : kProgram));
        }

        QCOMPARE(ClearGeneratedFiles(folder.path() + '/', mayDeleteSysfile), 1);
        QCOMPARE(QFileInfo::exists(path), survives);
        if (kind == "program")
            QCOMPARE(Mode(path), kProgram);
        if (kind.endsWith("folder")) {
            QVERIFY(Mode(path).testFlag(Perm::WriteOwner));
            QVERIFY(QFileInfo::exists(path + "/inner/MAC"));
        }
    }

    void linksAreNotFollowed() {
        QTemporaryDir folder;
        QTemporaryDir outside;
        QDir dir(folder.path());
        QDir away(outside.path());
        QVERIFY(MakeFile(away.filePath("precious"), kReadOnly));
        QVERIFY(away.mkdir("sub"));
        QVERIFY(MakeFile(away.filePath("sub/MAC"), kReadOnly));
        QVERIFY(QFile::link(away.filePath("precious"), dir.filePath("linkToFile")));
        QVERIFY(QFile::link(away.filePath("sub"), dir.filePath("linkToFolder")));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("dangling")));

        QCOMPARE(ClearGeneratedFiles(folder.path(), false), 1);
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{"linkToFolder"});
        QCOMPARE(Mode(away.filePath("precious")), kReadOnly);
        QVERIFY(QFileInfo::exists(away.filePath("sub/MAC")));
    }

    void unlistableFolder_data() {
        QTest::addColumn<QString>("relative");
        QTest::newRow("missing") << "nothing/here";
        QTest::newRow("a file") << "plain";
        QTest::newRow("no read permission") << "closed";
    }
    void unlistableFolder() {
        QFETCH(QString, relative);
        QTemporaryDir folder;
        QDir dir(folder.path());
        QVERIFY(MakeFile(dir.filePath("plain"), kReadOnly));
        QVERIFY(dir.mkdir("closed"));
        QVERIFY(MakeFile(dir.filePath("closed/MAC"), kReadOnly));
        QVERIFY(QFile::setPermissions(dir.filePath("closed"), Perm::WriteOwner | Perm::ExeOwner));
        const auto reopen = qScopeGuard(
            [&] { QFile::setPermissions(dir.filePath("closed"), kProgram | Perm::WriteOwner); });
        if (relative == "closed" && QFileInfo(dir.filePath("closed")).isReadable())
            QSKIP("this user reads every folder");
        QCOMPARE(ClearGeneratedFiles(dir.filePath(relative), false), 0);
        QVERIFY(QFileInfo::exists(dir.filePath("plain")));
        QVERIFY(QFileInfo::exists(dir.filePath("closed/MAC")));
    }
};

QTEST_GUILESS_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
