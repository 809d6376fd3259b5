#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

namespace quorvane::tftp {

// A file held open for a transfer. Reads are positional so that a rewind is
// just a smaller offset.
class ServedFile {
public:
    virtual ~ServedFile() = default;
    // Up to `count` bytes at `offset` into `out`; 0 at the end or on a read error.
    virtual qint64 readAt(qint64 offset, char* out, qint64 count) = 0;
};

enum class OpenFailure {
    None,
    CannotOpen, // "文件打开失败!"
    NoSize,     // "文件为空!"
};

struct OpenResult {
    std::unique_ptr<ServedFile> file;
    OpenFailure failure = OpenFailure::None;
    qint64 size = -1; // bytes, when known (a negotiated transfer tells it)
};

// Where served files come from: the program folder, or memory for the fuzzer.
class FileStore {
public:
    virtual ~FileStore() = default;
    // `name` is already known to be a plain file name.
    virtual OpenResult open(const QString& name) = 0;
};

} // namespace quorvane::tftp
