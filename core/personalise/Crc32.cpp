#include "core/personalise/Crc32.h"

#include <zlib.h>

namespace quorvane {

std::uint32_t Crc32(QByteArrayView data) {
    const auto* bytes = reinterpret_cast<const Bytef*>(data.data());
    return static_cast<std::uint32_t>(
        crc32_z(crc32_z(0L, Z_NULL, 0), bytes, static_cast<z_size_t>(data.size())));
}

} // namespace quorvane
