// A program folder on a small memory file system that fills up while a
// package is being built: the operator hears of it, the older package is
// still whole and is still served.

#include "tests/support/LiveStation.h"

#include "core/personalise/PackageSources.h"
#include "core/settings/SettingsRecord.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

constexpr int kFolderSize = 2 * 1024 * 1024; // room for the record too

// Mounted for the life of the object; skipped by the caller when not allowed.
class SmallFolder {
public:
    SmallFolder() {
        const int rc =
            QProcess::execute(QStringLiteral("mount"),
                              {"-t", "tmpfs", "-o", QStringLiteral("size=%1").arg(kFolderSize),
                               "tmpfs", m_dir.path()});
        m_mounted = rc == 0;
    }
    ~SmallFolder() {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_dir.path()});
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

QString Sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

RouterResult Fetch(LiveStation& rig, const QString& name, std::int32_t crc) {
    return rig.runRouter(
        {"--name", name, "--crc", QString::number(crc), "--timeout-ms", "200", "--retries", "50"});
}

} // namespace

class DiskFullTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullFolderKeepsOldPackage_data();
    void fullFolderKeepsOldPackage();
};

void DiskFullTest::fullFolderKeepsOldPackage_data() {
    QTest::addColumn<bool>("newDevice"); // device package, else the MAC package
    QTest::newRow("device package of a re-scanned board") << true;
    QTest::newRow("MAC package of a package request") << false;
}

void DiskFullTest::fullFolderKeepsOldPackage() {
    QFETCH(bool, newDevice);
    SmallFolder folder;
    if (!folder.mounted())
        QSKIP("mounting a tmpfs is not allowed here");

    LiveStation::Options options;
    options.programDir = folder.path();
    LiveStation rig(options);
    const QString label = LabelText(0x4242);
    const QString packageName = newDevice ? label : QStringLiteral("MAC");
    const QString askedName = newDevice ? QStringLiteral("newboard") : QStringLiteral("mac");
    const std::int32_t crc = newDevice ? rig.bootLoaderCrc() : 0;
    rig.op.answers = {label, label, label};
    QVERIFY(rig.start(kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot));

    const RouterResult first = Fetch(rig, askedName, crc);
    QVERIFY2(first.ok(), qPrintable(first.describe()));
    const QByteArray oldPackage = ReadBytes(rig.path(packageName));
    QVERIFY(!oldPackage.isEmpty());
    QCOMPARE(first.sha256(), Sha256(oldPackage));
    const QByteArray oldSettings = ReadBytes(rig.path(QStringLiteral("sysfile")));
    QVERIFY(rig.op.messages.isEmpty());

    // The next build needs more room than the folder has.
    QVERIFY(WriteBytes(rig.sources.rootPath, RandomBytes(2 * kFolderSize, 7)));
    const RouterResult second = Fetch(rig, askedName, crc);
    QVERIFY2(!rig.op.messages.isEmpty(), qPrintable(rig.logText().right(2000)));
    QVERIFY2(second.ok(), qPrintable(second.describe()));
    QCOMPARE(second.sha256(), Sha256(oldPackage));
    QCOMPARE(ReadBytes(rig.path(packageName)), oldPackage);
    const QByteArray settings = ReadBytes(rig.path(QStringLiteral("sysfile")));
    QVERIFY(settings == oldSettings || settings.size() == SettingsRecord::kSize);
    // No half-written temporary file is left to fill the folder.
    const QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : left)
        QVERIFY2(name == u"sysfile" || name == u"MAC" || name == label ||
                     name.startsWith(u"production.db"),
                 qPrintable(name));

    // With room again the same build succeeds: nothing was left behind.
    const int messages = rig.op.messages.size();
    QVERIFY(WriteBytes(rig.sources.rootPath, RandomBytes(32 * 1024, 8)));
    const RouterResult third = Fetch(rig, askedName, crc);
    QVERIFY2(third.ok(), qPrintable(third.describe()));
    QCOMPARE(rig.op.messages.size(), messages);
    QVERIFY(ReadBytes(rig.path(packageName)) != oldPackage);
    QCOMPARE(third.sha256(), Sha256(ReadBytes(rig.path(packageName))));
    rig.stop();
}

QTEST_GUILESS_MAIN(DiskFullTest)
#include "tst_diskfull.moc"
