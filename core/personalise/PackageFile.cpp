#include "core/personalise/PackageFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace quorvane {

bool IsPlainFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7F)
            return false;
    }
    return true;
}

bool WritePackageFile(const QString& path, const ChunkedBytes& bytes) {
    if (QFileInfo(path).isDir())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray& chunk : bytes.chunks()) {
        if (file.write(chunk) != chunk.size()) {
            file.cancelWriting();
            break;
        }
    }
    return file.commit();
}

} // namespace quorvane
