#include "core/log/GbkText.h"
#include "core/log/LogText.h"
#include "core/log/RunFile.h"
#include "core/log/StationLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

using namespace quorvane;

namespace {

const QDateTime kFriday(QDate(2012, 3, 2), QTime(14, 3, 52));
const QString kRunName = QStringLiteral("2012.03.02.Fri_14.03.52.txt");

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

void MakeEntries(const QDir& dir, const QStringList& folders, const QStringList& files = {}) {
    for (const QString& folder : folders)
        QVERIFY(dir.mkdir(folder));
    for (const QString& name : files)
        QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
}

} // namespace

class TestLog : public QObject {
    Q_OBJECT
private slots:
    // Weekday names and digits must not follow the machine's locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void lineBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QString() << QByteArray("\r\n");
        QTest::newRow("chinese") << QStringLiteral("开始时间")
                                 << QByteArray("\xBF\xAA\xCA\xBC\xCA\xB1\xBC\xE4\r\n");
        QTest::newRow("own LF") << QStringLiteral("a\nb\n") << QByteArray("a\r\nb\r\n\r\n");
        QTest::newRow("own CR LF") << QStringLiteral("a\r\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("not in GBK") << QStringLiteral("x\U0001F600") << QByteArray("x?\r\n");
    }
    void lineBytes() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QTemporaryDir work;
        StationLog log(work.path());
        QFile old(work.filePath("Log/log.txt"));
        QVERIFY(QDir(work.path()).mkdir("Log") && old.open(QIODevice::WriteOnly));
        old.write("earlier\r\n");
        old.close();
        log.WriteLog(text);
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), "earlier\r\n" + bytes);
    }

    void formatCut_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("keptBytes");
        const QChar zhong(u'中');
        QTest::newRow("511") << QString(511, 'a') << 511;
        QTest::newRow("512") << QString(512, 'a') << 511;
        QTest::newRow("600") << QString(600, 'a') << 511;
        QTest::newRow("pair ends at 511") << QString(509, 'a') + zhong << 511;
        QTest::newRow("pair across 511") << QString(510, 'a') + zhong << 510;
        QTest::newRow("odd start") << QStringLiteral("a") + QString(300, zhong) << 511;
        QTest::newRow("even start") << QString(300, zhong) << 510;
    }
    void formatCut() {
        QFETCH(QString, message);
        QFETCH(int, keptBytes);
        QTemporaryDir work;
        StationLog log(work.path());
        QSignalSpy spy(&log, &StationLog::lineLogged);
        log.WriteLogFormat("%s", message.toUtf8().constData());
        const QByteArray gbk = ToGbk(message).left(keptBytes);
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), gbk + "\r\n");
        QCOMPARE(spy.value(0).value(0).toString(), message.left(FromGbk(gbk).size()));
    }

    void gbkPieces_data() {
        QTest::addColumn<QByteArray>("gbk");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("kept");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("fits") << QByteArray("a\xD6\xD0") << 3 << QByteArray("a\xD6\xD0") << "a中";
        QTest::newRow("pair at edge") << QByteArray("a\xD6\xD0") << 2 << QByteArray("a") << "a中";
        QTest::newRow("trail looks ascii") << QByteArray("\x81\x40") << 1 << QByteArray() << "丂";
        // 0x80 stands alone in code page 936 (the euro sign).
        QTest::newRow("0x80") << QByteArray("\x80\x80") << 1 << QByteArray("\x80") << "€€";
        QTest::newRow("dangling lead")
            << QByteArray("a\xD6") << 5 << QByteArray("a") << QStringLiteral("a\uFFFD");
    }
    void gbkPieces() {
        QFETCH(QByteArray, gbk);
        QFETCH(int, limit);
        QFETCH(QByteArray, kept);
        QFETCH(QString, decoded);
        QCOMPARE(CutGbk(gbk, limit), kept);
        QCOMPARE(FromGbk(gbk), decoded);
    }

    void formatValues() {
        QTemporaryDir work;
        StationLog log(work.path());
        log.WriteLogFormat("Recieve a download require[g_nexttime = %d] [g_processing = %d]", 0, 1);
        log.WriteLogFormat("正在下载文件%s", "路由器");
        const QByteArray expected = "Recieve a download require[g_nexttime = 0] [g_processing = 1]"
                                    "\r\n" +
                                    ToGbk(QStringLiteral("正在下载文件路由器")) + "\r\n";
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), expected);
    }

    void stampedTexts_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("runFile");
        QTest::newRow("friday") << kFriday << QStringLiteral("开始时间:2012-03-02-Fri 14:03:52")
                                << QStringLiteral("结速时间:2012-03-02-Fri 14:03:52") << kRunName;
        QTest::newRow("sunday") << QDateTime(QDate(2026, 1, 4), QTime(9, 5, 7))
                                << QStringLiteral("开始时间:2026-01-04-Sun 09:05:07")
                                << QStringLiteral("结速时间:2026-01-04-Sun 09:05:07")
                                << QStringLiteral("2026.01.04.Sun_09.05.07.txt");
        QTest::newRow("invalid") << QDateTime() << QString() << QString() << QString();
    }
    void stampedTexts() {
        QFETCH(QDateTime, time);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, runFile);
        QCOMPARE(StartLineText(time), start);
        QCOMPARE(EndLineText(time), end);
        QCOMPARE(RunFileName(time), runFile);
    }

    // The main log comes first, so both files meet in one folder whatever its case.
    void folderChoice_data() {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("logUsed");
        QTest::addColumn<QString>("runUsed");
        QTest::newRow("nothing") << QStringList() << QStringList() << "Log"
                                 << "Log";
        QTest::newRow("only log") << QStringList{"log"} << QStringList() << "log"
                                  << "log";
        QTest::newRow("only Log") << QStringList{"Log"} << QStringList() << "Log"
                                  << "Log";
        QTest::newRow("both") << QStringList{"Log", "log"} << QStringList() << "Log"
                              << "log";
        QTest::newRow("other case") << QStringList{"lOG"} << QStringList() << "lOG"
                                    << "lOG";
        QTest::newRow("file named Log") << QStringList{"LOG"} << QStringList{"Log"} << "LOG"
                                        << "LOG";
        QTest::newRow("near names") << QStringList{"Logs", "blog"} << QStringList() << "Log"
                                    << "Log";
    }
    void folderChoice() {
        QFETCH(QStringList, folders);
        QFETCH(QStringList, files);
        QFETCH(QString, logUsed);
        QFETCH(QString, runUsed);
        QTemporaryDir work;
        QDir dir(work.path());
        MakeEntries(dir, folders, files);

        StationLog log(work.path());
        log.WriteLog(QStringLiteral("one"));
        log.WriteLog(QStringLiteral("two"));
        QVERIFY(WriteRunFile(work.path(), {"1", "路由器"}, kFriday));

        QCOMPARE(ReadAll(dir.filePath(logUsed + "/log.txt")), QByteArray("one\r\ntwo\r\n"));
        QCOMPARE(ReadAll(dir.filePath(runUsed + '/' + kRunName)),
                 "1\r\n" + ToGbk(QStringLiteral("路由器")) + "\r\n");
        QSet<QString> expected(folders.begin(), folders.end());
        expected << logUsed << runUsed;
        const QStringList now = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(QSet<QString>(now.begin(), now.end()), expected);
    }

    void runFileReplacedInSameSecond() {
        QTemporaryDir program;
        QVERIFY(WriteRunFile(program.path() + '/', {"first", "run"}, kFriday));
        QVERIFY(WriteRunFile(program.path() + '/', {}, kFriday));
        QCOMPARE(ReadAll(program.filePath("log/" + kRunName)), QByteArray());
    }

    void runFileNotWritten_data() {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<QDateTime>("time");
        QTest::newRow("invalid time") << QString() << QDateTime();
        QTest::newRow("program dir is a file") << QStringLiteral("plain") << kFriday;
        QTest::newRow("name taken by a folder") << QString() << kFriday;
    }
    void runFileNotWritten() {
        QFETCH(QString, programDir);
        QFETCH(QDateTime, time);
        QTemporaryDir work;
        QDir dir(work.path());
        MakeEntries(dir, {"log", "log/" + kRunName}, {"plain"});
        QVERIFY(!WriteRunFile(dir.filePath(programDir), {"row"}, time));
        QVERIFY(QFileInfo(dir.filePath("log/" + kRunName)).isDir());
        QCOMPARE(ReadAll(dir.filePath("plain")), QByteArray());
    }

    void mirrorWithoutFile() {
        QTemporaryDir work;
        MakeEntries(QDir(work.path()), {}, {"plain"});
        StationLog log(work.filePath("plain"));
        QSignalSpy spy(&log, &StationLog::lineLogged);
        log.WriteLog(QStringLiteral("服务器启动失败"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("服务器启动失败"));
    }

    void listenerMayLog() {
        QTemporaryDir work;
        StationLog log(work.path());
        connect(&log, &StationLog::lineLogged, this, [&log](const QString& text) {
            if (text == QLatin1String("outer"))
                log.WriteLog(QStringLiteral("inner"));
        });
        log.WriteLog(QStringLiteral("outer"));
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), QByteArray("outer\r\ninner\r\n"));
    }

    void concurrentLinesStayWhole() {
        QTemporaryDir work;
        StationLog log(work.path());
        QStringList mirrored;
        connect(
            &log, &StationLog::lineLogged, this, [&](const QString& t) { mirrored << t; },
            Qt::DirectConnection);
        constexpr int kThreads = 4;
        constexpr int kLines = 150;
        const auto line = [](int thread, int index) {
            return QStringLiteral("%1线程行%2").arg(thread).arg(index) + QString(200, u'路');
        };
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back(QThread::create([&, t] {
                for (int i = 0; i < kLines; ++i)
                    log.WriteLog(line(t, i));
            }));
            threads.back()->start();
        }
        for (auto& thread : threads)
            QVERIFY(thread->wait());

        const QList<QByteArray> lines = ReadAll(work.filePath("Log/log.txt")).split('\n');
        QCOMPARE(lines.size(), kThreads * kLines + 1);
        QList<int> next(kThreads, 0);
        for (int n = 0; n < kThreads * kLines; ++n) {
            const QString text = FromGbk(lines[n].chopped(1));
            const int thread = text.left(1).toInt();
            // Whole lines, each thread's in its own order, the mirror in file order.
            QCOMPARE(text, line(thread, next[thread]++));
            QCOMPARE(mirrored.at(n), text);
        }
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
