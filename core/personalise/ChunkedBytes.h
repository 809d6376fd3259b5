#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace quorvane {

// A package assembled from shared pieces, so that a large image read from
// disk is checksummed and written in place instead of being copied.
class ChunkedBytes {
public:
    void append(const QByteArray& bytes);
    void appendLe32(std::uint32_t value);
    void appendZeros(qsizetype count);

    qsizetype size() const { return m_size; }
    const QList<QByteArray>& chunks() const { return m_chunks; }
    std::uint32_t crc32() const;
    QByteArray joined() const;

private:
    QList<QByteArray> m_chunks;
    qsizetype m_size = 0;
};

QByteArray Le32(std::uint32_t value);

} // namespace quorvane
