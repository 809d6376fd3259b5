#include "core/tftp/FolderFileStore.h"

#include "core/log/Housekeeping.h"
#include "core/tftp/RequestName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quorvane::tftp {

namespace {

class DiskFile final : public ServedFile {
public:
    explicit DiskFile(const QString& path) : m_file(path) {}
    bool open() {
        // Unbuffered: one read per block, and a rewind needs no buffer refill.
        return m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && !m_file.isSequential();
    }
    qint64 size() const { return m_file.size(); }
    qint64 readAt(qint64 offset, char* out, qint64 count) override {
        if (m_file.pos() != offset && !m_file.seek(offset))
            return 0;
        const qint64 n = m_file.read(out, count);
        return n < 0 ? 0 : n;
    }

private:
    QFile m_file;
};

} // namespace

FolderFileStore::FolderFileStore(QString folder) : m_folder(std::move(folder)) {}

QString FolderFileStore::resolve(const QString& name) const {
    const QDir dir(m_folder);
    const QFileInfo exact(dir.filePath(name));
    if (exact.isFile() && exact.fileName() == name)
        return exact.filePath();
    const QStringList entries =
        dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries) {
        if (EqualIgnoringAsciiCase(entry, name))
            return dir.filePath(entry);
    }
    return {};
}

OpenResult FolderFileStore::open(const QString& name) {
    const QString path = resolve(name);
    // Only regular files: opening a pipe or device could block the station.
    if (path.isEmpty() || !QFileInfo(path).isFile() || IsRecordFile(QFileInfo(path).fileName()))
        return {nullptr, OpenFailure::CannotOpen};
    auto file = std::make_unique<DiskFile>(path);
    if (!file->open())
        return {nullptr, OpenFailure::CannotOpen};
    if (file->size() < 0)
        return {nullptr, OpenFailure::NoSize};
    const qint64 size = file->size();
    return {std::move(file), OpenFailure::None, size};
}

} // namespace quorvane::tftp
