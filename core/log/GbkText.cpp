#include "core/log/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace quorvane {

namespace {

// ICU knows GBK; encodingForName() does not, so the converters are built by name.
constexpr const char* kGbk = "GBK";

bool IsLeadByte(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

// Bytes of the whole characters that fit in maxBytes.
qsizetype WholeLength(const QByteArray& gbk, qsizetype maxBytes) {
    qsizetype end = 0;
    while (end < gbk.size()) {
        const qsizetype width = IsLeadByte(static_cast<unsigned char>(gbk[end])) ? 2 : 1;
        if (end + width > maxBytes || end + width > gbk.size())
            break;
        end += width;
    }
    return end;
}

} // namespace

QByteArray ToGbk(const QString& text) {
    QStringEncoder encoder(kGbk);
    return encoder.encode(text);
}

QString FromGbk(const QByteArray& bytes) {
    QStringDecoder decoder(kGbk, QStringConverter::Flag::Stateless);
    const qsizetype whole = WholeLength(bytes, bytes.size());
    QString text = decoder.decode(QByteArrayView(bytes).first(whole));
    // The decoder would drop a dangling lead byte without a trace.
    if (whole < bytes.size())
        text += QChar::ReplacementCharacter;
    return text;
}

QByteArray CutGbk(const QByteArray& gbk, qsizetype maxBytes) {
    return gbk.left(WholeLength(gbk, std::max<qsizetype>(maxBytes, 0)));
}

} // namespace quorvane
