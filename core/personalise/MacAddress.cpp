#include "core/personalise/MacAddress.h"

#include <QStringList>

namespace quorvane {

namespace {

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// A two-character field read like a hexadecimal conversion of at most two
// digits: it stops at the first non-digit, and no digit at all reads as 0.
std::uint8_t HexField(const QString& text, qsizetype from) {
    int value = 0;
    for (qsizetype i = from; i < from + 2 && i < text.size(); ++i) {
        const int digit = HexValue(text.at(i));
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return static_cast<std::uint8_t>(value);
}

QString Hex(int value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0'));
}

} // namespace

MacAddress ParseMacText(const QString& labelText) {
    MacAddress mac;
    for (int i = 0; i < 6; ++i)
        mac.bytes[i] = HexField(labelText, 2 * i);
    return mac;
}

MacTriple MakeTriple(const MacAddress& address, int model) {
    MacTriple t{address, address, address};
    t.base.bytes[5] = static_cast<std::uint8_t>((address.bytes[5] & 0xF0) | 0x08);
    t.model.bytes[5] = static_cast<std::uint8_t>((address.bytes[5] & 0xF0) | (model & 0x0F));
    t.wan.bytes[5] = static_cast<std::uint8_t>((address.bytes[5] & 0xF0) | 0x07);
    return t;
}

MacTriple TripleFromSerial(const QString& serialText, int model) {
    MacAddress mac;
    mac.bytes[0] = kVendorPrefix[0];
    mac.bytes[1] = kVendorPrefix[1];
    mac.bytes[2] = kVendorPrefix[2];
    mac.bytes[3] = HexField(serialText, 0);
    mac.bytes[4] = HexField(serialText, 2);
    mac.bytes[5] = static_cast<std::uint8_t>(HexField(serialText, 4) << 4);
    return MakeTriple(mac, model);
}

QString SerialFromMac(const MacAddress& a) {
    return (Hex(a.bytes[3], 2) + Hex(a.bytes[4], 2) + Hex(a.bytes[5] >> 4, 1)).toUpper();
}

QString SerialFromScan(const QString& labelText) {
    return labelText.mid(6, 5);
}

QString ColonText(const MacAddress& a) {
    QStringList parts;
    for (std::uint8_t b : a.bytes)
        parts << Hex(b, 2);
    return parts.join(QLatin1Char(':'));
}

QString LabelText(const MacAddress& a) {
    return ColonText(a).remove(QLatin1Char(':')).toUpper();
}

QString KeyText(const MacAddress& a) {
    return Hex(a.bytes[2], 2) + Hex(a.bytes[3], 2) + Hex(a.bytes[4], 2) + Hex(a.bytes[5], 2);
}

QString SsidSuffix(const MacAddress& a) {
    return Hex(a.bytes[3] & 0x0F, 1) + Hex(a.bytes[4], 2) + Hex(a.bytes[5] >> 4, 1);
}

MacTriple TripleFromMacField(const QString& macField, int model) {
    if (macField.size() == 12)
        return MakeTriple(ParseMacText(macField), model);
    return TripleFromSerial(macField, model);
}

QByteArray TripleBytes(const MacTriple& triple) {
    QByteArray out;
    for (const MacAddress* a : {&triple.base, &triple.model, &triple.wan})
        out.append(reinterpret_cast<const char*>(a->bytes.data()), 6);
    return out;
}

MacTriple TripleFromBytes(QByteArrayView bytes) {
    MacTriple triple;
    MacAddress* parts[] = {&triple.base, &triple.model, &triple.wan};
    for (qsizetype i = 0; i < 18 && i < bytes.size(); ++i)
        parts[i / 6]->bytes[i % 6] = static_cast<std::uint8_t>(bytes[i]);
    return triple;
}

ScanVerdict CheckScanText(const QString& text) {
    if (text.size() != 12)
        return ScanVerdict::Incomplete;
    for (QChar c : text) {
        if (HexValue(c) < 0)
            return ScanVerdict::BadCharacter;
    }
    return text.at(11) == QLatin1Char('8') ? ScanVerdict::Accepted : ScanVerdict::BadRoleDigit;
}

QString ScanVerdictMessage(ScanVerdict verdict) {
    switch (verdict) {
    case ScanVerdict::BadCharacter:
        return QStringLiteral("MAC字符异常，格式不对");
    case ScanVerdict::BadRoleDigit:
        return QStringLiteral("MAC尾数不是8，格式不对");
    case ScanVerdict::Incomplete:
    case ScanVerdict::Accepted:
        break;
    }
    return {};
}

} // namespace quorvane
