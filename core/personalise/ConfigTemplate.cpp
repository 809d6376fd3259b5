#include "core/personalise/ConfigTemplate.h"

#include "core/personalise/Crc32.h"
#include "core/personalise/PackageLimits.h"

#include <QtEndian>

#include <cstring>

namespace quorvane {

namespace {

constexpr QByteArrayView kSsidKey = "SSID1=";
constexpr QByteArrayView kWpaKey = "WPAPSK1=";
constexpr QByteArrayView kWanKey = "WAN_MAC_ADDR=";

QByteArray PersonaliseLine(QByteArrayView line, const MacTriple& triple, bool wpaKeyMode,
                           bool& wanSeen) {
    QByteArray entry = line.toByteArray();
    if (line.contains(kSsidKey)) {
        // The suffix belongs to the value, not after a CR of a CR LF template.
        const qsizetype at = entry.endsWith('\r') ? entry.size() - 1 : entry.size();
        entry.insert(at, '_' + SsidSuffix(triple.base).toLatin1());
    }
    // Only a line that begins with the key is rewritten: cutting any other
    // line that merely contains it would lose that line's own key.
    if (wpaKeyMode && line.startsWith(kWpaKey))
        entry = kWpaKey.toByteArray() + KeyText(triple.base).toLatin1();
    if (line.startsWith(kWanKey)) {
        entry = kWanKey.toByteArray() + ColonText(triple.wan).toLatin1();
        wanSeen = true;
    }
    return entry;
}

} // namespace

bool ConfiguresOpenNetwork(QByteArrayView templateText) {
    return templateText.contains(QByteArrayView("AuthMode=OPEN"));
}

std::optional<QByteArray> BuildConfigBlock(QByteArrayView templateText, const MacTriple& triple,
                                           bool wpaKeyMode) {
    QByteArray entries;
    bool wanSeen = false;
    qsizetype start = 0;
    // Bytes after the last line feed do not form a line.
    for (qsizetype lf = templateText.indexOf('\n'); lf >= 0;
         start = lf + 1, lf = templateText.indexOf('\n', start)) {
        const QByteArrayView line = templateText.sliced(start, lf - start);
        if (!line.contains('='))
            continue;
        entries += PersonaliseLine(line, triple, wpaKeyMode, wanSeen);
        entries += '\0';
        if (entries.size() > kConfigEntriesMax)
            return std::nullopt;
    }
    if (!wanSeen) {
        entries += kWanKey.toByteArray() + ColonText(triple.wan).toLatin1();
        entries += '\0';
    }
    if (entries.size() > kConfigEntriesMax)
        return std::nullopt;

    QByteArray block(kConfigBlockSize, '\0');
    std::memcpy(block.data() + 4, entries.constData(), static_cast<size_t>(entries.size()));
    qToLittleEndian(Crc32(QByteArrayView(block).sliced(4)), block.data());
    return block;
}

std::optional<QByteArray> InsertWpaKey(QByteArrayView templateText, QByteArrayView keyText) {
    qsizetype lineStart = 0;
    while (!templateText.sliced(lineStart).startsWith(kWpaKey)) {
        const qsizetype lf = templateText.indexOf('\n', lineStart);
        if (lf < 0)
            return std::nullopt;
        lineStart = lf + 1;
    }
    const qsizetype valueStart = lineStart + kWpaKey.size();
    qsizetype valueEnd = templateText.indexOf('\n', valueStart);
    if (valueEnd < 0)
        valueEnd = templateText.size();
    QByteArray out;
    out.reserve(templateText.size() + keyText.size());
    out += templateText.first(valueStart);
    out += keyText;
    out += templateText.sliced(valueEnd);
    return out;
}

} // namespace quorvane
