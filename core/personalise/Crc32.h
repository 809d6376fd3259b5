#pragma once

#include <QByteArrayView>

#include <cstdint>

namespace quorvane {

// IEEE 802.3 CRC-32 (zlib's crc32), always started from 0.
std::uint32_t Crc32(QByteArrayView data);

} // namespace quorvane
