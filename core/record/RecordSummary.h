#pragma once

#include <QString>

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
    double perHour = 0.0;    // written boards per hour from the first claim to the last finish
    qint64 lastBoardMs = -1; // the time of the board finished last
};

// Over the rows claimed at or after since (ms since the epoch).
RecordSummary Summarise(RecordStore& store, qint64 since, QString* error = nullptr);

// "已写 12 / 失败 1 / 每小时 40.0 块 / 最后一块 1分5秒": the window's line.
QString SummaryLine(const RecordSummary& summary);

} // namespace quorvane::record
