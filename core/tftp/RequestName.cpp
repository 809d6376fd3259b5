#include "core/tftp/RequestName.h"

#include <QFile>

#include <cstring>

namespace quorvane::tftp {

QString DecodeRequestName(const NameBuffer& name) {
    const QByteArray bytes(name.data(), static_cast<qsizetype>(strnlen(name.data(), name.size())));
    const QString text = QFile::decodeName(bytes);
    // Bytes that do not decode cannot name a file we would find again.
    if (text.contains(QChar::ReplacementCharacter) || QFile::encodeName(text) != bytes)
        return {};
    return text;
}

bool IsPlainFileName(const QString& name) {
    if (name.isEmpty() || QFile::encodeName(name).size() >= qsizetype(NameBufferSize))
        return false;
    bool onlyDots = true;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            return false;
        if (u == '/' || u == '\\' || u == ':')
            return false;
        onlyDots = onlyDots && u == '.';
    }
    return !onlyDots;
}

bool EqualIgnoringAsciiCase(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char16_t>(x + ('a' - 'A'));
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char16_t>(y + ('a' - 'A'));
        if (x != y)
            return false;
    }
    return true;
}

} // namespace quorvane::tftp
