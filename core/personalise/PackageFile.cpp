#include "core/personalise/PackageFile.h"

#include "core/personalise/Crc32.h"
#include "core/personalise/SourceCopy.h"

#include <QFileInfo>
#include <QSaveFile>

namespace quorvane {

namespace {

// Writes bytes that start at package offset `offset`, folding the part of
// them at or after crcFrom into the CRC.
bool Put(QSaveFile& out, QByteArrayView bytes, qint64 offset, qint64 crcFrom, std::uint32_t& crc) {
    if (offset + bytes.size() > crcFrom)
        crc = Crc32Update(crc, bytes.sliced(qMax<qint64>(0, crcFrom - offset)));
    return out.write(bytes.data(), bytes.size()) == bytes.size();
}

} // namespace

bool IsPlainFileName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7F)
            return false;
    }
    return true;
}

WriteOutcome WritePackageFile(const QString& path, const ChunkedBytes& bytes,
                              std::optional<CrcField> crcField) {
    WriteOutcome outcome;
    if (QFileInfo(path).isDir())
        return outcome;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return outcome;

    const qint64 crcFrom = crcField ? crcField->from : bytes.size();
    std::uint32_t crc = 0;
    qint64 offset = 0;
    bool ok = true;
    for (const ChunkedBytes::Part& part : bytes.parts()) {
        if (!part.source.file) {
            ok = Put(out, part.bytes, offset, crcFrom, crc);
            offset += part.bytes.size();
        } else {
            const CopyStatus copied =
                CopySource(*part.source.file, part.source.fileSize, out, &crc, crcFrom - offset);
            if (copied == CopyStatus::SourceFailed) {
                outcome.status = WriteOutcome::SourceFailed;
                outcome.sourcePath = part.source.path;
            }
            ok = copied == CopyStatus::Copied;
            offset += part.source.fileSize;
        }
        if (!ok)
            break;
    }
    if (ok && crcField)
        ok = out.seek(crcField->at) && out.write(Le32(crc)) == 4;
    if (!ok) {
        out.cancelWriting();
        out.commit();
        return outcome;
    }
    if (out.commit())
        outcome.status = WriteOutcome::Written;
    return outcome;
}

} // namespace quorvane
