#pragma once

#include "core/record/BoardAttempt.h"
#include "core/record/RecordSummary.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// The texts quorvane-record reads and prints.

// --since: 8h, 30m, 2d (back from now); 06:00 (today, or yesterday when that
// is still to come); 2024-05-06; 2024-05-06T06:00[:SS] (also with a space);
// local time unless an offset or Z is given. Nothing for anything else.
std::optional<qint64> ParseSince(const QString& text, const QDateTime& now);

// One line per board, times in local time.
QByteArray ListHeader();
QByteArray ListLine(const quorvane::record::BoardAttempt& board);

QByteArray SummaryText(const quorvane::record::RecordSummary& summary, qint64 since);
