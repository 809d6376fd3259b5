#pragma once

#include <QSqlDatabase>
#include <QString>

namespace quorvane::record {

// Version 1: the boards table; 2: a revision per row and the deliveries to
// the line-wide database; 3: indexes for the summary. The same schema serves
// SQLite and PostgreSQL.
inline constexpr int kSchemaVersion = 3;
// The first version with the summary's indexes.
inline constexpr int kSummaryIndexVersion = 3;

// 0 for a database without the record's tables.
int SchemaVersion(QSqlDatabase& db);

// Brings db up to version upTo (the current one unless a test wants an older
// file) in one transaction that reads the version too: a station making the
// same database at the same time waits for this one. Refuses a database of a
// newer station: it cannot know what that one's rows mean.
bool MigrateSchema(QSqlDatabase& db, QString* error, int upTo = kSchemaVersion);

} // namespace quorvane::record
