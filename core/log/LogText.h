#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdarg>

namespace quorvane {

// The largest message WriteLogFormat keeps, in GBK bytes.
inline constexpr qsizetype kLogMessageLimit = 511;

// The bytes one log call appends: the GBK text with every line break as
// CR LF, then CR LF.
QByteArray LogRecordBytes(const QString& text);

// printf-style formatting of UTF-8 format and %s arguments; the result's GBK
// form is at most kLogMessageLimit bytes and never ends in half a character.
QString FormatLogMessage(const char* format, va_list args);

// "开始时间:%Y-%m-%d-%a %H:%M:%S" and "结速时间:..." in the C locale; empty
// for an invalid time.
QString StartLineText(const QDateTime& time);
QString EndLineText(const QDateTime& time);

// "%Y.%m.%d.%a_%H.%M.%S.txt" in the C locale; empty for an invalid time.
QString RunFileName(const QDateTime& time);

} // namespace quorvane
