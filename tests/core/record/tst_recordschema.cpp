#include "core/record/LineUrl.h"
#include "core/record/ProductionRecord.h"
#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"
#include "core/record/RecordWriter.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

using namespace quorvane::record;

namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRecordSchema : public QObject {
    Q_OBJECT
private slots:
    // A file as a station of an older or newer schema left it, with one row:
    // a later station migrates an older file and keeps its rows, an older
    // station refuses a newer file and leaves it as it was. A station that
    // could not read its record at the start says so once, and reads the file
    // when it tries again later.
    void openFileOfAnotherSchema_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("unreadableAtStart");
        QTest::newRow("older file is migrated") << 1 << false;
        QTest::newRow("newer file is refused") << kSchemaVersion + 1 << false;
        QTest::newRow("unreadable at start, then an older file") << 1 << true;
    }
    void openFileOfAnotherSchema() {
        QFETCH(int, version);
        QFETCH(bool, unreadableAtStart);
        QTemporaryDir dir;
        const QString path = dir.filePath("production.db");
        QString error;
        qint64 now = 0;
        std::optional<ProductionRecord> station;
        QStringList told;
        if (unreadableAtStart) {
            QVERIFY(QDir().mkdir(path));
            station.emplace(dir.path(), [&now] { return now; });
            connect(&*station, &ProductionRecord::failed, [&told](const QString& t) { told << t; });
            QVERIFY(station->Check("5E3A71000128").localUnreadable);
            QVERIFY(QDir().rmdir(path));
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName(path);
            QVERIFY(db.open() && MigrateSchema(db, &error, 1));
            QSqlQuery query(db);
            QVERIFY(query.exec("INSERT INTO boards (id, station, folder, label, claimed_at, "
                               "outcome) VALUES ('a1', 'st1', '/f/', '5E3A71000128', 42, "
                               "'written-done')"));
            QVERIFY(
                query.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(version)));
            db.close();
        }
        QSqlDatabase::removeDatabase("old");
        if (station) {
            now += 1000;
            QVERIFY(station->Check("5E3A71000128").localUnreadable); // too soon to try again
            now += 5000;
            QCOMPARE(station->Check("5e3a71000128").written->station, QStringLiteral("st1"));
            station->flush();
            QCOMPARE(told.size(), 1);
            QVERIFY2(told[0].startsWith("生产记录" + path + "读取失败: "), qPrintable(told[0]));
        }
        const QByteArray before = Bytes(path);

        const auto store = RecordStore::Open(path, &error);
        if (version > kSchemaVersion) {
            QVERIFY(!store);
            QVERIFY2(error.contains("newer station"), qPrintable(error));
            QCOMPARE(Bytes(path), before);
            return;
        }
        QVERIFY2(store, qPrintable(error));
        QCOMPARE(SchemaVersion(store->database()), kSchemaVersion);
        const QList<BoardAttempt> rows = store->list({});
        QCOMPARE(rows.size(), 1);
        QVERIFY(store->save(rows.first(), &error)); // and writes it as this schema does
        QCOMPARE(store->latestWritten("5e3a71000128")->station, QStringLiteral("st1"));
    }

    // What an attempt's events leave on disk: a final outcome never changes,
    // and only an attempt whose files went out is written.
    void attemptEvents_data() {
        QTest::addColumn<QString>("events"); // t: files out, a: out, fetch again; else outcomes
        QTest::addColumn<QString>("stored"); // outcome and refetches
        QTest::newRow("written after its files") << "t written-done"
                                                 << "written-done 0";
        QTest::newRow("no files, nothing written") << "written-timer"
                                                   << "in-progress 0";
        QTest::newRow("the first finish counts") << "t written-timer written-done"
                                                 << "written-timer 0";
        QTest::newRow("an end stays") << "scan-cancelled t written-done"
                                      << "scan-cancelled 0";
        QTest::newRow("fetched again twice") << "a a fetched-again"
                                             << "fetched-again 2";
    }
    void attemptEvents() {
        QFETCH(QString, events);
        QTemporaryDir dir;
        ProductionRecord record(dir.path());
        record.Claimed("a1", "10.0.0.2", 2000);
        for (const QString& event : events.split(' ')) {
            if (event == u"t" || event == u"a")
                record.Transferred("a1", event == u"a");
            else
                record.SetOutcome("a1", *OutcomeFromText(event));
        }
        record.flush();
        const BoardAttempt row =
            RecordStore::Open(dir.filePath("production.db"), nullptr)->list({})[0];
        QTEST(OutcomeText(row.outcome) + ' ' + QString::number(row.refetches), "stored");
        QCOMPARE(row.finishedAt > 0, IsWritten(row.outcome));
    }

    // A disk that stays bad costs the oldest waiting rows, never the writer's
    // thread or unbounded memory; the rest are written once it is back.
    void writerKeepsTheNewest() {
        QTemporaryDir dir;
        const QString path = dir.filePath("later/production.db");
        {
            RecordWriter writer(path);
            for (int i = 0; i <= 10000; ++i) {
                BoardAttempt b;
                b.id = QString::number(i);
                b.station = b.folder = "s";
                b.claimedAt = 1 + i;
                writer.save(b);
            }
            writer.flush();
            QVERIFY(QDir(dir.path()).mkdir("later"));
        }
        const QList<BoardAttempt> rows = RecordStore::Open(path, nullptr)->list({});
        QCOMPARE(rows.size(), 10000);
        QVERIFY(std::ranges::none_of(rows, [](const BoardAttempt& b) { return b.id == "0"; }));
    }

    // Good line URLs pass as they are, a password shown only as ***.
    void goodLineUrls_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("shown");
        QTest::newRow("escaped password, port") << "postgresql://qv:p%41ss@db:5432/line"
                                                << "postgresql://qv:***@db:5432/line";
        QTest::newRow("an @ in the query") << "postgres://qv:pw@db/line?host=/run/a@b"
                                           << "postgres://qv:***@db/line?host=/run/a@b";
        QTest::newRow("password, no user") << "postgresql://:s3cret@db/line"
                                           << "postgresql://:***@db/line";
        QTest::newRow("no password") << "postgresql://qv@db/line"
                                     << "postgresql://qv@db/line";
    }
    void goodLineUrls() {
        QFETCH(QString, url);
        QCOMPARE(LineUrlProblem(url), QString());
        QTEST(LineUrlForDisplay(url), "shown");
    }
};

QTEST_GUILESS_MAIN(TestRecordSchema)
#include "tst_recordschema.moc"
