#pragma once

#include <QByteArrayView>

#include <cstdint>

namespace quorvane {

// IEEE 802.3 CRC-32 (zlib's crc32), always started from 0.
std::uint32_t Crc32(QByteArrayView data);

// Continues a CRC-32 over the next bytes: Crc32Update(Crc32(a), b) == Crc32(a + b).
std::uint32_t Crc32Update(std::uint32_t crc, QByteArrayView data);

} // namespace quorvane
