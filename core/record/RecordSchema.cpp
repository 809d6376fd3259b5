#include "core/record/RecordSchema.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QThread>
#include <QVariant>

namespace quorvane::record {

namespace {

// The stations' common key for the schema step's lock on a server.
constexpr qint64 kSchemaLockKey = 0x51564e5245434f52; // "QVNRECOR"

// Each step as it was first shipped; a later change is a new step.
const QStringList& Step(int version) {
    static const QStringList kSteps[] = {
        {
            QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)"),
            QStringLiteral("INSERT INTO schema_version (version) VALUES (0)"),
            QStringLiteral(
                "CREATE TABLE boards ("
                " id TEXT PRIMARY KEY, station TEXT NOT NULL, folder TEXT NOT NULL,"
                " router_address TEXT NOT NULL DEFAULT '', router_port INTEGER NOT NULL DEFAULT 0,"
                " label TEXT NOT NULL DEFAULT '', base_mac TEXT NOT NULL DEFAULT '',"
                " model_mac TEXT NOT NULL DEFAULT '', wan_mac TEXT NOT NULL DEFAULT '',"
                " model_code INTEGER NOT NULL DEFAULT 0, model_name TEXT NOT NULL DEFAULT '',"
                " selection INTEGER NOT NULL DEFAULT 0,"
                " bootloader_name TEXT NOT NULL DEFAULT '', bootloader_size BIGINT NOT NULL "
                "DEFAULT 0, bootloader_crc BIGINT NOT NULL DEFAULT 0,"
                " root_name TEXT NOT NULL DEFAULT '', root_size BIGINT NOT NULL DEFAULT 0,"
                " root_crc BIGINT NOT NULL DEFAULT 0,"
                " config_name TEXT NOT NULL DEFAULT '', config_size BIGINT NOT NULL DEFAULT 0,"
                " config_crc BIGINT NOT NULL DEFAULT 0,"
                " claimed_at BIGINT NOT NULL, scanned_at BIGINT NOT NULL DEFAULT 0,"
                " built_at BIGINT NOT NULL DEFAULT 0, transferred_at BIGINT NOT NULL DEFAULT 0,"
                " finished_at BIGINT NOT NULL DEFAULT 0, elapsed_ms BIGINT NOT NULL DEFAULT -1,"
                " outcome TEXT NOT NULL, refetches INTEGER NOT NULL DEFAULT 0,"
                " reburn TEXT NOT NULL DEFAULT '')"),
            // The guard looks a label up; list and summary go by time.
            QStringLiteral("CREATE INDEX boards_label ON boards (label, finished_at)"),
            QStringLiteral("CREATE INDEX boards_claimed ON boards (claimed_at)"),
        },
        {
            QStringLiteral("ALTER TABLE boards ADD COLUMN revision BIGINT NOT NULL DEFAULT 1"),
            QStringLiteral(
                "CREATE TABLE deliveries (id TEXT PRIMARY KEY, revision BIGINT NOT NULL)"),
        },
        {
            // The summary over a long period reads these instead of every row:
            // counts by outcome, the written boards' times in order (the
            // percentiles), the board finished last.
            QStringLiteral("CREATE INDEX boards_outcome ON boards (outcome, claimed_at)"),
            QStringLiteral(
                "CREATE INDEX boards_refetched ON boards (claimed_at) WHERE refetches > 0"),
            QStringLiteral("CREATE INDEX boards_written_time ON boards (elapsed_ms, claimed_at) "
                           "WHERE outcome IN ('written-done', 'written-timer')"),
            QStringLiteral("CREATE INDEX boards_written_finish ON boards (finished_at, elapsed_ms, "
                           "claimed_at) WHERE outcome IN ('written-done', 'written-timer')"),
        },
    };
    return kSteps[version - 1];
}

// The change counter's key for the lock that puts the numbers in commit
// order: a transaction writing boards holds it until it ends, so a reader
// that sees change n has seen every change below n.
constexpr qint64 kChangeLockKey = 0x51564e4348414e47; // "QVNCHANG"

// Each addition as it was first shipped, per driver.
QStringList Addition(int addition, bool sqlite) {
    if (addition == kBoardHoursAddition) {
        if (sqlite)
            return {};
        // A row leaves its hour's count when it stops being written or its
        // finish moves, and joins the new one; the function runs as its
        // owner, as the change counter's does.
        const QString counted = QStringLiteral(
            "%1.outcome IN ('written-done', 'written-timer') AND %1.finished_at > 0");
        return QStringList{
            QStringLiteral("CREATE TABLE board_hours (station TEXT NOT NULL, hour BIGINT NOT "
                           "NULL, written INTEGER NOT NULL, PRIMARY KEY (station, hour))"),
            QStringLiteral("INSERT INTO board_hours (station, hour, written) SELECT station, "
                           "finished_at / 3600000, COUNT(*) FROM boards WHERE %1 GROUP BY 1, 2")
                .arg(QString(counted).replace(QStringLiteral("%1."), QString())),
            QStringLiteral(
                "CREATE FUNCTION board_hours_kept() RETURNS trigger LANGUAGE plpgsql SECURITY "
                "DEFINER SET search_path = pg_catalog, public AS $$ BEGIN "
                "IF TG_OP = 'UPDATE' AND %1 AND %2 AND OLD.station = NEW.station AND "
                "OLD.finished_at / 3600000 = NEW.finished_at / 3600000 THEN RETURN NULL; END IF; "
                "IF TG_OP <> 'INSERT' AND %1 THEN UPDATE board_hours SET written = written - 1 "
                "WHERE station = OLD.station AND hour = OLD.finished_at / 3600000; END IF; "
                "IF TG_OP <> 'DELETE' AND %2 THEN INSERT INTO board_hours (station, hour, "
                "written) VALUES (NEW.station, NEW.finished_at / 3600000, 1) ON CONFLICT "
                "(station, hour) DO UPDATE SET written = board_hours.written + 1; END IF; "
                "RETURN NULL; END $$")
                .arg(counted.arg(QStringLiteral("OLD")), counted.arg(QStringLiteral("NEW"))),
            QStringLiteral("CREATE TRIGGER boards_hours AFTER INSERT OR UPDATE OR DELETE ON "
                           "boards FOR EACH ROW EXECUTE FUNCTION board_hours_kept()")};
    }
    if (addition == kStationSummaryAddition) {
        // The same for both drivers; the hour is an expression so that the
        // hourly counts group in index order instead of sorting every row.
        return QStringList{
            QStringLiteral("CREATE INDEX boards_station_claimed ON boards (station, claimed_at)"),
            QStringLiteral("CREATE INDEX boards_station_refetched ON boards (station, claimed_at) "
                           "WHERE refetches > 0"),
            QStringLiteral("CREATE INDEX boards_station_hour ON boards (station, (finished_at / "
                           "3600000), finished_at, claimed_at) WHERE outcome IN ('written-done', "
                           "'written-timer')")};
    }
    Q_ASSERT(addition == kChangeCounterAddition);
    const QString counted = QStringLiteral("ALTER TABLE schema_version ADD COLUMN additions "
                                           "INTEGER NOT NULL DEFAULT 0");
    const QString column =
        QStringLiteral("ALTER TABLE boards ADD COLUMN change BIGINT NOT NULL DEFAULT 0");
    // The counter's, and a station's figures read from indexes of its own
    // rows (the dashboard's summary per station, its list of stations).
    const QString written = QStringLiteral(" WHERE outcome IN ('written-done', 'written-timer')");
    const QStringList indexes{
        QStringLiteral("CREATE INDEX boards_change ON boards (change)"),
        QStringLiteral("CREATE INDEX boards_station ON boards (station, outcome, claimed_at)"),
        QStringLiteral("CREATE INDEX boards_station_time ON boards (station, elapsed_ms, "
                       "claimed_at)") +
            written,
        QStringLiteral("CREATE INDEX boards_station_finish ON boards (station, finished_at, "
                       "elapsed_ms, claimed_at)") +
            written};
    if (sqlite) {
        // SQLite has one writer at a time: a table row is the sequence.
        const QString next = QStringLiteral(
            " BEGIN UPDATE board_changes SET last = last + 1; UPDATE boards SET change = (SELECT "
            "last FROM board_changes) WHERE rowid = NEW.rowid; END");
        return QStringList{counted, column,
                           QStringLiteral("CREATE TABLE board_changes (last BIGINT NOT NULL)"),
                           QStringLiteral("UPDATE boards SET change = rowid"),
                           QStringLiteral("INSERT INTO board_changes (last) SELECT "
                                          "COALESCE(MAX(rowid), 0) FROM boards")} +
               indexes +
               QStringList{
                   QStringLiteral("CREATE TRIGGER boards_change_insert AFTER INSERT ON boards") +
                       next,
                   // The counter's own update leaves the change differing.
                   QStringLiteral("CREATE TRIGGER boards_change_update AFTER UPDATE ON boards WHEN "
                                  "NEW.change = OLD.change") +
                       next};
    }
    // The function runs as its owner: a station of another role that may
    // write boards needs no right on the sequence.
    return QStringList{counted, QStringLiteral("CREATE SEQUENCE board_changes"), column,
                       QStringLiteral("UPDATE boards SET change = nextval('board_changes')")} +
           indexes +
           QStringList{
               QStringLiteral(
                   "CREATE FUNCTION board_changed() RETURNS trigger LANGUAGE plpgsql "
                   "SECURITY DEFINER SET search_path = pg_catalog, public AS $$ BEGIN PERFORM "
                   "pg_advisory_xact_lock(%1); NEW.change := "
                   "nextval('board_changes'); PERFORM pg_notify('%2', CAST(NEW.change AS "
                   "text)); RETURN NEW; END $$")
                   .arg(kChangeLockKey)
                   .arg(QLatin1String(kBoardsChannel)),
               QStringLiteral("CREATE TRIGGER boards_change BEFORE INSERT OR UPDATE ON boards FOR "
                              "EACH ROW EXECUTE FUNCTION board_changed()")};
}

// A test holds a station inside its schema step while another one starts:
// QUORVANE_HOLD_SCHEMA names a file; while it exists the step waits, after
// leaving NAME.held beside it.
void HoldForTest() {
    const QString hold = qEnvironmentVariable("QUORVANE_HOLD_SCHEMA");
    if (hold.isEmpty() || !QFile::exists(hold))
        return;
    QFile(hold + QStringLiteral(".held")).open(QIODevice::WriteOnly);
    const QDeadlineTimer deadline(60000);
    while (QFile::exists(hold) && !deadline.hasExpired())
        QThread::msleep(10);
}

} // namespace

int SchemaVersion(QSqlDatabase& db) {
    if (!db.tables().contains(QStringLiteral("schema_version")))
        return 0;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM schema_version")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

int SchemaAdditions(QSqlDatabase& db) {
    // Asked of the catalogue: a failed statement would end a server's transaction.
    if (!db.record(QStringLiteral("schema_version")).contains(QStringLiteral("additions")))
        return 0;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT additions FROM schema_version")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

QString SchemaRefusal(int version, int known) {
    if (version <= known)
        return {};
    return QStringLiteral("the record was made by a newer station (schema %1, this one knows %2)")
        .arg(version)
        .arg(known);
}

bool MigrateSchema(QSqlDatabase& db, QString* error, int upTo, int additionsUpTo) {
    QSqlQuery query(db);
    const auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    // Two stations may make the same record at once: the second waits here
    // for the first (SQLite: the write lock at once, through the busy
    // timeout; PostgreSQL: a lock of this step) and then reads what it made.
    const bool sqlite = db.driverName() == u"QSQLITE";
    if (!query.exec(sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"))) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    if (!sqlite &&
        !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey)))
        return fail(query.lastError().text());
    const int current = SchemaVersion(db);
    if (const QString refusal = SchemaRefusal(current); !refusal.isEmpty())
        return fail(refusal);
    for (int version = current + 1; version <= upTo; ++version) {
        for (const QString& statement : Step(version)) {
            if (!query.exec(statement))
                return fail(query.lastError().text());
        }
        query.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
        query.addBindValue(version);
        if (!query.exec())
            return fail(query.lastError().text());
    }
    // Additions follow the version they were made for.
    const int additions = upTo == kSchemaVersion ? SchemaAdditions(db) : additionsUpTo;
    // Stations of the previous version write boards without this step's lock:
    // a row they wrote between an addition's filling and its trigger would be
    // counted by neither. Their writes wait until the step commits.
    if (!sqlite && additions < additionsUpTo &&
        !query.exec(QStringLiteral("LOCK TABLE boards IN SHARE ROW EXCLUSIVE MODE")))
        return fail(query.lastError().text());
    for (int addition = additions + 1; addition <= additionsUpTo; ++addition) {
        for (const QString& statement : Addition(addition, sqlite)) {
            if (!query.exec(statement))
                return fail(query.lastError().text());
        }
        query.prepare(QStringLiteral("UPDATE schema_version SET additions = ?"));
        query.addBindValue(addition);
        if (!query.exec())
            return fail(query.lastError().text());
    }
    HoldForTest();
    if (!query.exec(QStringLiteral("COMMIT")))
        return fail(query.lastError().text());
    return true;
}

} // namespace quorvane::record
