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

    // One record appended per call: GBK, CR LF, cut at 511 bytes between characters.
    void recordBytes_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char* name, const QString& value, const QByteArray& bytes,
                            const char* format = "%s") {
            QTest::newRow(name) << QByteArray(format) << value << bytes + "\r\n";
        };
        const QByteArray a509(509, 'a');
        row("empty", "", "");
        row("chinese", "路由器", ToGbk(QStringLiteral("正在下载文件路由器")), "正在下载文件%s");
        row("own line ends", "a\nb\r\nc", "a\r\nb\r\nc");
        row("not in GBK", QStringLiteral("x\U0001F600"), "x?");
        row("511", QString(511, 'a'), QByteArray(511, 'a'));
        row("600", QString(600, 'a'), QByteArray(511, 'a'));
        row("pair ends at 511", QString(a509) + QStringLiteral("中"), a509 + "\xD6\xD0");
        // 0x81 0x40: a trail byte that looks like ASCII.
        row("pair across 511", QString(a509) + QStringLiteral("a丂"), a509 + 'a');
    }
    void recordBytes() {
        QFETCH(QByteArray, format);
        QFETCH(QString, value);
        QFETCH(QByteArray, bytes);
        QTemporaryDir work;
        StationLog log(work.path());
        log.WriteLog(QStringLiteral("earlier"));
        log.WriteLogFormat(format.constData(), value.toUtf8().constData());
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), "earlier\r\n" + bytes);
    }

    // Cuts that the text round trip above cannot show: the decoder hides a half
    // character, so the byte rules are checked where they are made.
    void gbkEdges() {
        QCOMPARE(CutGbk("\x81\x40", 1), QByteArray());       // the trail byte looks like ASCII
        QCOMPARE(CutGbk("\x80\x80", 1), QByteArray("\x80")); // a character of its own
        QCOMPARE(FromGbk("a\xD6"), QStringLiteral("a\uFFFD"));
    }

    void stampedTexts() {
        QCOMPARE(StartLineText(kFriday), QStringLiteral("开始时间:2012-03-02-Fri 14:03:52"));
        QCOMPARE(EndLineText(kFriday), QStringLiteral("结速时间:2012-03-02-Fri 14:03:52"));
        QCOMPARE(RunFileName(kFriday), kRunName);
        QCOMPARE(StartLineText(QDateTime()), QString());
        QCOMPARE(RunFileName(QDateTime()), QString());
    }

    // The main log comes first, so both files meet in one folder whatever its case.
    void folderChoice_data() {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("logUsed");
        QTest::addColumn<QString>("runUsed");
        const auto row = [](const char* name, QStringList folders, QStringList files,
                            const char* log, const char* run) {
            QTest::newRow(name) << folders << files << QString(log) << QString(run);
        };
        row("nothing", {}, {}, "Log", "Log");
        row("only log", {"log"}, {}, "log", "log");
        row("both", {"Log", "log"}, {}, "Log", "log");
        row("file named Log", {"LOG"}, {"Log"}, "LOG", "LOG");
        row("near names", {"Logs", "blog"}, {}, "Log", "Log");
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

    // A second run file in the same second replaces the first; a name that cannot
    // be made or is taken by a folder gives none and harms nothing.
    void runFile() {
        QTemporaryDir work;
        QDir dir(work.path());
        QVERIFY(WriteRunFile(work.path() + '/', {"first", "run"}, kFriday));
        QVERIFY(WriteRunFile(work.path() + '/', {}, kFriday));
        QCOMPARE(ReadAll(dir.filePath("log/" + kRunName)), QByteArray());

        QVERIFY(QFile::remove(dir.filePath("log/" + kRunName)));
        MakeEntries(dir, {"log/" + kRunName}, {"plain"});
        QVERIFY(!WriteRunFile(work.path(), {"row"}, QDateTime()));
        QVERIFY(!WriteRunFile(dir.filePath("plain"), {"row"}, kFriday));
        QVERIFY(!WriteRunFile(work.path(), {"row"}, kFriday));
        QVERIFY(QFileInfo(dir.filePath("log/" + kRunName)).isDir());
        QCOMPARE(ReadAll(dir.filePath("plain")), QByteArray());
    }

    // The mirror sees every line, also one the file cannot take, and may log itself.
    void mirror() {
        QTemporaryDir work;
        MakeEntries(QDir(work.path()), {}, {"plain"});
        StationLog noFile(work.filePath("plain"));
        QSignalSpy spy(&noFile, &StationLog::lineLogged);
        QSignalSpy failed(&noFile, &StationLog::writeFailed);
        noFile.WriteLog(QStringLiteral("服务器启动失败"));
        noFile.WriteLog(QStringLiteral("again"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("服务器启动失败"));
        // The operator hears of it, once: lines were lost without a word.
        QCOMPARE(failed.count(), 1);

        StationLog log(work.path());
        connect(&log, &StationLog::lineLogged, this, [&log](const QString& text) {
            if (text == QLatin1String("outer"))
                log.WriteLog(QStringLiteral("inner"));
        });
        log.WriteLog(QStringLiteral("outer"));
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), QByteArray("outer\r\ninner\r\n"));
    }

    // Whole lines, each thread's in its own order, the mirror in file order.
    void concurrentLinesStayWhole() {
        QTemporaryDir work;
        StationLog log(work.path());
        QStringList mirrored;
        connect(
            &log, &StationLog::lineLogged, this, [&](const QString& t) { mirrored << t; },
            Qt::DirectConnection);
        const auto line = [](int thread, int index) {
            return QStringLiteral("%1线程行%2").arg(thread).arg(index) + QString(200, u'路');
        };
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back(QThread::create([&, t] {
                for (int i = 0; i < 150; ++i)
                    log.WriteLog(line(t, i));
            }));
            threads.back()->start();
        }
        for (auto& thread : threads)
            QVERIFY(thread->wait());
        QList<QByteArray> lines = ReadAll(work.filePath("Log/log.txt")).split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        QCOMPARE(lines.size(), 600);
        QList<int> next(4, 0);
        for (qsizetype n = 0; n < lines.size(); ++n) {
            const QString text = FromGbk(lines[n].chopped(1));
            QCOMPARE(text, line(text.left(1).toInt(), next[text.left(1).toInt()]++));
            QCOMPARE(mirrored.at(n), text);
        }
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
