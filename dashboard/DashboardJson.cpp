#include "dashboard/DashboardJson.h"

#include "core/record/LocalIsoTime.h"

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
    // The export's writer: the same text, and its zone asked once an hour of times.
    thread_local record::LocalIsoTime writer;
    QByteArray text;
    writer.append(text, ms);
    return QString::fromLatin1(text);
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
