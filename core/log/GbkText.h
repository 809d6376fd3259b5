#pragma once

#include <QByteArray>
#include <QString>

namespace quorvane {

// Qt's converter (ICU's GBK), or the system's code page 936 where Qt was
// built without ICU, as Qt's Windows builds may be.
enum class GbkConverter { Qt, CodePage };
GbkConverter AvailableGbkConverter();

// The log file holds GBK (code page 936) bytes; everything inside the station
// is Unicode. Characters GBK cannot express become '?'.
QByteArray ToGbk(const QString& text, GbkConverter via = AvailableGbkConverter());
QString FromGbk(const QByteArray& bytes, GbkConverter via = AvailableGbkConverter());

// The longest leading part of well-formed GBK bytes that fits in maxBytes and
// never ends inside a two-byte character.
QByteArray CutGbk(const QByteArray& gbk, qsizetype maxBytes);

} // namespace quorvane
