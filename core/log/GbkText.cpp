#include "core/log/GbkText.h"

#include "core/log/CodePage936.h"

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

GbkConverter AvailableGbkConverter() {
    static const GbkConverter available =
        QStringEncoder(kGbk).isValid() ? GbkConverter::Qt : GbkConverter::CodePage;
    return available;
}

QByteArray ToGbk(const QString& text, GbkConverter via) {
    if (via == GbkConverter::CodePage)
        return EncodeCodePage936(text);
    QStringEncoder encoder(kGbk);
    return encoder.encode(text);
}

QString FromGbk(const QByteArray& bytes, GbkConverter via) {
    const qsizetype whole = WholeLength(bytes, bytes.size());
    const QByteArrayView complete = QByteArrayView(bytes).first(whole);
    QStringDecoder decoder(kGbk, QStringConverter::Flag::Stateless);
    QString text =
        via == GbkConverter::CodePage ? DecodeCodePage936(complete) : decoder.decode(complete);
    // The decoder would drop a dangling lead byte without a trace.
    if (whole < bytes.size())
        text += QChar::ReplacementCharacter;
    return text;
}

QByteArray CutGbk(const QByteArray& gbk, qsizetype maxBytes) {
    return gbk.left(WholeLength(gbk, std::max<qsizetype>(maxBytes, 0)));
}

} // namespace quorvane
