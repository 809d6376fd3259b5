#pragma once

#include "core/record/BoardAttempt.h"

#include <QDateTime>
#include <QHash>
#include <QString>

namespace quorvane::record {

// The name, size and CRC-32 of the source files burned. A root image is read
// once per version of the file, not once per board.
class SourceFacts {
public:
    // Nothing (an empty name) for an empty path or a file that cannot be read.
    SourceUse of(const QString& path);

private:
    struct Known {
        qint64 size = 0;
        QDateTime modified;
        SourceUse use;
    };
    QHash<QString, Known> m_known;
};

} // namespace quorvane::record
