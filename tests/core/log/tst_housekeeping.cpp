#include "core/log/Housekeeping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quorvane;

namespace {

using Perm = QFileDevice::Permission;
constexpr QFileDevice::Permissions kReadOnly = Perm::ReadOwner | Perm::ReadGroup;
constexpr QFileDevice::Permissions kProgram = kReadOnly | Perm::ExeOwner | Perm::ExeGroup;

bool MakeFile(const QString& path,
              QFileDevice::Permissions permissions = kReadOnly | Perm::WriteOwner) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("data") == 4 &&
           file.setPermissions(permissions);
}

// The "user" bits depend on who runs the test.
QFileDevice::Permissions Mode(const QString& path) {
    return QFile::permissions(path) & ~(Perm::ReadUser | Perm::WriteUser | Perm::ExeUser);
}

QStringList Entries(const QDir& dir) {
    QStringList names =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class TestHousekeeping : public QObject {
    Q_OBJECT
private slots:
    void clearsGeneratedFiles() {
        const QStringList kept =
            QString("IMAGE.BIN Log.old Quorvane.exe Sysfile dangling getflash.txt getflash2 "
                    "libQt6Core.so.6.4.2 libz.so linkToFile linkToFolder old.RAR pipe quorvane "
                    "router.Cfg sysfile zlib1.DLL")
                .split(' ');
        const QStringList removed = QString("5E3A71000128 .cache GetFlash.txt MAC firmware.bin.tmp "
                                            "getflas notes.so.txt sysfile.bak")
                                        .split(' ');
        QTemporaryDir folder;
        QTemporaryDir outside;
        QDir dir(folder.path());
        QDir away(outside.path());
        // Regression: run on a folder of programs, links to them were deleted.
        const QStringList special = {"Log.old", "linkToFolder", "linkToFile", "dangling", "pipe"};
        for (const QString& name : kept + removed)
            QVERIFY(special.contains(name) || MakeFile(dir.filePath(name)));
        // What links point to stays as it was.
        QVERIFY(MakeFile(away.filePath("precious"), kReadOnly));
        QVERIFY(away.mkdir("sub") && MakeFile(away.filePath("sub/MAC"), kReadOnly));
        QVERIFY(QFile::link(away.filePath("precious"), dir.filePath("linkToFile")));
        QVERIFY(QFile::link(away.filePath("sub"), dir.filePath("linkToFolder")));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
        QVERIFY(MakeFile(dir.filePath("MAC"), kReadOnly));
        QVERIFY(MakeFile(dir.filePath("quorvane"), kProgram));
        QVERIFY(dir.mkpath("Log.old/inner") && MakeFile(dir.filePath("Log.old/inner/MAC")));
        QVERIFY(QFile::setPermissions(dir.filePath("Log.old"), kReadOnly | Perm::ExeOwner));

        QCOMPARE(ClearGeneratedFiles(folder.path() + '/', false), 1);
        QCOMPARE(Entries(dir), kept);
        QCOMPARE(Mode(dir.filePath("quorvane")), kProgram);
        // Folders stay with what they hold, made writable.
        QVERIFY(Mode(dir.filePath("Log.old")).testFlag(Perm::WriteOwner));
        QVERIFY(QFileInfo::exists(dir.filePath("Log.old/inner/MAC")));
        QCOMPARE(Mode(away.filePath("precious")), kReadOnly);
        QVERIFY(QFileInfo::exists(away.filePath("sub/MAC")));

        QCOMPARE(ClearGeneratedFiles(folder.path(), true), 1);
        QVERIFY(!QFileInfo::exists(dir.filePath("sysfile")));
        QVERIFY(!QFileInfo::exists(dir.filePath("Sysfile")));
    }

    void unlistableFolder() {
        QTemporaryDir folder;
        QDir dir(folder.path());
        QVERIFY(MakeFile(dir.filePath("plain")));
        QVERIFY(dir.mkdir("closed") && MakeFile(dir.filePath("closed/MAC")));
        QVERIFY(QFile::setPermissions(dir.filePath("closed"), Perm::WriteOwner | Perm::ExeOwner));
        const auto reopen = qScopeGuard(
            [&] { QFile::setPermissions(dir.filePath("closed"), kProgram | Perm::WriteOwner); });
        QStringList unlistable = {"nothing/here", "plain"};
        if (!QFileInfo(dir.filePath("closed")).isReadable()) // root reads every folder
            unlistable << "closed";
        for (const QString& relative : unlistable)
            QCOMPARE(ClearGeneratedFiles(dir.filePath(relative), false), 0);
        QVERIFY(QFileInfo::exists(dir.filePath("plain")));
        QVERIFY(QFileInfo::exists(dir.filePath("closed/MAC")));
    }
};

QTEST_GUILESS_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
