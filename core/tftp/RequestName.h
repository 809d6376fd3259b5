#pragma once

#include "core/tftp/PacketCodec.h"

#include <QString>

namespace quorvane::tftp {

// The request's name as text, or an empty text when its bytes are not a valid
// file-system name.
QString DecodeRequestName(const NameBuffer& name);

// Only a plain file name directly in the program folder is ever served: no
// separators, no drive, no dot-only names, no control characters, not empty,
// at most 127 bytes.
bool IsPlainFileName(const QString& name);

// ASCII letters compared without case, every other character exactly: the
// routers ask for "mac" when the station stores "MAC".
bool EqualIgnoringAsciiCase(const QString& a, const QString& b);

} // namespace quorvane::tftp
