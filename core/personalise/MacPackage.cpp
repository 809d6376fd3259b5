#include "core/personalise/MacPackage.h"

#include "core/personalise/ChunkedBytes.h"
#include "core/personalise/ConfigTemplate.h"
#include "core/personalise/PackageFile.h"
#include "core/personalise/PackageLimits.h"
#include "core/personalise/PackageMessages.h"
#include "core/personalise/SourceFile.h"

#include <cstring>

namespace quorvane {

namespace {

QString SourceMessage(SourceStatus status, const QString& path) {
    switch (status) {
    case SourceStatus::Ok:
        return {};
    case SourceStatus::CannotOpen:
        return MissingFileMessage(path);
    case SourceStatus::TooLarge:
        return SourceTooLargeMessage(path);
    case SourceStatus::ReadFailed:
        return ReadFailedMessage(path);
    }
    return MissingFileMessage(path);
}

void AppendPiece(ChunkedBytes& out, const QByteArray& bytes) {
    out.appendLe32(static_cast<std::uint32_t>(bytes.size()));
    out.append(bytes);
}

} // namespace

MacPackageResult BuildMacPackage(const MacPackageRequest& request) {
    MacPackageResult result;
    result.outputPath = request.programDir + QStringLiteral("MAC");
    result.triple = request.currentTriple;
    const PackageSources& src = request.sources;

    ChunkedBytes out;
    out.append(QByteArray(1, static_cast<char>(request.flags)));

    if (request.flags & kSelectMac) {
        result.triple = TripleFromMacField(request.macField, request.model);
        AppendPiece(out, TripleBytes(result.triple));
    }

    if (request.flags & kSelectBootLoader) {
        const SourceRead image = ReadSourceFile(src.bootLoaderPath, kBootLoaderImageMax);
        if (image.status == SourceStatus::TooLarge) {
            result.message = MacBootLoaderTooLargeMessage();
            return result;
        }
        result.message = SourceMessage(image.status, src.bootLoaderPath);
        if (!result.ok())
            return result;
        // The image, zero fill, and the word 1 in the piece's last four bytes.
        QByteArray piece(kBootLoaderImageMax + 4, '\0');
        std::memcpy(piece.data(), image.bytes.constData(), static_cast<size_t>(image.bytes.size()));
        piece.replace(kBootLoaderImageMax, 4, Le32(1));
        AppendPiece(out, piece);
    }

    if (request.flags & kSelectConfig) {
        const SourceRead text = ReadSourceFile(src.configPath, kPackageBodyMax);
        result.message = SourceMessage(text.status, src.configPath);
        if (!result.ok())
            return result;
        if (request.hasWpaKey) {
            const std::optional<QByteArray> keyed =
                InsertWpaKey(text.bytes, KeyText(result.triple.base).toLatin1());
            if (!keyed) {
                result.message = NoWpaLineMessage();
                return result;
            }
            // The length word is the text's real length, also when the old
            // value was not empty or the line had no line feed.
            AppendPiece(out, *keyed);
        } else {
            AppendPiece(out, text.bytes);
        }
    }

    if (request.flags & kSelectRoot) {
        const SourceRead image = OpenSourceFile(src.rootPath, kPackageBodyMax);
        result.message = SourceMessage(image.status, src.rootPath);
        if (!result.ok())
            return result;
        out.appendLe32(static_cast<std::uint32_t>(image.size()));
        out.append(image);
    }

    if (out.size() > kPackageBodyMax) {
        result.message = PackageTooLargeMessage();
        return result;
    }
    const WriteOutcome written = WritePackageFile(result.outputPath, out);
    if (written.status == WriteOutcome::SourceFailed)
        result.message = ReadFailedMessage(written.sourcePath);
    else if (written.status == WriteOutcome::OutputFailed)
        result.message = MacFileFailedMessage();
    return result;
}

} // namespace quorvane
