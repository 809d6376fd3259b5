#include "core/record/RecordStore.h"

#include "core/record/RecordSchema.h"
#include "core/record/RecordSummary.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

namespace quorvane::record {

namespace {

const QStringList& Columns() {
    static const QStringList kColumns =
        QStringLiteral(
            "id station folder router_address router_port label base_mac model_mac wan_mac "
            "model_code model_name selection bootloader_name bootloader_size bootloader_crc "
            "root_name root_size root_crc config_name config_size config_crc claimed_at scanned_at "
            "built_at transferred_at finished_at elapsed_ms outcome refetches reburn")
            .split(QLatin1Char(' '));
    return kColumns;
}

QString NewConnectionName() {
    static QAtomicInt next;
    return QStringLiteral("quorvane-record-%1").arg(next.fetchAndAddRelaxed(1));
}

bool Fail(QString* error, const QString& text) {
    if (error)
        *error = text;
    return false;
}

QSqlDatabase PostgresFromUrl(const QUrl& url, const QString& name) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    QUrlQuery query(url);
    QString host = url.host();
    if (query.hasQueryItem(QStringLiteral("host"))) {
        host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
        query.removeAllQueryItems(QStringLiteral("host"));
    }
    db.setHostName(host);
    if (url.port() > 0)
        db.setPort(url.port());
    db.setUserName(url.userName(QUrl::FullyDecoded));
    db.setPassword(url.password(QUrl::FullyDecoded));
    db.setDatabaseName(url.path(QUrl::FullyDecoded).mid(1));
    // A line whose server is gone must not hold a station for long.
    QStringList options{QStringLiteral("connect_timeout=3")};
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == u"connect_timeout")
            options.removeFirst();
        options << key + QLatin1Char('=') + value;
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
    return db;
}

// A record read as it is: a newer station's rows may mean what this one
// cannot know, an older one's read the same.
bool CheckReadable(QSqlDatabase& db, QString* error) {
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM schema_version")) || !query.next())
        return Fail(
            error,
            QStringLiteral("not a production record (%1)").arg(query.lastError().text().trimmed()));
    const int version = query.value(0).toInt();
    if (const QString refusal = SchemaRefusal(version); !refusal.isEmpty())
        return Fail(error, refusal);
    if (version < 1)
        return Fail(error, QStringLiteral("not a production record (schema %1)").arg(version));
    return true;
}

} // namespace

QString BoardColumnList() {
    return Columns().join(QStringLiteral(", "));
}

void BindBoard(QSqlQuery& query, const BoardAttempt& a) {
    const QVariantList values{
        a.id,
        a.station,
        a.folder,
        a.routerAddress,
        a.routerPort,
        a.label,
        a.baseMac,
        a.modelMac,
        a.wanMac,
        a.modelCode,
        a.modelName,
        a.selection,
        a.bootLoader.name,
        a.bootLoader.size,
        qint64{a.bootLoader.crc},
        a.rootImage.name,
        a.rootImage.size,
        qint64{a.rootImage.crc},
        a.configTemplate.name,
        a.configTemplate.size,
        qint64{a.configTemplate.crc},
        a.claimedAt,
        a.scannedAt,
        a.builtAt,
        a.transferredAt,
        a.finishedAt,
        a.elapsedMs(),
        OutcomeText(a.outcome),
        a.refetches,
        a.reburn,
    };
    for (const QVariant& value : values) {
        // A null text would be bound as NULL; the columns hold '' instead.
        const bool nullText = value.typeId() == QMetaType::QString && value.toString().isNull();
        query.addBindValue(nullText ? QVariant(QStringLiteral("")) : value);
    }
}

BoardAttempt ReadBoard(const QSqlQuery& query, int c) {
    BoardAttempt a;
    const auto text = [&] { return query.value(c++).toString(); };
    const auto number = [&] { return query.value(c++).toLongLong(); };
    const auto source = [&](SourceUse& use) {
        use.name = text();
        use.size = number();
        use.crc = static_cast<std::uint32_t>(number());
    };
    a.id = text();
    a.station = text();
    a.folder = text();
    a.routerAddress = text();
    a.routerPort = static_cast<int>(number());
    a.label = text();
    a.baseMac = text();
    a.modelMac = text();
    a.wanMac = text();
    a.modelCode = static_cast<int>(number());
    a.modelName = text();
    a.selection = static_cast<int>(number());
    source(a.bootLoader);
    source(a.rootImage);
    source(a.configTemplate);
    a.claimedAt = number();
    a.scannedAt = number();
    a.builtAt = number();
    a.transferredAt = number();
    a.finishedAt = number();
    ++c; // elapsed_ms follows from the times
    a.outcome = OutcomeFromText(text()).value_or(Outcome::InProgress);
    a.refetches = static_cast<int>(number());
    a.reburn = text();
    return a;
}

RecordStore::RecordStore(QSqlDatabase db)
    : m_db(std::move(db)), m_connection(m_db.connectionName()) {}

RecordStore::~RecordStore() {
    m_save.reset();
    m_latest.reset();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

std::unique_ptr<RecordStore> RecordStore::Open(const QString& where, QString* error,
                                               OpenMode mode) {
    const QString name = NewConnectionName();
    const QUrl url(where);
    const bool postgres = url.scheme() == u"postgresql" || url.scheme() == u"postgres";
    const bool readOnly = mode == OpenMode::ReadOnly;
    // SQLite would make an empty database of a missing file.
    if (readOnly && !postgres && !QFileInfo(where).isFile()) {
        Fail(error, QStringLiteral("no such file"));
        return nullptr;
    }
    std::unique_ptr<RecordStore> store(
        new RecordStore(postgres ? PostgresFromUrl(url, name)
                                 : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name)));
    QSqlDatabase& db = store->m_db;
    if (!db.isValid()) {
        Fail(error,
             QStringLiteral("no Qt SQL driver for %1").arg(postgres ? "PostgreSQL" : "SQLite"));
        return nullptr;
    }
    if (!postgres) {
        db.setDatabaseName(where);
        // Another writer (the delivery to the line) waits its turn instead of failing.
        db.setConnectOptions(readOnly
                                 ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
                                 : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.open()) {
        Fail(error, db.lastError().text());
        return nullptr;
    }
    if (readOnly) {
        QSqlQuery query(db);
        const QString statement = postgres
                                      ? QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION "
                                                       "READ ONLY")
                                      : QStringLiteral("PRAGMA query_only = 1");
        if (!query.exec(statement)) {
            Fail(error, query.lastError().text());
            return nullptr;
        }
        return CheckReadable(db, error) ? std::move(store) : nullptr;
    }
    // A newer station's file is left exactly as it is.
    if (SchemaVersion(db) > kSchemaVersion) {
        MigrateSchema(db, error);
        return nullptr;
    }
    if (!postgres) {
        // Every committed row survives a power cut or a kill. The WAL keeps
        // its size over a checkpoint (about 4 MB): a commit then overwrites it
        // in place and its sync writes no new file size.
        QSqlQuery pragma(db);
        for (const char* statement : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL",
                                      "PRAGMA journal_size_limit=8388608"}) {
            if (!pragma.exec(QString::fromLatin1(statement))) {
                Fail(error, pragma.lastError().text());
                return nullptr;
            }
        }
    }
    if (!MigrateSchema(db, error))
        return nullptr;
    return store;
}

bool RecordStore::isSqlite() const {
    return m_db.driverName() == u"QSQLITE";
}

QSqlQuery* RecordStore::prepared(std::unique_ptr<QSqlQuery>& kept,
                                 const std::function<QString()>& sql, QString* error) {
    if (kept && isSqlite())
        return kept.get();
    auto query = std::make_unique<QSqlQuery>(m_db);
    if (!query->prepare(sql())) {
        Fail(error, query->lastError().text());
        return nullptr;
    }
    kept = std::move(query);
    return kept.get();
}

bool RecordStore::save(const BoardAttempt& attempt, QString* error) {
    QSqlQuery* query = prepared(
        m_save,
        [] {
            QStringList updates;
            for (const QString& column : Columns().mid(1))
                updates << QStringLiteral("%1 = excluded.%1").arg(column);
            return QStringLiteral("INSERT INTO boards (%1) VALUES (%2) ON CONFLICT (id) DO UPDATE "
                                  "SET %3, revision = boards.revision + 1")
                .arg(BoardColumnList(),
                     QStringList(Columns().size(), QStringLiteral("?")).join(u','),
                     updates.join(QStringLiteral(", ")));
        },
        error);
    if (!query)
        return false;
    BindBoard(*query, attempt);
    if (!query->exec())
        return Fail(error, query->lastError().text());
    return true;
}

std::optional<BoardAttempt> RecordStore::latestWritten(const QString& label, QString* error) {
    QSqlQuery* query = prepared(
        m_latest,
        [] {
            return QStringLiteral("SELECT %1 FROM boards WHERE label = ? AND outcome IN %2 ORDER "
                                  "BY finished_at DESC LIMIT 1")
                .arg(BoardColumnList(), QLatin1String(kWrittenOutcomes));
        },
        error);
    if (!query)
        return std::nullopt;
    query->addBindValue(label.toUpper());
    if (!query->exec()) {
        Fail(error, query->lastError().text());
        return std::nullopt;
    }
    std::optional<BoardAttempt> found;
    if (query->next())
        found = ReadBoard(*query);
    // A statement left open would hold its snapshot and keep the WAL from
    // being reused.
    query->finish();
    return found;
}

QList<BoardAttempt> RecordStore::list(const RowFilter& filter, QString* error) {
    QList<BoardAttempt> rows;
    forEach(
        filter,
        [&rows](const BoardAttempt& a) {
            rows << a;
            return true;
        },
        error);
    return rows;
}

BoardSelect SelectBoards(const RowFilter& filter) {
    BoardSelect select{
        QStringLiteral("SELECT %1 FROM boards WHERE claimed_at >= ?").arg(BoardColumnList()),
        {filter.since}};
    if (!filter.label.isEmpty()) {
        select.sql += QStringLiteral(" AND label = ?");
        select.values << filter.label.toUpper();
    }
    if (filter.repeated) {
        select.sql += QStringLiteral(" AND %1 AND base_mac IN (SELECT base_mac FROM boards WHERE "
                                     "%1 GROUP BY base_mac HAVING COUNT(*) > 1)")
                          .arg(RepeatedMacCondition());
        select.values << filter.since << filter.since;
    }
    select.sql += QStringLiteral(" ORDER BY claimed_at");
    if (filter.limit >= 0)
        select.sql += QStringLiteral(" DESC LIMIT %1").arg(filter.limit);
    return select;
}

bool RunSelect(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec();
}

bool RecordStore::forEach(const RowFilter& filter,
                          const std::function<bool(const BoardAttempt&)>& each, QString* error) {
    const BoardSelect select = SelectBoards(filter);
    QSqlQuery query(m_db);
    if (!RunSelect(query, select.sql, select.values))
        return Fail(error, query.lastError().text());
    while (query.next()) {
        if (!each(ReadBoard(query)))
            return true;
    }
    if (query.lastError().isValid())
        return Fail(error, query.lastError().text());
    return true;
}

} // namespace quorvane::record
