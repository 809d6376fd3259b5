#include "core/log/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace quorvane {

namespace {

// ICU knows GBK; encodingForName() does not, so the converters are built by name.
constexpr const char* kGbk = "GBK";

bool IsLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

} // namespace

QByteArray ToGbk(const QString& text) {
    QStringEncoder encoder(kGbk);
    return encoder.encode(text);
}

QString FromGbk(const QByteArray& bytes) {
    // Stateless: a dangling lead byte at the end is shown, not swallowed.
    QStringDecoder decoder(kGbk, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray CutGbk(const QByteArray& gbk, qsizetype maxBytes) {
    if (maxBytes <= 0)
        return {};
    if (gbk.size() <= maxBytes)
        return gbk;
    qsizetype end = 0;
    while (end < gbk.size()) {
        const qsizetype width = IsLeadByte(static_cast<unsigned char>(gbk[end])) ? 2 : 1;
        if (end + width > maxBytes)
            break;
        end += width;
    }
    return gbk.left(end);
}

} // namespace quorvane
