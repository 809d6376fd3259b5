#include "core/personalise/Crc32.h"

#include <zlib.h>

namespace quorvane {

std::uint32_t Crc32(QByteArrayView data) {
    return Crc32Update(0, data);
}

std::uint32_t Crc32Update(std::uint32_t crc, QByteArrayView data) {
    const auto* bytes = reinterpret_cast<const Bytef*>(data.data());
    return static_cast<std::uint32_t>(crc32_z(crc, bytes, static_cast<z_size_t>(data.size())));
}

} // namespace quorvane
