#include "core/personalise/Crc32.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageLimits.h"

#include <QFile>

namespace quorvane {

std::optional<std::uint32_t> BootLoaderChecksum(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray image(kBootLoaderImageMax, '\0');
    qsizetype filled = 0;
    while (filled < image.size()) {
        const qint64 n = file.read(image.data() + filled, image.size() - filled);
        if (n <= 0)
            break;
        filled += n;
    }
    return Crc32(image);
}

} // namespace quorvane
