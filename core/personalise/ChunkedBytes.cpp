#include "core/personalise/ChunkedBytes.h"

#include <QtEndian>

namespace quorvane {

QByteArray Le32(std::uint32_t value) {
    QByteArray out(4, Qt::Uninitialized);
    qToLittleEndian(value, out.data());
    return out;
}

void ChunkedBytes::append(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    m_parts.append(Part{bytes, {}});
    m_size += bytes.size();
}

void ChunkedBytes::append(const SourceRead& source) {
    if (!source.file) {
        append(source.bytes);
        return;
    }
    if (source.fileSize == 0)
        return;
    m_parts.append(Part{{}, source});
    m_size += source.fileSize;
}

void ChunkedBytes::append(const ChunkedBytes& other) {
    m_parts += other.m_parts;
    m_size += other.m_size;
}

void ChunkedBytes::appendLe32(std::uint32_t value) {
    append(Le32(value));
}

void ChunkedBytes::appendZeros(qsizetype count) {
    append(QByteArray(count, '\0'));
}

} // namespace quorvane
