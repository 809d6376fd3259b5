#pragma once

#include <QByteArray>
#include <QString>

namespace quorvane {

enum class SourceStatus { Ok, CannotOpen, TooLarge, ReadFailed };

struct SourceRead {
    SourceStatus status = SourceStatus::CannotOpen;
    QByteArray bytes;
};

// Reads a source file whole, refusing one larger than maxSize before reading
// it (pipes and other unsized files are read up to maxSize + 1 bytes).
SourceRead ReadSourceFile(const QString& path, qsizetype maxSize);

} // namespace quorvane
