#pragma once

#include "core/personalise/ChunkedBytes.h"

#include <QString>

namespace quorvane {

// A name that stays inside the program folder: not empty, no separator,
// no "." or "..", no control character.
bool IsPlainFileName(const QString& name);

// Writes the bytes to a temporary file beside path and renames it over path,
// so that a failed write leaves any older file as it was.
bool WritePackageFile(const QString& path, const ChunkedBytes& bytes);

} // namespace quorvane
