#include "core/settings/StationFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

// An installed station wrote into /usr/bin: its folder was the program's.
class TestStationFolder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
        QStandardPaths::setTestModeEnabled(true); // the user's folder goes under ~/.qttest
    }

    void choice_data() {
        QTest::addColumn<QString>("requested"); // "tmp": a writable folder of the test's
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("chosen"); // "tmp", "own" (the user's), or "" (refused)
        QTest::newRow("build folder") << ""
                                      << "tmp"
                                      << "tmp";
        QTest::newRow("installed in /usr/bin") << ""
                                               << "/usr/bin"
                                               << "own";
        QTest::newRow("in /bin, a link to /usr/bin") << ""
                                                     << "/bin"
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
    void choice() {
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
        if (chosen.isEmpty()) {
            QVERIFY(folder.path.isEmpty());
            QVERIFY(folder.error.contains(place(requested)));
            return;
        }
        QVERIFY(folder.error.isEmpty());
        const QString expected =
            chosen == u"own" ? QFileInfo(own).canonicalFilePath() : place(chosen);
        QCOMPARE(folder.path, expected + QLatin1Char('/'));
        QVERIFY(IsOwnStationFolder(folder.path));
    }

    void unwritableExecutableFolder() {
        QTemporaryDir tmp;
        QVERIFY(QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::ExeOwner));
        if (QFileInfo(tmp.path()).isWritable())
            QSKIP("permissions do not stop this user (root)");
        const StationFolder folder = ChooseStationFolder({}, tmp.path());
        QVERIFY(!folder.path.startsWith(tmp.path()));
        QVERIFY(IsOwnStationFolder(folder.path));
        QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(TestStationFolder)
#include "tst_stationfolder.moc"
