#include "RecordText.h"

#include "core/record/LocalIsoTime.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

using quorvane::record::BoardAttempt;
using quorvane::record::OutcomeText;

namespace {

// Qt's local time asks the C library, which looks at /etc/localtime on
// every call: a zone of its own converts a million rows in seconds.
QDateTime Local(qint64 ms) {
    static const QTimeZone zone = quorvane::record::LocalZone();
    return QDateTime::fromMSecsSinceEpoch(ms, zone);
}

QString LocalTime(qint64 ms) {
    return Local(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Seconds(qint64 ms) {
    return ms < 0
               ? QStringLiteral("-")
               : QString::number(static_cast<double>(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

QString OrDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

std::optional<qint64> ParseSince(const QString& text, const QDateTime& now) {
    static const QRegularExpression relative(QStringLiteral("^(\\d{1,6})([mhd])$"));
    static const QRegularExpression clock(QStringLiteral("^(\\d{1,2}):(\\d{2})$"));
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}([T ].+)?$"));
    if (const auto m = relative.match(text); m.hasMatch()) {
        const QChar unit = m.captured(2).at(0);
        const qint64 ms = unit == u'm' ? 60000 : unit == u'h' ? 3600000 : 86400000;
        return now.toMSecsSinceEpoch() - m.captured(1).toLongLong() * ms;
    }
    if (const auto m = clock.match(text); m.hasMatch()) {
        const QTime time(m.captured(1).toInt(), m.captured(2).toInt());
        if (!time.isValid())
            return std::nullopt;
        // A night shift asks at 02:00 for "since 22:00": yesterday's.
        QDateTime at(now.date(), time);
        if (at > now)
            at = at.addDays(-1);
        return at.toMSecsSinceEpoch();
    }
    if (!iso.match(text).hasMatch())
        return std::nullopt;
    QString normal = text;
    if (normal.size() > 10)
        normal[10] = u'T';
    const QDateTime at = QDateTime::fromString(normal, Qt::ISODateWithMs);
    if (!at.isValid())
        return std::nullopt;
    return at.toMSecsSinceEpoch();
}

namespace {

// One board per line whatever its texts hold.
QString OneLine(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

QByteArray ListColumns(const QString& claimed, const QString& label, const QString& outcome,
                       const QString& time, const QString& again, const QString& reburn,
                       const QString& model, const QString& router, const QString& station) {
    return (QStringList{claimed.leftJustified(19), label.leftJustified(12),
                        outcome.leftJustified(14), time.rightJustified(8), again.rightJustified(5),
                        reburn.leftJustified(9), model.leftJustified(12), router.leftJustified(21),
                        station}
                .join(QStringLiteral("  ")) +
            QLatin1Char('\n'))
        .toUtf8();
}

} // namespace

QByteArray ListHeader() {
    return ListColumns(QStringLiteral("claimed"), QStringLiteral("label"),
                       QStringLiteral("outcome"), QStringLiteral("time"), QStringLiteral("again"),
                       QStringLiteral("reburn"), QStringLiteral("model"), QStringLiteral("router"),
                       QStringLiteral("station"));
}

QByteArray ListLine(const BoardAttempt& a) {
    const QString model = a.modelName.isEmpty()
                              ? QString::number(a.modelCode)
                              : QStringLiteral("%1 %2").arg(a.modelCode).arg(a.modelName);
    const QString router = a.routerAddress.isEmpty()
                               ? QStringLiteral("-")
                               : QStringLiteral("%1:%2").arg(a.routerAddress).arg(a.routerPort);
    return ListColumns(LocalTime(a.claimedAt), OrDash(a.label), OutcomeText(a.outcome),
                       Seconds(a.elapsedMs()), QString::number(a.refetches), OrDash(a.reburn),
                       OneLine(model), OneLine(router), OneLine(a.station));
}

QByteArray SummaryText(const quorvane::record::RecordSummary& s, qint64 since) {
    const QString lines[][2] = {
        {QStringLiteral("period"),
         since > 0 ? QStringLiteral("since ") + LocalTime(since) : QStringLiteral("all boards")},
        {QStringLiteral("written"), QString::number(s.written)},
        {QStringLiteral("failed"), QString::number(s.failed)},
        {QStringLiteral("fetched again"), QString::number(s.fetchedAgain)},
        {QStringLiteral("cancelled"), QString::number(s.cancelled)},
        {QStringLiteral("median"), Seconds(s.medianMs)},
        {QStringLiteral("90th percentile"), Seconds(s.p90Ms)},
        {QStringLiteral("per hour"), QString::number(s.perHour, 'f', 1)},
        {QStringLiteral("last board"), Seconds(s.lastBoardMs)},
        {QStringLiteral("repeated MACs"),
         QStringLiteral("%1 (%2 boards)").arg(s.repeatedMacs).arg(s.repeatedBoards)},
    };
    QString text;
    for (const auto& [name, value] : lines)
        text += name.leftJustified(17) + value + QLatin1Char('\n');
    return text.toUtf8();
}
