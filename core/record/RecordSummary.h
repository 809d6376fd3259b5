#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace quorvane::record {

class RecordStore;

// Boards of a period, as a shift leader counts them.
struct RecordSummary {
    int written = 0;      // flash written (DONE or the row's timer)
    int failed = 0;       // released by the hand-over watch, or stopped with the service
    int fetchedAgain = 0; // fetched again after a boot loader CRC mismatch, at least once
    int cancelled = 0;    // scan cancelled, or a re-burn refused
    qint64 medianMs = -1; // time per written board, claim to finish; -1: none
    qint64 p90Ms = -1;
    // Written boards per hour from the first claim to the last finish, an
    // hour at least: under an hour, the boards written so far.
    double perHour = 0.0;
    qint64 lastBoardMs = -1;   // the time of the board finished last
    qint64 lastFinishedAt = 0; // when it finished, ms since the epoch; 0: none
    // Base MACs written into more than one board, and the boards that carry them.
    int repeatedMacs = 0;
    int repeatedBoards = 0;
};

// Written boards with a base MAC, claimed at or after the one bound value:
// the rows among which a MAC on more than one board is looked for.
QString RepeatedMacCondition();

// Over the rows claimed at or after since (ms since the epoch).
RecordSummary Summarise(RecordStore& store, qint64 since, QString* error = nullptr);

// Each station's summary by name, and the line's, as above without the
// repeated MACs; the line's counts are the stations' sum. On PostgreSQL every
// station with boards in the period is counted in one pass; SQLite counts the
// stations named.
bool SummariseStations(RecordStore& store, qint64 since, const QStringList& names,
                       QMap<QString, RecordSummary>* stations, RecordSummary* line,
                       QString* error = nullptr);

// "已写 12 / 失败 1 / 每小时 40.0 块 / 最后一块 1分5秒": the window's line,
// then " / 重复MAC 1个(2块板)" when a MAC went into more than one board.
QString SummaryLine(const RecordSummary& summary);

} // namespace quorvane::record
