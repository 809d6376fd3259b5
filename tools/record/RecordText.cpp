#include "RecordText.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>

using quorvane::record::BoardAttempt;
using quorvane::record::OutcomeText;

namespace {

enum class Kind { Text, Number, Time, Crc };
using Get = QVariant (*)(const BoardAttempt&);
struct Column {
    const char* name; // as in the database
    Kind kind;
    Get get;
};

QVariant Crc(std::uint32_t crc) {
    return QString::number(crc, 16).rightJustified(8, QLatin1Char('0'));
}

// Every column of the boards table but the revision, in its order.
const Column kColumns[] = {
    {"id", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.id; }},
    {"station", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.station; }},
    {"folder", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.folder; }},
    {"router_address", Kind::Text,
     [](const BoardAttempt& a) -> QVariant { return a.routerAddress; }},
    {"router_port", Kind::Number, [](const BoardAttempt& a) -> QVariant { return a.routerPort; }},
    {"label", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.label; }},
    {"base_mac", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.baseMac; }},
    {"model_mac", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.modelMac; }},
    {"wan_mac", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.wanMac; }},
    {"model_code", Kind::Number, [](const BoardAttempt& a) -> QVariant { return a.modelCode; }},
    {"model_name", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.modelName; }},
    {"selection", Kind::Number, [](const BoardAttempt& a) -> QVariant { return a.selection; }},
    {"bootloader_name", Kind::Text,
     [](const BoardAttempt& a) -> QVariant { return a.bootLoader.name; }},
    {"bootloader_size", Kind::Number,
     [](const BoardAttempt& a) -> QVariant { return a.bootLoader.size; }},
    {"bootloader_crc", Kind::Crc,
     [](const BoardAttempt& a) -> QVariant { return Crc(a.bootLoader.crc); }},
    {"root_name", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.rootImage.name; }},
    {"root_size", Kind::Number, [](const BoardAttempt& a) -> QVariant { return a.rootImage.size; }},
    {"root_crc", Kind::Crc, [](const BoardAttempt& a) -> QVariant { return Crc(a.rootImage.crc); }},
    {"config_name", Kind::Text,
     [](const BoardAttempt& a) -> QVariant { return a.configTemplate.name; }},
    {"config_size", Kind::Number,
     [](const BoardAttempt& a) -> QVariant { return a.configTemplate.size; }},
    {"config_crc", Kind::Crc,
     [](const BoardAttempt& a) -> QVariant { return Crc(a.configTemplate.crc); }},
    {"claimed_at", Kind::Time, [](const BoardAttempt& a) -> QVariant { return a.claimedAt; }},
    {"scanned_at", Kind::Time, [](const BoardAttempt& a) -> QVariant { return a.scannedAt; }},
    {"built_at", Kind::Time, [](const BoardAttempt& a) -> QVariant { return a.builtAt; }},
    {"transferred_at", Kind::Time,
     [](const BoardAttempt& a) -> QVariant { return a.transferredAt; }},
    {"finished_at", Kind::Time, [](const BoardAttempt& a) -> QVariant { return a.finishedAt; }},
    {"elapsed_ms", Kind::Number, [](const BoardAttempt& a) -> QVariant { return a.elapsedMs(); }},
    {"outcome", Kind::Text,
     [](const BoardAttempt& a) -> QVariant { return OutcomeText(a.outcome); }},
    {"refetches", Kind::Number, [](const BoardAttempt& a) -> QVariant { return a.refetches; }},
    {"reburn", Kind::Text, [](const BoardAttempt& a) -> QVariant { return a.reburn; }},
};

// Qt's local time asks the C library, which looks at /etc/localtime on
// every call: a zone of its own converts a million rows in seconds.
QDateTime Local(qint64 ms) {
    static const QTimeZone zone = QTimeZone::systemTimeZone();
    return QDateTime::fromMSecsSinceEpoch(ms, zone);
}

// 0 is "not yet": no time at all.
QString IsoTime(qint64 ms) {
    if (ms <= 0)
        return {};
    const QDateTime local = Local(ms);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
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

QByteArray CsvField(const QString& text) {
    const auto special = [](QChar c) { return c == u',' || c == u'"' || c == u'\r' || c == u'\n'; };
    if (std::none_of(text.begin(), text.end(), special))
        return text.toUtf8();
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

QByteArray CsvHeader() {
    QByteArrayList names;
    for (const Column& column : kColumns)
        names << column.name;
    return names.join(',') + "\r\n";
}

QByteArray CsvLine(const BoardAttempt& a) {
    QByteArrayList fields;
    for (const Column& column : kColumns) {
        const QVariant value = column.get(a);
        fields << CsvField(column.kind == Kind::Time ? IsoTime(value.toLongLong())
                                                     : value.toString());
    }
    return fields.join(',') + "\r\n";
}

// A JSON string (RFC 8259): quote and backslash escaped, control characters
// as \u00XX, the rest as UTF-8.
QByteArray JsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\')
            out.append('\\').append(c);
        else if (static_cast<unsigned char>(c) < 0x20)
            out += "\\u00" + QByteArray::number(c, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out + '"';
}

QByteArray JsonLine(const BoardAttempt& a) {
    QByteArrayList members;
    for (const Column& column : kColumns) {
        const QVariant value = column.get(a);
        QByteArray member = '"' + QByteArray(column.name) + "\":";
        if (column.kind == Kind::Number)
            member += QByteArray::number(value.toLongLong());
        else if (column.kind != Kind::Time)
            member += JsonString(value.toString());
        else if (const QString time = IsoTime(value.toLongLong()); time.isEmpty())
            member += "null";
        else
            member += JsonString(time);
        members << member;
    }
    return '{' + members.join(',') + "}\n";
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
