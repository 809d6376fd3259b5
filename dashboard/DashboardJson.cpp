#include "dashboard/DashboardJson.h"

#include <QDateTime>
#include <QTimeZone>

namespace quorvane::dashboard {

namespace {

QJsonObject Source(const record::SourceUse& use) {
    return {{"name", use.name},
            {"size", use.size},
            {"crc", QString::number(use.crc, 16).toUpper().rightJustified(8, u'0')}};
}

QJsonValue Ms(qint64 ms) {
    return ms < 0 ? QJsonValue() : QJsonValue(ms);
}

} // namespace

QJsonValue IsoTime(qint64 ms) {
    if (ms <= 0)
        return {};
    // One zone object: Qt's local time would ask the C library on every call.
    static const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, zone);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QJsonObject BoardJson(qint64 change, const record::BoardAttempt& b) {
    return {{"id", b.id},
            {"change", change},
            {"station", b.station},
            {"folder", b.folder},
            {"label", b.label},
            {"baseMac", b.baseMac},
            {"modelMac", b.modelMac},
            {"wanMac", b.wanMac},
            {"modelCode", b.modelCode},
            {"modelName", b.modelName},
            {"outcome", record::OutcomeText(b.outcome)},
            {"claimedAt", IsoTime(b.claimedAt)},
            {"finishedAt", IsoTime(b.finishedAt)},
            {"elapsedMs", Ms(b.elapsedMs())},
            {"refetches", b.refetches},
            {"reburn", b.reburn},
            {"bootloader", Source(b.bootLoader)},
            {"root", Source(b.rootImage)},
            {"config", Source(b.configTemplate)}};
}

QJsonObject SummaryJson(const record::RecordSummary& s, std::optional<int> target) {
    return {{"written", s.written},
            {"failed", s.failed},
            {"fetchedAgain", s.fetchedAgain},
            {"cancelled", s.cancelled},
            {"medianMs", Ms(s.medianMs)},
            {"p90Ms", Ms(s.p90Ms)},
            {"boardsPerHour", s.perHour},
            {"lastBoardAt", IsoTime(s.lastFinishedAt)},
            {"target", target ? QJsonValue(*target) : QJsonValue()}};
}

QJsonObject AlertBoardJson(const record::BoardAttempt& b) {
    return {{"id", b.id}, {"station", b.station}, {"finishedAt", IsoTime(b.finishedAt)}};
}

} // namespace quorvane::dashboard
