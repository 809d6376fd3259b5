#include "core/personalise/SourceFile.h"

#include <QFile>

namespace quorvane {

SourceRead ReadSourceFile(const QString& path, qsizetype maxSize) {
    SourceRead result;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        result.status = SourceStatus::CannotOpen;
        return result;
    }
    if (!file.isSequential()) {
        if (file.size() > maxSize) {
            result.status = SourceStatus::TooLarge;
            return result;
        }
        result.bytes = file.readAll();
    } else {
        constexpr qsizetype kStep = 65536;
        while (result.bytes.size() <= maxSize) {
            const QByteArray part = file.read(kStep);
            if (part.isEmpty())
                break;
            result.bytes += part;
        }
    }
    if (file.error() != QFileDevice::NoError)
        result.status = SourceStatus::ReadFailed;
    else if (result.bytes.size() > maxSize)
        result.status = SourceStatus::TooLarge;
    else
        result.status = SourceStatus::Ok;
    if (result.status != SourceStatus::Ok)
        result.bytes.clear();
    return result;
}

} // namespace quorvane
