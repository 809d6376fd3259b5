#include "core/settings/SettingsRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace quorvane {

namespace {

constexpr int kMacSize = 6;

MacAddress MacAt(const std::array<std::uint8_t, SettingsRecord::kSize>& bytes, int offset) {
    MacAddress mac;
    std::copy_n(bytes.begin() + offset, kMacSize, mac.bytes.begin());
    return mac;
}

void PutMac(std::array<std::uint8_t, SettingsRecord::kSize>& bytes, int offset,
            const MacAddress& mac) {
    std::copy(mac.bytes.begin(), mac.bytes.end(), bytes.begin() + offset);
}

// The slot's text ends at its first NUL, or at the slot's end when a foreign
// file filled it completely.
QString PathAt(const std::array<std::uint8_t, SettingsRecord::kSize>& bytes, int offset) {
    const auto* begin = reinterpret_cast<const char*>(bytes.data() + offset);
    const auto* end = std::find(begin, begin + SettingsRecord::kPathSlotSize, '\0');
    return QFile::decodeName(QByteArray(begin, end - begin));
}

// Never ends inside a multi-byte UTF-8 sequence.
qsizetype CutLength(const QByteArray& encoded, qsizetype limit) {
    if (encoded.size() <= limit)
        return encoded.size();
    qsizetype length = limit;
    while (length > 0 && (static_cast<unsigned char>(encoded[length]) & 0xC0) == 0x80)
        --length;
    return length;
}

void PutPath(std::array<std::uint8_t, SettingsRecord::kSize>& bytes, int offset,
             const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    const qsizetype length = CutLength(encoded, SettingsRecord::kPathSlotSize - 1);
    std::uint8_t* slot = bytes.data() + offset;
    std::memset(slot, 0, SettingsRecord::kPathSlotSize);
    std::memcpy(slot, encoded.constData(), static_cast<std::size_t>(length));
}

} // namespace

SettingsRecord SettingsRecord::Read(const QString& path, ReadStatus* status) {
    SettingsRecord record;
    auto report = [status](ReadStatus value) {
        if (status != nullptr)
            *status = value;
    };

    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        report(ReadStatus::Missing);
        return record;
    }
    // A folder, a pipe or a device has no size to go by; opening a pipe
    // would even block the station.
    if (!info.isFile()) {
        report(info.exists() ? ReadStatus::SizeUnknown : ReadStatus::Missing);
        return record;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report(ReadStatus::Unreadable);
        return record;
    }
    const QByteArray data = file.read(kSize);
    std::memcpy(record.m_bytes.data(), data.constData(), static_cast<std::size_t>(data.size()));
    report(ReadStatus::Read);
    return record;
}

bool SettingsRecord::Write(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto* data = reinterpret_cast<const char*>(m_bytes.data());
    if (file.write(data, kSize) != kSize) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

std::uint8_t SettingsRecord::flags() const {
    return m_bytes[kFlagsOffset];
}

void SettingsRecord::setFlags(std::uint8_t flags) {
    m_bytes[kFlagsOffset] = flags;
}

MacTriple SettingsRecord::triple() const {
    return {MacAt(m_bytes, kMacsOffset), MacAt(m_bytes, kMacsOffset + kMacSize),
            MacAt(m_bytes, kMacsOffset + 2 * kMacSize)};
}

void SettingsRecord::setTriple(const MacTriple& triple) {
    PutMac(m_bytes, kMacsOffset, triple.base);
    PutMac(m_bytes, kMacsOffset + kMacSize, triple.model);
    PutMac(m_bytes, kMacsOffset + 2 * kMacSize, triple.wan);
}

QString SettingsRecord::bootLoaderPath() const {
    return PathAt(m_bytes, kBootLoaderOffset);
}

QString SettingsRecord::rootPath() const {
    return PathAt(m_bytes, kRootOffset);
}

QString SettingsRecord::configPath() const {
    return PathAt(m_bytes, kConfigOffset);
}

void SettingsRecord::setBootLoaderPath(const QString& path) {
    PutPath(m_bytes, kBootLoaderOffset, path);
}

void SettingsRecord::setRootPath(const QString& path) {
    PutPath(m_bytes, kRootOffset, path);
}

void SettingsRecord::setConfigPath(const QString& path) {
    PutPath(m_bytes, kConfigOffset, path);
}

std::uint8_t SettingsRecord::wpaByte() const {
    return m_bytes[kWpaOffset];
}

void SettingsRecord::setWpaByte(std::uint8_t value) {
    m_bytes[kWpaOffset] = value;
}

QString SettingsRecord::serialText() const {
    const auto hex = [](unsigned value, int width) {
        return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
    };
    return hex(m_bytes[4], 2) + hex(m_bytes[5], 2) + hex(m_bytes[6] >> 4u, 1);
}

} // namespace quorvane
