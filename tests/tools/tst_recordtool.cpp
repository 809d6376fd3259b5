#include "core/record/RecordExport.h"
#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"
#include "core/record/RecordSummary.h"
#include "tests/support/BadLineUrls.h"
#include "tools/record/RecordText.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane::record;

namespace {

qint64 At(int day, int hour, int minute) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute), Qt::UTC).toMSecsSinceEpoch();
}

BoardAttempt Board(int n, qint64 claimed, const char* label, Outcome outcome, int seconds = 0) {
    BoardAttempt a;
    a.id = QStringLiteral("id-%1").arg(n);
    a.station = QStringLiteral("line1-a");
    a.routerAddress = QStringLiteral("192.168.1.10");
    a.routerPort = 2000 + n;
    a.label = a.baseMac = QString::fromLatin1(label);
    a.modelCode = 5;
    a.modelName = QStringLiteral("AX1800");
    a.claimedAt = claimed;
    a.outcome = outcome;
    a.finishedAt = IsWritten(outcome) ? claimed + seconds * 1000 : 0;
    return a;
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("none");
}

} // namespace

// quorvane-record as a shift leader runs it, in UTC. The record: seven boards
// written on 1 and 2 March (30 to 150 s), one of each other outcome, and 40
// packages built from the scan field on 29 February. Every file it is pointed
// at must be byte for byte the same afterwards.
class TestRecordTool : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_tool = qEnvironmentVariable("QUORVANE_BIN_DIR") + "/quorvane-record";
        if (!QFileInfo(m_tool).isExecutable())
            QSKIP("quorvane-record not built (QUORVANE_BIN_DIR)");
        QString error;
        auto store = RecordStore::Open(path("current"), &error);
        QVERIFY2(store, qPrintable(error));
        QList<BoardAttempt> boards;
        for (int i = 0; i < 40; ++i)
            boards << Board(100 + i, At(1, 0, 0) - 86400000 + i * 60000, "5E3A71FFFF00",
                            Outcome::Prepared);
        boards << Board(1, At(1, 6, 0), "5E3A71000001", Outcome::WrittenDone, 30)
               << Board(2, At(1, 6, 10), "5E3A71000002", Outcome::WrittenDone, 60)
               << Board(3, At(1, 6, 20), "5E3A71000003", Outcome::WrittenTimer, 90)
               << Board(4, At(1, 6, 30), "5E3A71000004", Outcome::WrittenDone, 120)
               << Board(5, At(1, 6, 40), "5E3A71000005", Outcome::WrittenDone, 150)
               << Board(6, At(1, 6, 50), "5E3A71000006", Outcome::Released)
               << Board(7, At(1, 7, 0), "5E3A71000007", Outcome::Stopped)
               << Board(8, At(1, 7, 10), "", Outcome::ScanCancelled)
               << Board(9, At(1, 7, 20), "5E3A71000001", Outcome::ReburnRefused)
               << Board(10, At(2, 6, 0), "5E3A71000009", Outcome::WrittenDone, 40)
               << Board(11, At(2, 6, 10), "5E3A71000001", Outcome::WrittenDone, 80);
        // Each of comma, quote and line break alone makes a CSV field quoted.
        boards[40].station = QStringLiteral("line 1, A");
        boards[40].folder = QStringLiteral("/srv/\nstation\\");
        boards[40].modelName = QStringLiteral("AX \"18\"");
        boards[41].refetches = 2;
        boards[48].reburn = QStringLiteral("refused");
        boards[50].reburn = QStringLiteral("confirmed");
        // Claimed and finished either side of a DST change in Europe.
        boards << Board(12, At(31, 0, 59) + 59999, "5E3A710000DD", Outcome::Prepared);
        boards.back().finishedAt = At(31, 1, 0);
        boards.back().station = QStringLiteral("站 1");
        boards.back().folder = QStringLiteral("a\rb");
        for (const BoardAttempt& board : boards)
            QVERIFY(store->save(board, &error));
        store.reset();

        { // as the first station made it, before its first board
            auto db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName(path("old"));
            QVERIFY(db.open() && MigrateSchema(db, &error, 1));
        }
        QSqlDatabase::removeDatabase("old");
        QFile text(path("text"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("label,outcome\n") > 0);
    }

    void commands_data() {
        QTest::addColumn<QString>("db"); // a fixture's name; "none" for no file at all
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("out"); // each in stdout, in this order
        QTest::addColumn<QString>("absent");  // nowhere in stdout
        QTest::addColumn<QString>("err");     // in stderr
        const auto row = [](const char* name, const char* db, const char* args, int code,
                            const QStringList& out, const char* absent = "\x01",
                            const char* err = "") {
            QTest::newRow(name) << db << args << code << out << absent << err;
        };
        const QString first = "2024-03-01 06:00:00  5E3A71000001  written-done      30.0 s      0";
        const QString last = "2024-03-02 06:10:00  5E3A71000001  written-done      80.0 s      0  "
                             "confirmed  5 AX1800      192.168.1.10:2011      line1-a\n";
        row("list: every board, oldest first", "current", "list", 0,
            {"claimed", "2024-02-29 00:00:00  5E3A71FFFF00  prepared", first,
             "2024-03-01 06:10:00  5E3A71000002  written-done      60.0 s      2",
             "2024-03-01 07:10:00  -             scan-cancelled         -", last});
        row("list: one label, any case", "current", "list --label 5e3a71000001", 0,
            {first, "reburn-refused         -      0  refused", last}, "5E3A71000002");
        row("list: since a time with an offset", "current", "list --since 2024-03-02T07:00+01:00",
            0, {"5E3A71000009", last}, "2024-03-01");
        row("csv: header, quoting, ISO times", "current",
            "export --format csv --label 5E3A71000001", 0,
            {"id,station,folder,router_address,router_port,label,",
             ",reburn\r\nid-1,\"line 1, A\",\"/srv/\nstation\\\",192.168.1.10,",
             ",5,\"AX \"\"18\"\"\",0,,0,00000000,",
             ",2024-03-01T06:00:00.000Z,,,,2024-03-01T06:00:30.000Z,30000,written-done,0,\r\n",
             ",reburn-refused,0,refused\r\n", ",confirmed\r\n"});
        row("json: one object per line", "current", "export --format json --label 5E3A71000001", 0,
            {"{\"id\":\"id-1\",\"station\":\"line 1, A\",\"folder\":\"/srv/\\u000astation\\\\\",",
             "\"model_name\":\"AX \\\"18\\\"\"", "}\n{", "\"finished_at\":null,",
             "\"reburn\":\"refused\"}\n{", "\"claimed_at\":\"2024-03-02T06:10:00.000Z\"",
             "\"reburn\":\"confirmed\"}\n"});
        row("csv: local time over a DST change, text beyond ASCII", "current",
            "TZ=Europe/Berlin export --format csv --label 5E3A710000DD", 0,
            {"id-12,站 1,\"a\rb\",",
             ",2024-03-31T01:59:59.999+01:00,,,,2024-03-31T03:00:00.000+02:00,1,"});
        row("csv: a zone unknown is UTC, not empty", "current",
            "TZ=Nowhere/Zone export --format csv --label 5E3A710000DD", 0,
            {",2024-03-31T00:59:59.999Z,"});
        row("json: an offset of 5:45", "current",
            "TZ=Asia/Kathmandu export --format json --label 5E3A710000DD", 0,
            {"\"claimed_at\":\"2024-03-31T06:44:59.999+05:45\""});
        row("summary: all, nearest ranks", "current", "summary", 0,
            {"all boards", "written          7\nfailed           2\nfetched again    1\n"
                           "cancelled        2\nmedian           80.0 s\n90th percentile  150.0 s\n"
                           "per hour         0.1\nlast board       80.0 s\n"
                           "repeated MACs    1 (2 boards)\n"});
        // 11 min 20 s from the first claim to the last finish: under an hour, the boards so far.
        row("summary: one day's two boards", "current", "summary --since 2024-03-02", 0,
            {"since 2024-03-02 00:00:00\nwritten          2\nfailed           0\n",
             "median           40.0 s\n90th percentile  80.0 s\nper hour         2.0\n",
             "repeated MACs    0 (0 boards)"});
        // A MAC in two written boards; the refused attempt on it is no board.
        row("list: repeated MACs", "current", "list --repeated", 0, {first, last}, "refused");
        row("summary: no board", "current", "summary --since 1h", 0,
            {"written          0", "median           -\n", "last board       -\n"});
        row("an older record is read as it is", "old", "list", 0, {"claimed"});
        row("not a record", "text", "summary", 1, {}, "written", "not a production record");
        row("no such file", "none", "summary", 1, {}, "written", "no such file");
        for (const auto& [url, shown, why] : BadLineUrls())
            row(url, url, "summary", 1, {}, "s3cret",
                qPrintable(QString("%1: %2").arg(shown, why)));
        row("a password in the options",
            "postgresql://qv@localhost/line?host=/none&password=s3cret", "summary", 1, {}, "s3cret",
            "postgresql://qv@localhost/line?host=/none&password=***: ");
        for (const char* args :
             {"", "frobnicate", "list extra", "list --bogus", "export --format xml",
              "list --format csv", "summary --label 5E3A71000001", "list --label 5E3A71",
              "list --since 24:00", "summary --repeated"})
            row(qPrintable(QStringLiteral("usage: '%1'").arg(args)), "current", args, 2, {},
                "5E3A71", "usage:");
    }
    void commands() {
        QFETCH(QString, db);
        QFETCH(QString, args);
        QFETCH(QStringList, out);
        QFETCH(QString, absent);
        QFETCH(QString, err);
        const QByteArray before = Bytes(path(db));
        const QString zone = args.startsWith("TZ=") ? args.section(' ', 0, 0) : "TZ=UTC";
        args = args.startsWith("TZ=") ? args.section(' ', 1) : args;
        QProcess p;
        p.setEnvironment(QProcess::systemEnvironment() << zone);
        p.start(m_tool, QStringList{"--db", path(db)} + QProcess::splitCommand(args));
        QVERIFY(p.waitForFinished(30000));
        const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitStatus() == QProcess::NormalExit, qPrintable(stdErr));
        QTEST(p.exitCode(), "code");
        qsizetype at = 0;
        for (const QString& part : out) {
            at = stdOut.indexOf(part, at);
            QVERIFY2(at >= 0, qPrintable("missing or out of order: " + part + "\n" + stdOut));
        }
        QVERIFY2(!stdOut.contains(absent), qPrintable(stdOut));
        QVERIFY2(stdErr.contains(err) && !stdErr.contains("s3cret"), qPrintable(stdErr));
        QCOMPARE(Bytes(path(db)), before);
    }

    // A client gone: the export stops at the sink's word and says so.
    void exportStops() {
        QString error;
        auto store = RecordStore::Open(path("current"), &error, OpenMode::ReadOnly);
        QVERIFY2(store, qPrintable(error));
        int chunks = 0;
        const auto sink = [&chunks](QByteArrayView) { return ++chunks > 1; };
        QVERIFY(!ExportBoards(*store, {}, ExportFormat::Csv, sink, &error));
        QCOMPARE(chunks, 1);
        QVERIFY(!error.isEmpty());
    }

    // The forms of --since against a fixed now, 3 March 2024 03:00 local time.
    void since_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("at"); // invalid: refused
        const auto local = [](int day, int hour, int minute, int second = 0) {
            return QDateTime(QDate(2024, 3, day), QTime(hour, minute, second));
        };
        QTest::newRow("hours back") << "8h" << local(2, 19, 0);
        QTest::newRow("days back") << "2d" << local(1, 3, 0);
        QTest::newRow("a clock time today") << "02:30" << local(3, 2, 30);
        QTest::newRow("a clock time still to come: yesterday's") << "22:00" << local(2, 22, 0);
        QTest::newRow("a day and time") << "2024-03-01 06:05:30" << local(1, 6, 5, 30);
        QTest::newRow("UTC") << "2024-03-01T06:05Z"
                             << QDateTime(QDate(2024, 3, 1), QTime(6, 5), Qt::UTC);
        for (const char* bad : {"", "8x", "-1h", "24:00", "2024-02-30", "2024-03-01 junk"})
            QTest::newRow(bad) << bad << QDateTime();
    }
    void since() {
        QFETCH(QString, text);
        QFETCH(QDateTime, at);
        const auto parsed = ParseSince(text, QDateTime(QDate(2024, 3, 3), QTime(3, 0)));
        QCOMPARE(parsed.has_value(), at.isValid());
        if (parsed)
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(*parsed), at);
    }

    // The shift's line under the device list and at the headless station's end.
    void shiftLine() {
        RecordSummary s;
        s.written = 2;
        s.perHour = 12.25;
        s.lastBoardMs = 65000;
        s.repeatedMacs = 1;
        s.repeatedBoards = 2;
        QCOMPARE(SummaryLine(s),
                 "已写 2 / 失败 0 / 每小时 12.3 块 / 最后一块 1分5秒 / 重复MAC 1个(2块板)");
        s.lastBoardMs = 65001; // seconds rounded up
        s.repeatedMacs = 0;
        QCOMPARE(SummaryLine(s), "已写 2 / 失败 0 / 每小时 12.3 块 / 最后一块 1分6秒");
    }

private:
    QString path(const QString& name) const {
        return name.contains(':') ? name : m_dir.filePath(name + ".db");
    }
    QString m_tool;
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestRecordTool)
#include "tst_recordtool.moc"
