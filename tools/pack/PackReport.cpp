#include "PackReport.h"

#include "core/personalise/PackageSources.h"

using namespace quorvane;

namespace {

QByteArray Hex32(std::uint32_t v) {
    return "0x" + QByteArray::number(v, 16).rightJustified(8, '0');
}

QByteArray MacHex(const MacAddress& a) {
    return QByteArray(reinterpret_cast<const char*>(a.bytes.data()), 6).toHex().toUpper();
}

QByteArray Checked(std::uint32_t stored, std::uint32_t computed) {
    return Hex32(stored) + (stored == computed ? " (ok)" : " (computed " + Hex32(computed) + ")");
}

} // namespace

QByteArray Escaped(const QByteArray& bytes) {
    QByteArray out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '\\')
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

QByteArray FormatReport(const PackageReport& r) {
    QByteArray out;
    const bool device = r.kind == PackageKind::Device;
    if (device) {
        out += "kind: device\n";
        out += "format word: " + QByteArray::number(r.formatWord) + '\n';
        out += "body crc: " + Checked(r.storedCrc, r.computedCrc) + '\n';
        out += "sections: " + QByteArray::number(r.sectionCount) + '\n';
    } else {
        out += "kind: mac\n";
        out += "selection bits: 0x" + QByteArray::number(r.flags, 16).rightJustified(2, '0') + '\n';
    }
    for (const PackageSection& s : r.sections) {
        out += (device ? "section " : "piece ") + SectionName(s.type).toLatin1() + ": offset " +
               QByteArray::number(s.dataOffset) + ", length " + QByteArray::number(s.length) + '\n';
        if (s.type == kSelectMac && r.triple) {
            out += "  base: " + MacHex(r.triple->base) + '\n';
            out += "  model: " + MacHex(r.triple->model) + '\n';
            out += "  wan: " + MacHex(r.triple->wan) + '\n';
        } else if (s.type == kSelectBootLoader && r.bootLoaderChecksum) {
            out += "  boot loader checksum: " +
                   QByteArray::number(static_cast<qint32>(*r.bootLoaderChecksum)) + " (" +
                   Hex32(*r.bootLoaderChecksum) + ")\n";
        } else if (s.type == kSelectConfig) {
            if (r.configStoredCrc && r.configComputedCrc)
                out += "  block crc: " + Checked(*r.configStoredCrc, *r.configComputedCrc) + '\n';
            for (const QByteArray& entry : r.configEntries)
                out += (device ? "  entry: " : "  line: ") + Escaped(entry) + '\n';
        }
    }
    return out;
}
