#pragma once

#include "core/personalise/MacAddress.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace quorvane {

// The 789-byte "sysfile" record: raw bytes, no header, no checksum.
class SettingsRecord {
public:
    static constexpr int kSize = 789;
    static constexpr int kFlagsOffset = 0;
    static constexpr int kMacsOffset = 1;
    static constexpr int kBootLoaderOffset = 19;
    static constexpr int kRootOffset = 275;
    static constexpr int kConfigOffset = 531;
    static constexpr int kPathSlotSize = 256;
    static constexpr int kWpaOffset = 787;

    // SizeUnknown: not a regular file (a folder, a pipe); Unreadable: a
    // regular file that cannot be opened.
    enum class ReadStatus { Read, Missing, SizeUnknown, Unreadable };

    SettingsRecord() = default; // all zero

    // A missing file leaves the record zero; a shorter one fills its leading
    // part, a longer one gives its first 789 bytes.
    static SettingsRecord Read(const QString& path, ReadStatus* status = nullptr);
    // Whole and atomic: an interrupted write leaves the old file.
    bool Write(const QString& path) const;

    std::uint8_t flags() const;
    void setFlags(std::uint8_t flags);
    MacTriple triple() const;
    void setTriple(const MacTriple& triple);
    QString bootLoaderPath() const;
    QString rootPath() const;
    QString configPath() const;
    // Stored as the file-system bytes of the path, cut so the slot keeps its NUL.
    void setBootLoaderPath(const QString& path);
    void setRootPath(const QString& path);
    void setConfigPath(const QString& path);
    std::uint8_t wpaByte() const; // '1', '0' or 0
    void setWpaByte(std::uint8_t value);
    // "%02X%02X%01X" over bytes 4, 5 and the high nibble of 6.
    QString serialText() const;

    const std::array<std::uint8_t, kSize>& bytes() const { return m_bytes; }
    std::array<std::uint8_t, kSize>& bytes() { return m_bytes; }

private:
    std::array<std::uint8_t, kSize> m_bytes{};
};

} // namespace quorvane
