#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

namespace quorvane {

enum class SourceStatus { Ok, CannotOpen, TooLarge, ReadFailed };

// A source file, either read whole (bytes) or, for a large image, kept open
// with its size so that the package writer streams it once.
struct SourceRead {
    SourceStatus status = SourceStatus::CannotOpen;
    QString path;
    QByteArray bytes;
    std::shared_ptr<QFile> file; // set when the bytes are still to be read
    qint64 fileSize = 0;
    qint64 size() const { return file ? fileSize : bytes.size(); }
};

// Reads a source file whole, refusing one larger than maxSize before reading
// it (pipes and other unsized files are read up to maxSize + 1 bytes).
SourceRead ReadSourceFile(const QString& path, qsizetype maxSize);

// Like ReadSourceFile, but a regular file is only opened and sized.
SourceRead OpenSourceFile(const QString& path, qsizetype maxSize);

} // namespace quorvane
