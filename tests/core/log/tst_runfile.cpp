#include "core/log/GbkText.h"
#include "core/log/RunFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

namespace {

const QDateTime kShutdown(QDate(2012, 3, 2), QTime(14, 3, 52));
const QString kName = QStringLiteral("2012.03.02.Fri_14.03.52.txt");

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestRunFile : public QObject {
    Q_OBJECT
private slots:
    void contents_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("no rows") << QStringList() << QByteArray();
        QTest::newRow("rows") << QStringList{"1", "路由器", ""}
                              << QByteArray("1\r\n") + ToGbk(QStringLiteral("路由器")) + "\r\n\r\n";
    }
    void contents() {
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, bytes);
        QTemporaryDir program;
        QVERIFY(WriteRunFile(program.path() + '/', rows, kShutdown));
        QCOMPARE(ReadAll(program.filePath("log/" + kName)), bytes);
    }

    void folderChoice_data() {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QString>("used");
        QTest::newRow("none") << QStringList() << "log";
        QTest::newRow("log") << QStringList{"log"} << "log";
        QTest::newRow("Log only") << QStringList{"Log"} << "Log";
        QTest::newRow("both") << QStringList{"Log", "log"} << "log";
    }
    void folderChoice() {
        QFETCH(QStringList, folders);
        QFETCH(QString, used);
        QTemporaryDir program;
        QDir dir(program.path());
        for (const QString& folder : folders)
            QVERIFY(dir.mkdir(folder));
        // Without the trailing separator as well.
        QVERIFY(WriteRunFile(program.path(), {"x"}, kShutdown));
        QCOMPARE(ReadAll(dir.filePath(used + '/' + kName)), QByteArray("x\r\n"));
        QCOMPARE(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
                 folders.size() + (folders.contains(used) ? 0 : 1));
    }

    void sameSecondReplaces() {
        QTemporaryDir program;
        QVERIFY(WriteRunFile(program.path(), {"first", "run"}, kShutdown));
        QVERIFY(WriteRunFile(program.path(), {}, kShutdown));
        QCOMPARE(ReadAll(program.filePath("log/" + kName)), QByteArray());
        QCOMPARE(QDir(program.filePath("log")).entryList(QDir::Files).size(), 1);
    }

    void nothingWritten_data() {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QDateTime>("time");
        QTest::newRow("invalid time") << QString() << QDateTime();
        QTest::newRow("program dir is a file") << QStringLiteral("plainfile") << kShutdown;
        QTest::newRow("name taken by folder") << QString() << kShutdown;
    }
    void nothingWritten() {
        QFETCH(QString, programDir);
        QFETCH(QDateTime, time);
        QTemporaryDir work;
        QDir dir(work.path());
        QFile plain(dir.filePath("plainfile"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(dir.mkpath("log/" + kName));

        QVERIFY(!WriteRunFile(dir.filePath(programDir), {"row"}, time));
        QVERIFY(QFileInfo(dir.filePath("log/" + kName)).isDir());
        QCOMPARE(ReadAll(plain.fileName()), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestRunFile)
#include "tst_runfile.moc"
