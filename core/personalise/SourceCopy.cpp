#include "core/personalise/SourceCopy.h"

#include "core/personalise/Crc32.h"

#include <QByteArray>

#ifdef Q_OS_LINUX
#include <unistd.h>

#include <cerrno>
#include <optional>
#endif

namespace quorvane {

namespace {

constexpr qint64 kStreamBlock = 1 << 20;

// The portable way: each block is read, folded into the CRC while it is
// still in the cache, and written.
CopyStatus CopyThroughBlock(QFileDevice& in, qint64 size, QFileDevice& out, std::uint32_t* crc,
                            qint64 crcSkip) {
    QByteArray block(qMin(size, kStreamBlock), Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        const qint64 n = in.read(block.data(), qMin(size - done, kStreamBlock));
        if (n <= 0)
            return CopyStatus::SourceFailed;
        const QByteArrayView bytes(block.constData(), n);
        if (crc && done + n > crcSkip)
            *crc = Crc32Update(*crc, bytes.sliced(qMax<qint64>(0, crcSkip - done)));
        if (out.write(bytes.data(), n) != n)
            return CopyStatus::OutputFailed;
        done += n;
    }
    return CopyStatus::Copied;
}

bool AtEnd(QFileDevice& in) {
    char extra;
    return in.read(&extra, 1) == 0;
}

#ifdef Q_OS_LINUX

// Lets the kernel move the bytes from file to file, as cp does; stops where
// it cannot (another file system, a full disk, a shorter file) and leaves
// the rest, and the verdict, to the portable copy.
qint64 KernelCopy(int in, qint64 from, int out, qint64 to, qint64 size) {
    loff_t inPos = from;
    loff_t outPos = to;
    qint64 done = 0;
    while (done < size) {
        const ssize_t n =
            ::copy_file_range(in, &inPos, out, &outPos, static_cast<size_t>(size - done), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

// The copy in the kernel; nullopt when the kernel cannot copy between these
// two files at all.
std::optional<CopyStatus> CopyInKernel(QFileDevice& in, qint64 size, QFileDevice& out) {
    const int inFd = in.handle();
    const int outFd = out.handle();
    if (inFd < 0 || outFd < 0)
        return std::nullopt;
    const qint64 inPos = in.pos();
    const qint64 outPos = out.pos();
    const qint64 done = KernelCopy(inFd, inPos, outFd, outPos, size);
    if (done == 0 && size > 0)
        return std::nullopt;
    if (!in.seek(inPos + done))
        return CopyStatus::SourceFailed;
    if (!out.seek(outPos + done))
        return CopyStatus::OutputFailed;
    const CopyStatus rest = CopyThroughBlock(in, size - done, out, nullptr, 0);
    if (rest != CopyStatus::Copied)
        return rest;
    if (!AtEnd(in))
        return CopyStatus::SourceFailed;
    return CopyStatus::Copied;
}

#endif

} // namespace

CopyStatus CopySource(QFileDevice& in, qint64 size, QFileDevice& out, std::uint32_t* crc,
                      qint64 crcSkip) {
#ifdef Q_OS_LINUX
    // Bytes the CRC needs pass through this process anyway.
    if (!crc || crcSkip >= size) {
        if (const auto status = CopyInKernel(in, size, out))
            return *status;
    }
#endif
    const CopyStatus status = CopyThroughBlock(in, size, out, crc, crcSkip);
    if (status == CopyStatus::Copied && !AtEnd(in))
        return CopyStatus::SourceFailed;
    return status;
}

} // namespace quorvane
