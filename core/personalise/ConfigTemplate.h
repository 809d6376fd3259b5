#pragma once

#include "core/personalise/MacAddress.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace quorvane {

// "AuthMode=OPEN" anywhere in the template (case-sensitive): the board gets
// no wireless key.
bool ConfiguresOpenNetwork(QByteArrayView templateText);

// The device package's 16,384-byte configuration block: the template's
// key=value lines personalised for the triple, NUL-separated, behind their
// CRC-32. Nothing when the entries do not fit in 16,380 bytes.
std::optional<QByteArray> BuildConfigBlock(QByteArrayView templateText, const MacTriple& triple,
                                           bool wpaKeyMode);

// The MAC package's template: the value of the first line that begins with
// "WPAPSK1=" replaced by keyText. Nothing when there is no such line.
std::optional<QByteArray> InsertWpaKey(QByteArrayView templateText, QByteArrayView keyText);

} // namespace quorvane
