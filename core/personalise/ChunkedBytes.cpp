#include "core/personalise/ChunkedBytes.h"

#include "core/personalise/Crc32.h"

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
    m_chunks.append(bytes);
    m_size += bytes.size();
}

void ChunkedBytes::appendLe32(std::uint32_t value) {
    append(Le32(value));
}

void ChunkedBytes::appendZeros(qsizetype count) {
    append(QByteArray(count, '\0'));
}

std::uint32_t ChunkedBytes::crc32() const {
    std::uint32_t crc = 0;
    for (const QByteArray& chunk : m_chunks)
        crc = Crc32Update(crc, chunk);
    return crc;
}

QByteArray ChunkedBytes::joined() const {
    QByteArray out;
    out.reserve(m_size);
    for (const QByteArray& chunk : m_chunks)
        out += chunk;
    return out;
}

} // namespace quorvane
