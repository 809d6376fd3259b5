#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane::record;

namespace {

// A file as a station of an older or newer schema left it, with one row.
bool MakeFile(const QString& path, int version) {
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(path);
        QString error;
        ok = db.open() && MigrateSchema(db, &error, 1);
        QSqlQuery query(db);
        ok =
            ok && query.exec("INSERT INTO boards (id, station, folder, label, claimed_at, outcome) "
                             "VALUES ('a1', 'st1', '/f/', '5E3A71000128', 42, 'written-done')");
        if (version != 1)
            ok = ok &&
                 query.exec(QStringLiteral("UPDATE schema_version SET version = %1").arg(version));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    return ok;
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRecordSchema : public QObject {
    Q_OBJECT
private slots:
    // A later station opens an older file and keeps its rows.
    void olderFileIsMigrated() {
        QTemporaryDir dir;
        const QString path = dir.filePath("production.db");
        QVERIFY(MakeFile(path, 1));
        QString error;
        const auto store = RecordStore::Open(path, &error);
        QVERIFY2(store, qPrintable(error));
        QCOMPARE(SchemaVersion(store->database()), kSchemaVersion);
        const QList<BoardAttempt> rows = store->list({});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().label, QStringLiteral("5E3A71000128"));
        QCOMPARE(rows.first().outcome, Outcome::WrittenDone);
        QVERIFY(store->save(rows.first(), &error)); // and writes it as this schema does
        QCOMPARE(store->latestWritten("5e3a71000128")->station, QStringLiteral("st1"));
    }

    // An older station refuses a newer file and leaves it as it was.
    void newerFileIsRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath("production.db");
        QVERIFY(MakeFile(path, kSchemaVersion + 1));
        const QByteArray before = Bytes(path);
        QString error;
        QVERIFY(!RecordStore::Open(path, &error));
        QVERIFY2(error.contains("newer station"), qPrintable(error));
        QCOMPARE(Bytes(path), before);
    }
};

QTEST_GUILESS_MAIN(TestRecordSchema)
#include "tst_recordschema.moc"
