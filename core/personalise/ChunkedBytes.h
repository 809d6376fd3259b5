#pragma once

#include "core/personalise/SourceFile.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace quorvane {

// A package as a list of pieces: bytes in memory, or a source file that is
// read only while the package is written, so that a large image is never
// held or copied in memory.
class ChunkedBytes {
public:
    struct Part {
        QByteArray bytes;
        SourceRead source; // used when source.file is set
    };

    void append(const QByteArray& bytes);
    void append(const SourceRead& source);
    void append(const ChunkedBytes& other);
    void appendLe32(std::uint32_t value);
    void appendZeros(qsizetype count);

    qint64 size() const { return m_size; }
    const QList<Part>& parts() const { return m_parts; }

private:
    QList<Part> m_parts;
    qint64 m_size = 0;
};

QByteArray Le32(std::uint32_t value);

} // namespace quorvane
