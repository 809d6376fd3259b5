#include "core/log/LogText.h"

#include "core/log/GbkText.h"

#include <QLocale>

#include <cstdio>

namespace quorvane {

namespace {

QString Stamp(const QDateTime& time, const QString& pattern) {
    if (!time.isValid())
        return {};
    return QLocale::c().toString(time, pattern);
}

QString StampedLine(const QString& label, const QDateTime& time) {
    const QString stamp = Stamp(time, QStringLiteral("yyyy-MM-dd-ddd HH:mm:ss"));
    return stamp.isEmpty() ? QString() : label + stamp;
}

} // namespace

QByteArray LogRecordBytes(const QString& text) {
    const QByteArray gbk = ToGbk(text);
    QByteArray record;
    record.reserve(gbk.size() + 2);
    // A message with its own line breaks gets the same CR LF as the record end,
    // so the file never mixes line-end styles.
    char previous = '\0';
    for (const char byte : gbk) {
        if (byte == '\n' && previous != '\r')
            record.append('\r');
        record.append(byte);
        previous = byte;
    }
    record.append("\r\n");
    return record;
}

QString FormatLogMessage(const char* format, va_list args) {
    if (format == nullptr)
        return {};
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0)
        return {};
    QByteArray utf8(length + 1, '\0');
    std::vsnprintf(utf8.data(), utf8.size(), format, args);
    utf8.chop(1);
    const QByteArray gbk = ToGbk(QString::fromUtf8(utf8));
    return FromGbk(CutGbk(gbk, kLogMessageLimit));
}

QString StartLineText(const QDateTime& time) {
    return StampedLine(QStringLiteral("开始时间:"), time);
}

QString EndLineText(const QDateTime& time) {
    return StampedLine(QStringLiteral("结速时间:"), time);
}

QString RunFileName(const QDateTime& time) {
    return Stamp(time, QStringLiteral("yyyy.MM.dd.ddd_HH.mm.ss'.txt'"));
}

} // namespace quorvane
