// A program folder on a small memory file system that fills up while a
// package is being built: the operator hears of it, the older package is
// still whole and is still served.

#include "tests/support/LiveStation.h"

#include "core/settings/SettingsRecord.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

class DiskFullTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullFolderKeepsOldPackage_data() {
        QTest::addColumn<bool>("newDevice"); // device package, else the MAC package
        QTest::newRow("device package of a re-scanned board") << true;
        QTest::newRow("MAC package of a package request") << false;
    }
    void fullFolderKeepsOldPackage() {
        QFETCH(bool, newDevice);
        constexpr int kFolderSize = 2 * 1024 * 1024; // room for the record too
        QTemporaryDir folder;
        if (QProcess::execute("mount",
                              {"-t", "tmpfs", "-o", QStringLiteral("size=%1").arg(kFolderSize),
                               "tmpfs", folder.path()}) != 0)
            QSKIP("mounting a tmpfs is not allowed here");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {folder.path()}); });

        LiveStation rig(folder.path());
        const QString label = LabelText(0x4242);
        const QString packageName = newDevice ? label : QStringLiteral("MAC");
        const std::int32_t crc = newDevice ? rig.bootLoaderCrc() : 0;
        const QStringList fetch{"--name",       newDevice ? "newboard" : "mac",
                                "--crc",        QString::number(crc),
                                "--timeout-ms", "200",
                                "--retries",    "50"};
        rig.op.answers = {label, label, label};
        QVERIFY(rig.start(kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot));

        const RouterResult first = rig.runRouter(fetch);
        QVERIFY2(first.ok(), qPrintable(first.describe()));
        const QByteArray oldPackage = ReadBytes(rig.path(packageName));
        QCOMPARE(first.received, oldPackage);
        const QByteArray oldSettings = ReadBytes(rig.path(QStringLiteral("sysfile")));
        QVERIFY(rig.op.messages.isEmpty());

        // The next build needs more room than the folder has.
        QVERIFY(WriteBytes(rig.sources.rootPath, RandomBytes(2 * kFolderSize, 7)));
        const RouterResult second = rig.runRouter(fetch);
        QVERIFY2(!rig.op.messages.isEmpty(), qPrintable(rig.logLines().join('\n').right(2000)));
        QVERIFY2(second.ok(), qPrintable(second.describe()));
        QCOMPARE(second.received, oldPackage);
        QCOMPARE(ReadBytes(rig.path(packageName)), oldPackage);
        const QByteArray settings = ReadBytes(rig.path(QStringLiteral("sysfile")));
        QVERIFY(settings == oldSettings || settings.size() == SettingsRecord::kSize);
        // No half-written temporary file is left to fill the folder.
        for (const QString& name : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden))
            QVERIFY2(name == u"sysfile" || name == u"MAC" || name == label ||
                         name.startsWith(u"production.db"),
                     qPrintable(name));

        // With room again the same build succeeds: nothing was left behind.
        const qsizetype messages = rig.op.messages.size();
        QVERIFY(WriteBytes(rig.sources.rootPath, RandomBytes(32 * 1024, 8)));
        const RouterResult third = rig.runRouter(fetch);
        QVERIFY2(third.ok(), qPrintable(third.describe()));
        QCOMPARE(rig.op.messages.size(), messages);
        QVERIFY(third.received != oldPackage);
        QCOMPARE(third.received, ReadBytes(rig.path(packageName)));
        rig.stop();
    }
};

QTEST_GUILESS_MAIN(DiskFullTest)
#include "tst_diskfull.moc"
