#include "core/record/ProductionRecord.h"
#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestRecordSchema)
#include "tst_recordschema.moc"
