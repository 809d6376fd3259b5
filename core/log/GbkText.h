#pragma once

#include <QByteArray>
#include <QString>

namespace quorvane {

// The log file holds GBK (code page 936) bytes; everything inside the station
// is Unicode. Characters GBK cannot express become '?'.
QByteArray ToGbk(const QString& text);
QString FromGbk(const QByteArray& bytes);

// The longest leading part of well-formed GBK bytes that fits in maxBytes and
// never ends inside a two-byte character.
QByteArray CutGbk(const QByteArray& gbk, qsizetype maxBytes);

} // namespace quorvane
