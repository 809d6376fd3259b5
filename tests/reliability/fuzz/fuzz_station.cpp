// libFuzzer target: the station's byte-level inputs with their invariants
// (the datagram handler has a target of its own, tests/fuzz).
//   byte 0 % 4 == 1  package decoder on arbitrary bytes
//   2                configuration template -> configuration block (16,384
//                    bytes or nothing) and WPA key insertion
//   0, 3             log texts: GBK cut never grows or leaves a half character,
//                    every record ends with CR LF; scan texts and MAC fields
#include "core/log/GbkText.h"
#include "core/log/LogText.h"
#include "core/personalise/ConfigTemplate.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/PackageInspect.h"
#include "core/tftp/RequestName.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

using namespace quorvane;

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

void FuzzPackage(const std::uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)InspectPackage(bytes);
    (void)InspectDevicePackage(bytes);
    (void)InspectMacPackage(bytes);
}

void FuzzConfig(const std::uint8_t* data, size_t size) {
    if (size < 7)
        return;
    const MacAddress mac{{data[0], data[1], data[2], data[3], data[4], data[5]}};
    const bool wpa = data[6] & 1;
    const QByteArrayView text(reinterpret_cast<const char*>(data + 7),
                              static_cast<qsizetype>(size - 7));
    (void)ConfiguresOpenNetwork(text);
    if (const auto block = BuildConfigBlock(text, MakeTriple(mac, data[6] >> 4), wpa))
        Require(block->size() == 16384);
    if (const auto withKey = InsertWpaKey(text, KeyText(mac).toLatin1()))
        Require(withKey->contains(KeyText(mac).toLatin1()));
}

void FuzzTexts(const std::uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype limit = size ? data[0] % 64 : 0;
    const QByteArray gbk = ToGbk(QString::fromUtf8(bytes));
    const QByteArray cut = CutGbk(gbk, limit);
    Require(cut.size() <= limit && gbk.startsWith(cut));
    Require(ToGbk(FromGbk(cut)) == cut); // no half character at the end
    Require(LogRecordBytes(QString::fromUtf8(bytes)).endsWith("\r\n"));
    (void)FromGbk(bytes);

    const QString text = QString::fromLatin1(bytes);
    if (CheckScanText(text) == ScanVerdict::Accepted)
        Require(text.size() == 12 && text.endsWith(QLatin1Char('8')));
    (void)TripleFromMacField(text, size ? data[0] % 16 : 5);
    (void)tftp::IsPlainFileName(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    switch (data[0] % 4) {
    case 1:
        FuzzPackage(data + 1, size - 1);
        break;
    case 2:
        FuzzConfig(data + 1, size - 1);
        break;
    default:
        FuzzTexts(data + 1, size - 1);
        break;
    }
    return 0;
}
