#include "core/personalise/PackageInspect.h"

#include "core/personalise/Crc32.h"
#include "core/personalise/PackageLimits.h"

#include <QtEndian>

namespace quorvane {

namespace {

constexpr std::uint32_t kTypes[] = {1, 2, 4, 8};

std::uint32_t ReadLe32(QByteArrayView bytes, qsizetype at) {
    return qFromLittleEndian<std::uint32_t>(bytes.data() + at);
}

bool Has(QByteArrayView bytes, qsizetype at, qsizetype count) {
    return at >= 0 && count >= 0 && at <= bytes.size() && count <= bytes.size() - at;
}

QString Hex32(std::uint32_t v) {
    return QStringLiteral("0x%1").arg(v, 8, 16, QLatin1Char('0'));
}

void InspectBootLoader(PackageReport& report, QByteArrayView data, bool device) {
    report.bootLoaderChecksum = Crc32(data.first(kBootLoaderImageMax));
    if (ReadLe32(data, kBootLoaderImageMax) != 1)
        report.problems << QStringLiteral("boot loader: word at 131072 is not 1");
    if (device && ReadLe32(data, kBootLoaderImageMax + 4) != kDevicePackageFormat)
        report.problems << QStringLiteral("boot loader: word at 131076 is not 5");
}

void InspectConfigBlock(PackageReport& report, QByteArrayView block) {
    report.configStoredCrc = ReadLe32(block, 0);
    report.configComputedCrc = Crc32(block.sliced(4));
    if (*report.configStoredCrc != *report.configComputedCrc)
        report.problems << QStringLiteral("configuration: block CRC %1, computed %2")
                               .arg(Hex32(*report.configStoredCrc),
                                    Hex32(*report.configComputedCrc));
    qsizetype at = 4;
    while (at < block.size() && block[at] != '\0') {
        qsizetype end = block.indexOf('\0', at);
        if (end < 0) {
            report.problems << QStringLiteral("configuration: last entry has no NUL");
            end = block.size();
        }
        report.configEntries << block.sliced(at, end - at).toByteArray();
        at = end + 1;
    }
}

} // namespace

QString SectionName(std::uint32_t type) {
    switch (type) {
    case 1:
        return QStringLiteral("MAC");
    case 2:
        return QStringLiteral("boot loader");
    case 4:
        return QStringLiteral("configuration");
    case 8:
        return QStringLiteral("root image");
    }
    return QStringLiteral("unknown");
}

PackageReport InspectPackage(QByteArrayView bytes) {
    if (bytes.size() >= 12 && ReadLe32(bytes, 0) == kDevicePackageFormat)
        return InspectDevicePackage(bytes);
    return InspectMacPackage(bytes);
}

PackageReport InspectDevicePackage(QByteArrayView bytes) {
    PackageReport report;
    report.kind = PackageKind::Device;
    if (bytes.size() < 12) {
        report.problems << QStringLiteral("header: %1 bytes, 12 needed").arg(bytes.size());
        return report;
    }
    report.formatWord = ReadLe32(bytes, 0);
    report.storedCrc = ReadLe32(bytes, 4);
    report.sectionCount = ReadLe32(bytes, 8);
    report.computedCrc = Crc32(bytes.sliced(12));
    if (report.formatWord != kDevicePackageFormat)
        report.problems << QStringLiteral("header: format word %1, not 5").arg(report.formatWord);
    if (report.storedCrc != report.computedCrc)
        report.problems << QStringLiteral("header: body CRC %1, computed %2")
                               .arg(Hex32(report.storedCrc), Hex32(report.computedCrc));

    std::uint32_t lastType = 0;
    qsizetype at = 12;
    while (at < bytes.size()) {
        PackageSection s;
        s.headerOffset = at;
        if (!Has(bytes, at, 16)) {
            report.problems << QStringLiteral("section at %1: header cut short").arg(at);
            break;
        }
        s.type = ReadLe32(bytes, at);
        s.word4 = ReadLe32(bytes, at + 4);
        s.word8 = ReadLe32(bytes, at + 8);
        s.length = ReadLe32(bytes, at + 12);
        s.dataOffset = at + 16;
        s.complete = Has(bytes, s.dataOffset, s.length);
        report.sections << s;
        const QString name = SectionName(s.type);
        if (name == QLatin1String("unknown"))
            report.problems << QStringLiteral("section at %1: type %2").arg(at).arg(s.type);
        else if (s.type <= lastType)
            report.problems << QStringLiteral("section at %1: %2 out of order").arg(at).arg(name);
        lastType = s.type;
        report.flags |= static_cast<std::uint8_t>(s.type & 0x0F);
        if (s.word4 != (s.type == 1 ? 0u : 1u) || s.word8 != 0)
            report.problems
                << QStringLiteral("%1: header words %2 %3").arg(name).arg(s.word4).arg(s.word8);
        if (!s.complete) {
            report.problems << QStringLiteral("%1: length %2, only %3 bytes left")
                                   .arg(name)
                                   .arg(s.length)
                                   .arg(bytes.size() - s.dataOffset);
            break;
        }
        const QByteArrayView data = bytes.sliced(s.dataOffset, s.length);
        const qsizetype expected = s.type == 1   ? 18
                                   : s.type == 2 ? kBootLoaderImageMax + 8
                                   : s.type == 4 ? kConfigBlockSize
                                                 : -1;
        if (expected >= 0 && s.length != expected)
            report.problems
                << QStringLiteral("%1: length %2, not %3").arg(name).arg(s.length).arg(expected);
        else if (s.type == 1)
            report.triple = TripleFromBytes(data);
        else if (s.type == 2)
            InspectBootLoader(report, data, true);
        else if (s.type == 4)
            InspectConfigBlock(report, data);
        else if (s.type == 8 && (s.length == 0 || s.length % kRootAlignment != 0))
            report.problems << QStringLiteral(
                                   "root image: length %1 not a positive multiple of 65536")
                                   .arg(s.length);
        at = s.dataOffset + s.length;
    }
    if (report.sectionCount != static_cast<std::uint32_t>(report.sections.size()))
        report.problems << QStringLiteral("header: %1 sections, %2 found")
                               .arg(report.sectionCount)
                               .arg(report.sections.size());
    return report;
}

PackageReport InspectMacPackage(QByteArrayView bytes) {
    PackageReport report;
    report.kind = PackageKind::Mac;
    if (bytes.isEmpty()) {
        report.problems << QStringLiteral("empty file");
        return report;
    }
    report.flags = static_cast<std::uint8_t>(bytes[0]);
    if (report.flags & 0xF0)
        report.problems << QStringLiteral("selection bits %1: unknown bits").arg(report.flags);
    qsizetype at = 1;
    for (std::uint32_t type : kTypes) {
        if (!(report.flags & type))
            continue;
        const QString name = SectionName(type);
        PackageSection s;
        s.type = type;
        s.headerOffset = at;
        if (!Has(bytes, at, 4)) {
            report.problems << QStringLiteral("%1: length word cut short").arg(name);
            return report;
        }
        s.length = ReadLe32(bytes, at);
        s.dataOffset = at + 4;
        s.complete = Has(bytes, s.dataOffset, s.length);
        report.sections << s;
        if (!s.complete) {
            report.problems << QStringLiteral("%1: length %2, only %3 bytes left")
                                   .arg(name)
                                   .arg(s.length)
                                   .arg(bytes.size() - s.dataOffset);
            return report;
        }
        const QByteArrayView data = bytes.sliced(s.dataOffset, s.length);
        if (type == 1 && s.length != 18)
            report.problems << QStringLiteral("MAC: length %1, not 18").arg(s.length);
        else if (type == 1)
            report.triple = TripleFromBytes(data);
        else if (type == 2 && s.length != kBootLoaderImageMax + 4)
            report.problems << QStringLiteral("boot loader: length %1, not 131076").arg(s.length);
        else if (type == 2)
            InspectBootLoader(report, data, false);
        else if (type == 4) {
            report.configText = data.toByteArray();
            report.configEntries = report.configText.split('\n');
            if (report.configText.endsWith('\n'))
                report.configEntries.removeLast();
        }
        at = s.dataOffset + s.length;
    }
    if (at != bytes.size())
        report.problems << QStringLiteral("%1 bytes after the last piece").arg(bytes.size() - at);
    return report;
}

} // namespace quorvane
