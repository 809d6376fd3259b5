#include "core/log/CodePage936.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#endif

namespace quorvane {

#ifdef Q_OS_WIN

namespace {
constexpr UINT kGbk = 936;
}

QByteArray EncodeCodePage936(QStringView text) {
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(kGbk, 0, wide, length, nullptr, 0, nullptr, nullptr);
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(kGbk, 0, wide, length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

QString DecodeCodePage936(QByteArrayView bytes) {
    if (bytes.isEmpty())
        return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(kGbk, 0, bytes.data(), length, nullptr, 0);
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(kGbk, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()),
                        size);
    return text;
}

#else

namespace {

char16_t Unit(QByteArrayView bytes, qsizetype at) {
    return char16_t(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
}

// Runs iconv over `in`; an input unit it cannot convert is skipped by
// `skip(in)` bytes and stands as `substitute` in the output.
template <typename Skip>
QByteArray Convert(const char* to, const char* from, QByteArrayView in, QByteArrayView substitute,
                   Skip skip) {
    QByteArray out;
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    char* source = const_cast<char*>(in.data());
    size_t left = static_cast<size_t>(in.size());
    char buffer[1024];
    while (left > 0) {
        char* target = buffer;
        size_t room = sizeof buffer;
        const size_t done = iconv(cd, &source, &left, &target, &room);
        const int error = errno;
        out.append(buffer, target - buffer);
        if (done != static_cast<size_t>(-1) || error == E2BIG)
            continue;
        const size_t width = std::min(left, skip(QByteArrayView(source, qsizetype(left))));
        source += width;
        left -= width;
        out.append(substitute);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

} // namespace

QByteArray EncodeCodePage936(QStringView text) {
    const QByteArrayView utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return Convert("CP936", "UTF-16LE", utf16, "?", [](QByteArrayView rest) -> size_t {
        const bool pair = rest.size() >= 4 && QChar::isHighSurrogate(Unit(rest, 0)) &&
                          QChar::isLowSurrogate(Unit(rest, 2));
        return pair ? 4 : 2;
    });
}

QString DecodeCodePage936(QByteArrayView bytes) {
    const QByteArray replacement("\xFD\xFF", 2);
    const QByteArray utf16 =
        Convert("UTF-16LE", "CP936", bytes, replacement, [](QByteArrayView rest) -> size_t {
            const auto lead = quint8(rest[0]);
            const auto trail = rest.size() >= 2 ? quint8(rest[1]) : 0;
            return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE ? 2 : 1;
        });
    return QString(reinterpret_cast<const QChar*>(utf16.constData()), utf16.size() / 2);
}

#endif

} // namespace quorvane
