#include "core/personalise/SourceCopy.h"

#include "core/personalise/Crc32.h"

#include <QByteArray>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>
#include <thread>
#endif

namespace quorvane {

namespace {

constexpr qint64 kStreamBlock = 1 << 20;
constexpr qint64 kFlushStep = 4 << 20;

// Starts the disk writing what has been written so far, so that the flush
// before the rename finds little left to do; that flush still makes the
// file durable and reports any error.
void StartFlush(QFileDevice& out, qint64 from, qint64 to) {
#ifdef Q_OS_LINUX
    if (out.handle() >= 0)
        ::sync_file_range(out.handle(), from, to - from, SYNC_FILE_RANGE_WRITE);
#else
    Q_UNUSED(out);
    Q_UNUSED(from);
    Q_UNUSED(to);
#endif
}

// The portable way: each block is read, folded into the CRC while it is
// still in the cache, and written.
CopyStatus CopyThroughBlock(QFileDevice& in, qint64 size, QFileDevice& out, std::uint32_t* crc,
                            qint64 crcSkip) {
    QByteArray block(qMin(size, kStreamBlock), Qt::Uninitialized);
    const qint64 start = out.pos();
    qint64 flushed = 0;
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
        if (done - flushed >= kFlushStep) {
            StartFlush(out, start + flushed, start + done);
            flushed = done;
        }
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

// Only where files live in memory does the kernel's copy pay: on a disk,
// flushing what it wrote took longer than the copy saved.
bool InMemory(int fd) {
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 && (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC);
}

// The CRC of the source's bytes, read beside the kernel's copy of them.
std::optional<std::uint32_t> SourceCrc(int fd, qint64 from, qint64 size, std::uint32_t crc) {
    QByteArray block(qMin(size, kStreamBlock / 4), Qt::Uninitialized);
    while (size > 0) {
        const ssize_t n = ::pread(fd, block.data(), static_cast<size_t>(qMin(size, block.size())),
                                  static_cast<off_t>(from));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        crc = Crc32Update(crc, QByteArrayView(block.constData(), n));
        from += n;
        size -= n;
    }
    return crc;
}

bool SameContentStamp(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The copy in the kernel with the CRC summed on a second thread; nullopt
// when the kernel should not or cannot copy between these two files.
std::optional<CopyStatus> CopyInKernel(QFileDevice& in, qint64 size, QFileDevice& out,
                                       std::uint32_t* crc) {
    const int inFd = in.handle();
    const int outFd = out.handle();
    struct stat before {};
    if (inFd < 0 || outFd < 0 || !InMemory(outFd) || ::fstat(inFd, &before) != 0)
        return std::nullopt;
    const qint64 inPos = in.pos();
    const qint64 outPos = out.pos();
    // A first block shows whether the kernel can copy here at all before a
    // thread is spent on the CRC.
    qint64 done = KernelCopy(inFd, inPos, outFd, outPos, qMin(size, kStreamBlock));
    if (done == 0 && size > 0)
        return std::nullopt;

    std::optional<std::uint32_t> summed;
    bool summing = false;
    {
        std::jthread summer;
        if (crc) {
            try {
                summer = std::jthread([&summed, inFd, inPos, size, start = *crc] {
                    summed = SourceCrc(inFd, inPos, size, start);
                });
                summing = true;
            } catch (const std::system_error&) {
                // No thread to spare: summed after the copy instead.
            }
        }
        done += KernelCopy(inFd, inPos + done, outFd, outPos + done, size - done);
    }
    if (crc && !summing)
        summed = SourceCrc(inFd, inPos, size, *crc);
    if (!in.seek(inPos + done))
        return CopyStatus::SourceFailed;
    if (!out.seek(outPos + done))
        return CopyStatus::OutputFailed;
    const CopyStatus rest = CopyThroughBlock(in, size - done, out, nullptr, 0);
    if (rest != CopyStatus::Copied)
        return rest;
    if (!AtEnd(in))
        return CopyStatus::SourceFailed;
    if (crc) {
        // The CRC and the copy read the source separately: a source rewritten
        // meanwhile would leave a CRC that is not that of the copied bytes.
        struct stat after {};
        if (!summed || ::fstat(inFd, &after) != 0 || !SameContentStamp(before, after))
            return CopyStatus::SourceFailed;
        *crc = *summed;
    }
    return CopyStatus::Copied;
}

#endif

} // namespace

CopyStatus CopySource(QFileDevice& in, qint64 size, QFileDevice& out, std::uint32_t* crc,
                      qint64 crcSkip) {
#ifdef Q_OS_LINUX
    // The kernel copies an image the CRC covers wholly or not at all.
    if (!crc || crcSkip <= 0 || crcSkip >= size) {
        if (const auto status = CopyInKernel(in, size, out, crcSkip <= 0 ? crc : nullptr))
            return *status;
    }
#endif
    const CopyStatus status = CopyThroughBlock(in, size, out, crc, crcSkip);
    if (status == CopyStatus::Copied && !AtEnd(in))
        return CopyStatus::SourceFailed;
    return status;
}

} // namespace quorvane
