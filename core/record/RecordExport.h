#pragma once

#include "core/record/RecordStore.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

class QIODevice;

namespace quorvane::record {

enum class ExportFormat {
    // RFC 4180: a header row, fields quoted when they hold a comma, a quote
    // or a line break, lines ending in CR LF; times ISO 8601 with the local
    // offset, empty when not yet.
    Csv,
    // One JSON object per line (no header), keys as the CSV header names
    // them, in its order; a time not yet is null.
    Json,
};

// Takes each chunk of the export as it is made (up to about 64 KiB); false
// stops the export (a client gone).
using ExportSink = std::function<bool(QByteArrayView chunk)>;

// Writes the boards `filter` selects (oldest first unless filter.limit),
// every column of the boards table but the revision, streaming: rows are
// written as they are read, never the whole export in memory. False with
// *error on a read error or when the sink stops; what was written stays
// written.
bool ExportBoards(RecordStore& store, const RowFilter& filter, ExportFormat format,
                  const ExportSink& sink, QString* error = nullptr);
// The same into a device open for writing (a file, stdout, a socket).
bool ExportBoards(RecordStore& store, const RowFilter& filter, ExportFormat format, QIODevice& out,
                  QString* error = nullptr);

} // namespace quorvane::record
