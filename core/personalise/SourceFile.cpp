#include "core/personalise/SourceFile.h"

namespace quorvane {

namespace {

SourceRead Source(const QString& path, qsizetype maxSize, bool keepOpen) {
    SourceRead result;
    result.path = path;
    auto file = std::make_shared<QFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        result.status = SourceStatus::CannotOpen;
        return result;
    }
    if (!file->isSequential()) {
        if (file->size() > maxSize) {
            result.status = SourceStatus::TooLarge;
            return result;
        }
        if (keepOpen) {
            result.status = SourceStatus::Ok;
            result.file = file;
            result.fileSize = file->size();
            return result;
        }
        result.bytes = file->readAll();
    } else {
        constexpr qsizetype kStep = 65536;
        while (result.bytes.size() <= maxSize) {
            const QByteArray part = file->read(kStep);
            if (part.isEmpty())
                break;
            result.bytes += part;
        }
    }
    if (file->error() != QFileDevice::NoError)
        result.status = SourceStatus::ReadFailed;
    else if (result.bytes.size() > maxSize)
        result.status = SourceStatus::TooLarge;
    else
        result.status = SourceStatus::Ok;
    if (result.status != SourceStatus::Ok)
        result.bytes.clear();
    return result;
}

} // namespace

SourceRead ReadSourceFile(const QString& path, qsizetype maxSize) {
    return Source(path, maxSize, false);
}

SourceRead OpenSourceFile(const QString& path, qsizetype maxSize) {
    return Source(path, maxSize, true);
}

} // namespace quorvane
