#include "core/personalise/DevicePackage.h"

#include "core/personalise/ChunkedBytes.h"
#include "core/personalise/ConfigTemplate.h"
#include "core/personalise/PackageFile.h"
#include "core/personalise/PackageLimits.h"
#include "core/personalise/PackageMessages.h"
#include "core/personalise/SourceFile.h"

#include <cstring>

namespace quorvane {

namespace {

void AppendSectionHeader(ChunkedBytes& body, std::uint32_t type, qsizetype length) {
    QByteArray header;
    header += Le32(type);
    header += Le32(type == kSelectMac ? 0 : 1);
    header += Le32(0);
    header += Le32(static_cast<std::uint32_t>(length));
    body.append(header);
}

// Image, zero fill to 131,072, then the words 1 and 5 the boot loader expects.
QByteArray BootLoaderSectionData(const QByteArray& image) {
    QByteArray data(kBootLoaderImageMax + 8, '\0');
    std::memcpy(data.data(), image.constData(), static_cast<size_t>(image.size()));
    data.replace(kBootLoaderImageMax, 4, Le32(1));
    data.replace(kBootLoaderImageMax + 4, 4, Le32(5));
    return data;
}

// Reports the one message a failed read gives; empty when the bytes are there.
QString SourceMessage(SourceStatus status, const QString& path, const QString& missing) {
    switch (status) {
    case SourceStatus::Ok:
        return {};
    case SourceStatus::CannotOpen:
        return missing;
    case SourceStatus::TooLarge:
        return SourceTooLargeMessage(path);
    case SourceStatus::ReadFailed:
        return ReadFailedMessage(path);
    }
    return missing;
}

} // namespace

DevicePackageResult BuildDevicePackage(const DevicePackageRequest& request) {
    DevicePackageResult result;
    const QString label = request.scanText.left(12);
    result.outputPath = request.programDir + label;
    result.triple = request.currentTriple;
    const PackageSources& src = request.sources;

    ChunkedBytes body;
    std::uint32_t sections = 0;

    if (request.flags & kSelectMac) {
        result.triple = MakeTriple(ParseMacText(label), request.model);
        AppendSectionHeader(body, kSelectMac, 18);
        body.append(TripleBytes(result.triple));
        ++sections;
    }

    if (request.flags & kSelectBootLoader) {
        const SourceRead image = ReadSourceFile(src.bootLoaderPath, kBootLoaderImageMax);
        if (image.status == SourceStatus::TooLarge) {
            result.message = BootLoaderTooLargeMessage(src.bootLoaderPath);
            return result;
        }
        result.message = SourceMessage(image.status, src.bootLoaderPath,
                                       MissingBootLoaderMessage(src.bootLoaderPath));
        if (!result.ok())
            return result;
        AppendSectionHeader(body, kSelectBootLoader, kBootLoaderImageMax + 8);
        body.append(BootLoaderSectionData(image.bytes));
        ++sections;
    }

    if (request.flags & kSelectConfig) {
        // Without a MAC section the board's triple still personalises the
        // block; it replaces the current one only once this step is reached.
        result.triple = MakeTriple(ParseMacText(label), request.model);
        const SourceRead text = ReadSourceFile(src.configPath, kPackageBodyMax);
        result.message =
            SourceMessage(text.status, src.configPath, MissingFileMessage(src.configPath));
        if (!result.ok())
            return result;
        const bool wpaKeyMode = !ConfiguresOpenNetwork(text.bytes);
        result.hasWpaKey = wpaKeyMode;
        result.refreshTitle = true;
        const std::optional<QByteArray> block =
            BuildConfigBlock(text.bytes, result.triple, wpaKeyMode);
        if (!block) {
            result.message = ConfigTooLargeMessage(src.configPath);
            return result;
        }
        AppendSectionHeader(body, kSelectConfig, block->size());
        body.append(*block);
        ++sections;
    }

    if (request.flags & kSelectRoot) {
        const SourceRead image = OpenSourceFile(src.rootPath, kPackageBodyMax);
        result.message =
            SourceMessage(image.status, src.rootPath, MissingFileMessage(src.rootPath));
        if (!result.ok())
            return result;
        // Always at least one zero byte of fill: a full 64 KiB block when the
        // image is already aligned.
        const qint64 length = (image.size() / kRootAlignment + 1) * kRootAlignment;
        if (body.size() + 16 + length > kPackageBodyMax) {
            result.message = PackageTooLargeMessage();
            return result;
        }
        AppendSectionHeader(body, kSelectRoot, length);
        body.append(image);
        body.appendZeros(length - image.size());
        ++sections;
    }

    // The body's CRC goes into the header once the body has been written.
    ChunkedBytes file;
    file.appendLe32(kDevicePackageFormat);
    file.appendLe32(0);
    file.appendLe32(sections);
    file.append(body);

    if (!IsPlainFileName(label)) {
        result.message = result.outputPath;
        return result;
    }
    const WriteOutcome written = WritePackageFile(result.outputPath, file, CrcField{4, 12});
    if (written.status == WriteOutcome::SourceFailed)
        result.message = ReadFailedMessage(written.sourcePath);
    else if (written.status == WriteOutcome::OutputFailed)
        result.message = result.outputPath;
    return result;
}

} // namespace quorvane
