#include "core/log/RunFile.h"

#include "core/log/GbkText.h"
#include "core/log/LogFolder.h"
#include "core/log/LogText.h"

#include <QDir>
#include <QSaveFile>

namespace quorvane {

bool WriteRunFile(const QString& programDir, const QStringList& runListRows, QDateTime now) {
    const QString name = RunFileName(now);
    if (name.isEmpty())
        return false;
    const QString folder = ResolveLogFolder(programDir, QStringLiteral("log"));
    if (folder.isEmpty())
        return false;

    QByteArray contents;
    for (const QString& row : runListRows)
        contents += ToGbk(row) + "\r\n";

    QSaveFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(contents);
    return file.commit();
}

} // namespace quorvane
