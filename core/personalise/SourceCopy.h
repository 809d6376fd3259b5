#pragma once

#include <QFileDevice>

#include <cstdint>

namespace quorvane {

enum class CopyStatus { Copied, SourceFailed, OutputFailed };

// Copies the next `size` bytes of `in` to `out`, each from its current
// position, after which `in` must be at its end: a source that ends early or
// has grown since it was sized fails. With `crc` set, the copied bytes from
// the `crcSkip`th on are folded into it.
CopyStatus CopySource(QFileDevice& in, qint64 size, QFileDevice& out, std::uint32_t* crc = nullptr,
                      qint64 crcSkip = 0);

} // namespace quorvane
