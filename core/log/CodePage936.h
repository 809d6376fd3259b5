#pragma once

#include <QByteArray>
#include <QString>

namespace quorvane {

// The system's own code page 936 converter, for Qt builds without ICU (which
// then know no GBK): WideCharToMultiByte on Windows, iconv elsewhere.
// Characters it cannot express become '?', bytes it cannot read U+FFFD.
QByteArray EncodeCodePage936(QStringView text);
QString DecodeCodePage936(QByteArrayView bytes);

} // namespace quorvane
