#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>

namespace quorvane {

// Six bytes, byte 0 first (the order written and sent on the wire).
struct MacAddress {
    std::array<std::uint8_t, 6> bytes{};
    friend bool operator==(const MacAddress&, const MacAddress&) = default;
};

// base (role digit 8), model (role digit = model code), wan (role digit 7):
// stored in this order wherever a triple is stored.
struct MacTriple {
    MacAddress base;
    MacAddress model;
    MacAddress wan;
    friend bool operator==(const MacTriple&, const MacTriple&) = default;
};

inline constexpr std::array<std::uint8_t, 3> kVendorPrefix{0x5E, 0x3A, 0x71};

MacAddress ParseMacText(const QString& labelText);
MacTriple MakeTriple(const MacAddress& address, int model);
MacTriple TripleFromSerial(const QString& serialText, int model);
QString SerialFromMac(const MacAddress& address);
QString SerialFromScan(const QString& labelText);
QString ColonText(const MacAddress& address);
// The label's form: 12 upper-case hex digits, no separators.
QString LabelText(const MacAddress& address);
QString KeyText(const MacAddress& address);
QString SsidSuffix(const MacAddress& address);

// The triple for the station's current MAC field: a 12-character label text
// is the board's own address; anything else is read as a five-digit serial.
MacTriple TripleFromMacField(const QString& macField, int model);

// The 18 bytes of a triple as packages and records store it, and back
// (missing bytes read as zero).
QByteArray TripleBytes(const MacTriple& triple);
MacTriple TripleFromBytes(QByteArrayView bytes);

// What the scan dialog does with its text after each change.
enum class ScanVerdict {
    Incomplete,   // not 12 characters yet: nothing happens
    BadCharacter, // "MAC字符异常，格式不对"
    BadRoleDigit, // "MAC尾数不是8，格式不对"
    Accepted,     // the dialog ends with OK
};
ScanVerdict CheckScanText(const QString& text);
QString ScanVerdictMessage(ScanVerdict verdict); // empty for Incomplete/Accepted

} // namespace quorvane
