#pragma once

#include <QSqlDatabase>
#include <QString>

namespace quorvane::record {

// The version counts the breaking changes, the number every station checks:
// version 1: the boards table; 2: a revision per row and the deliveries to
// the line-wide database; 3: indexes for the summary. The same schema serves
// SQLite and PostgreSQL.
inline constexpr int kSchemaVersion = 3;
// The first version with the summary's indexes.
inline constexpr int kSummaryIndexVersion = 3;

// Additions are counted apart: columns with a default, indexes and triggers
// that keep themselves, which a station of the same version writes through
// without knowing them (its statements name their columns). A station
// accepts a record with more additions than it knows; it refuses only a
// higher version. Addition 1: the change counter, a number from one
// sequence set on every insert and update of a board (and on PostgreSQL a
// NOTIFY quorvane_boards), in commit order. Addition 2: a station's indexes
// for the summary over a long period (first board, boards fetched again,
// written boards per hour). Addition 3, on PostgreSQL: written boards per
// station and hour of their finish, kept by a trigger on boards (table
// board_hours), so that the chart of a long period reads one row per hour
// (on SQLite the step is empty: the index of addition 2 is fast enough there).
inline constexpr int kSchemaAdditions = 3;
inline constexpr int kChangeCounterAddition = 1;
inline constexpr int kStationSummaryAddition = 2;
inline constexpr int kBoardHoursAddition = 3;
inline constexpr char kBoardsChannel[] = "quorvane_boards";

// 0 for a database without the record's tables.
int SchemaVersion(QSqlDatabase& db);
// 0 for a record without additions.
int SchemaAdditions(QSqlDatabase& db);

// The reason a station knowing `known` refuses a record of `version`;
// empty when it accepts it, whatever additions it has.
QString SchemaRefusal(int version, int known = kSchemaVersion);

// Brings db up to version upTo and addition additionsUpTo (the current ones
// unless a test wants an older record) in one transaction that reads the
// version too: a station making the same database at the same time waits for
// this one. Refuses a database of a newer version: it cannot know what that
// one's rows mean.
bool MigrateSchema(QSqlDatabase& db, QString* error, int upTo = kSchemaVersion,
                   int additionsUpTo = kSchemaAdditions);

} // namespace quorvane::record
