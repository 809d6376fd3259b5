#include "core/log/LogFolder.h"

#include <QDir>
#include <QFileInfo>

namespace quorvane {

QString ResolveLogFolder(const QString& parent, const QString& name) {
    QDir dir(parent.isEmpty() ? QStringLiteral(".") : parent);
    if (QFileInfo(dir.filePath(name)).isDir())
        return dir.filePath(name);

    const QStringList folders =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& folder : folders) {
        if (folder.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(folder);
    }

    if (dir.mkdir(name))
        return dir.filePath(name);
    // Another writer may have made it in the meantime.
    if (QFileInfo(dir.filePath(name)).isDir())
        return dir.filePath(name);
    return {};
}

} // namespace quorvane
