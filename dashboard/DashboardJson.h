#pragma once

#include "core/record/BoardAttempt.h"
#include "core/record/LineFacts.h"
#include "core/record/RecordSummary.h"

#include <QJsonObject>
#include <QJsonValue>

#include <optional>

// The JSON of the dashboard's answers (docs/dashboard-api.md): pure, from the
// record's values.
namespace quorvane::dashboard {

// ISO 8601 with the local offset, as quorvane-record export writes it; null for 0.
QJsonValue IsoTime(qint64 ms);
QJsonObject BoardJson(qint64 change, const record::BoardAttempt& board);
// SUM; target: boards per hour, or null.
QJsonObject SummaryJson(const record::RecordSummary& summary, std::optional<int> target);
// A board as an alert names it.
QJsonObject AlertBoardJson(const record::BoardAttempt& board);

} // namespace quorvane::dashboard
