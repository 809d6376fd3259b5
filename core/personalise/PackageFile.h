#pragma once

#include "core/personalise/ChunkedBytes.h"

#include <QString>

#include <optional>

namespace quorvane {

// A name that stays inside the program folder: not empty, no separator,
// no "." or "..", no control character.
bool IsPlainFileName(const QString& name);

// A CRC-32 field written after the rest: at offset `at`, over every byte from
// offset `from` (after the field) to the end.
struct CrcField {
    qint64 at = 0;
    qint64 from = 0;
};

struct WriteOutcome {
    enum Status { Written, OutputFailed, SourceFailed } status = OutputFailed;
    QString sourcePath; // the source that could not be read in full
};

// Writes the bytes to a temporary file beside path and renames it over path,
// so that a failed write leaves any older file as it was. A source file
// that no longer holds the bytes it had when it was opened fails the write.
WriteOutcome WritePackageFile(const QString& path, const ChunkedBytes& bytes,
                              std::optional<CrcField> crc = std::nullopt);

} // namespace quorvane
