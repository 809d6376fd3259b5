#include "core/record/SourceFacts.h"

#include "core/personalise/Crc32.h"

#include <QFile>
#include <QFileInfo>

namespace quorvane::record {

SourceUse SourceFacts::of(const QString& path) {
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    const auto it = m_known.constFind(path);
    if (it != m_known.constEnd() && it->size == info.size() && it->modified == info.lastModified())
        return it->use;

    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    std::uint32_t crc = Crc32({});
    qint64 size = 0;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 n; (n = file.read(chunk.data(), chunk.size())) > 0; size += n)
        crc = Crc32Update(crc, QByteArrayView(chunk.constData(), n));
    const SourceUse use{info.fileName(), size, crc};
    m_known.insert(path, Known{info.size(), info.lastModified(), use});
    return use;
}

} // namespace quorvane::record
