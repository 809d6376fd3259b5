#include "core/log/GbkText.h"
#include "core/log/StationLog.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

using namespace quorvane;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString ThreadLine(int thread, int index) {
    // Long enough that a torn write would show, with GBK pairs in it.
    return QStringLiteral("线程%1-行%2-").arg(thread).arg(index) + QString(200, QChar(u'路'));
}

} // namespace

class TestStationLog : public QObject {
    Q_OBJECT
private slots:
    void linesOnDisk() {
        QTemporaryDir work;
        StationLog log(work.path());
        log.WriteLog(QStringLiteral("服务器已启动,,本地网络IP地址请设置为192.168.1.55"));
        log.WriteLog(QString());
        log.WriteLogFormat("Check MAC %d nexttime %d", 1, 0);
        log.WriteLog(QStringLiteral("文件为空!\n"));

        const QByteArray expected =
            ToGbk(QStringLiteral("服务器已启动,,本地网络IP地址请设置为192.168.1.55")) +
            "\r\n\r\nCheck MAC 1 nexttime 0\r\n" + ToGbk(QStringLiteral("文件为空!")) + "\r\n\r\n";
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), expected);
        QCOMPARE(log.logFilePath(), QDir(work.path()).filePath("Log/log.txt"));
    }

    void appendsToExistingFile() {
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkdir("Log"));
        QFile old(work.filePath("Log/log.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier run\r\n");
        old.close();

        StationLog(work.path()).WriteLog(QStringLiteral("next"));
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), QByteArray("earlier run\r\nnext\r\n"));
    }

    void formatCutInFileAndMirror() {
        QTemporaryDir work;
        StationLog log(work.path());
        QSignalSpy spy(&log, &StationLog::lineLogged);
        const QByteArray long600 = QString(599, 'a').toUtf8() + "中";
        log.WriteLogFormat("%s", long600.constData());

        const QByteArray onDisk = ReadAll(work.filePath("Log/log.txt"));
        QCOMPARE(onDisk, QByteArray(511, 'a') + "\r\n");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QString(511, 'a'));
    }

    void folderChoice_data() {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("used");
        QTest::newRow("nothing there") << QStringList() << QStringList() << "Log";
        QTest::newRow("Log") << QStringList{"Log"} << QStringList() << "Log";
        QTest::newRow("only log") << QStringList{"log"} << QStringList() << "log";
        QTest::newRow("LOG and Log") << QStringList{"LOG", "Log"} << QStringList() << "Log";
        QTest::newRow("odd case") << QStringList{"lOG"} << QStringList() << "lOG";
        QTest::newRow("file named Log") << QStringList{"LOG"} << QStringList{"Log"} << "LOG";
        QTest::newRow("other folders") << QStringList{"Logs", "blog"} << QStringList() << "Log";
    }
    void folderChoice() {
        QFETCH(QStringList, folders);
        QFETCH(QStringList, files);
        QFETCH(QString, used);
        QTemporaryDir work;
        QDir dir(work.path());
        for (const QString& folder : folders)
            QVERIFY(dir.mkdir(folder));
        for (const QString& name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }

        StationLog log(work.path());
        log.WriteLog(QStringLiteral("one"));
        log.WriteLog(QStringLiteral("two"));
        QCOMPARE(ReadAll(dir.filePath(used + "/log.txt")), QByteArray("one\r\ntwo\r\n"));
        const QStringList created = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(created.size(), folders.size() + (folders.contains(used) ? 0 : 1));
    }

    void mirrorsWhenFileCannotBeStored() {
        QTemporaryDir work;
        QFile blocker(work.filePath("notafolder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        StationLog log(blocker.fileName());
        QSignalSpy spy(&log, &StationLog::lineLogged);
        log.WriteLog(QStringLiteral("服务器启动失败"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("服务器启动失败"));
        QCOMPARE(ReadAll(blocker.fileName()), QByteArray());
    }

    void listenerMayLog() {
        QTemporaryDir work;
        StationLog log(work.path());
        bool inner = false;
        connect(&log, &StationLog::lineLogged, this, [&](const QString& text) {
            if (text == QLatin1String("outer") && !inner) {
                inner = true;
                log.WriteLog(QStringLiteral("inner"));
            }
        });
        log.WriteLog(QStringLiteral("outer"));
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), QByteArray("outer\r\ninner\r\n"));
    }

    void concurrentLinesStayWhole() {
        QTemporaryDir work;
        StationLog log(work.path());
        QStringList mirrored;
        connect(
            &log, &StationLog::lineLogged, this,
            [&mirrored](const QString& text) { mirrored.append(text); }, Qt::DirectConnection);

        constexpr int kThreads = 4;
        constexpr int kLines = 150;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(QThread::create([&log, t] {
                for (int i = 0; i < kLines; ++i)
                    log.WriteLog(ThreadLine(t, i));
            }));
        }
        for (auto& thread : threads)
            thread->start();
        for (auto& thread : threads)
            QVERIFY(thread->wait());

        const QList<QByteArray> lines = ReadAll(work.filePath("Log/log.txt")).split('\n');
        QCOMPARE(lines.size(), kThreads * kLines + 1);
        QVERIFY(lines.last().isEmpty());
        QList<int> next(kThreads, 0);
        for (int n = 0; n < kThreads * kLines; ++n) {
            QVERIFY(lines[n].endsWith('\r'));
            const QString text = FromGbk(lines[n].chopped(1));
            const int thread = text.mid(2, 1).toInt();
            QVERIFY(thread >= 0 && thread < kThreads);
            // Each thread's lines whole, in its own order, and the mirror in file order.
            QCOMPARE(text, ThreadLine(thread, next[thread]++));
            QCOMPARE(mirrored.at(n), text);
        }
    }
};

QTEST_GUILESS_MAIN(TestStationLog)
#include "tst_stationlog.moc"
