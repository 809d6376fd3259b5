#include "core/settings/StationFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace quorvane {

namespace {

QString WithSeparator(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

// The real folder behind links, so that /bin and /usr/bin are both seen.
QString Resolved(const QString& folder) {
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QStringList SystemFolders() {
#ifdef Q_OS_WIN
    QStringList folders;
    for (const char* variable :
         {"SystemRoot", "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            folders << QDir::fromNativeSeparators(value);
    }
    return folders;
#else
    return {QStringLiteral("/usr"),    QStringLiteral("/bin"),   QStringLiteral("/sbin"),
            QStringLiteral("/lib"),    QStringLiteral("/lib32"), QStringLiteral("/lib64"),
            QStringLiteral("/libx32"), QStringLiteral("/etc"),   QStringLiteral("/boot"),
            QStringLiteral("/dev"),    QStringLiteral("/proc"),  QStringLiteral("/sys"),
            QStringLiteral("/run")};
#endif
}

} // namespace

bool IsSystemFolder(const QString& folder) {
    const QString path = Resolved(folder);
    const Qt::CaseSensitivity cs =
#ifdef Q_OS_WIN
        Qt::CaseInsensitive;
#else
        Qt::CaseSensitive;
#endif
    if (path == QLatin1String("/"))
        return true;
    for (const QString& system : SystemFolders()) {
        if (path.compare(system, cs) == 0 || path.startsWith(WithSeparator(system), cs))
            return true;
    }
    return false;
}

QString StationFileToRead(const QString& fileName, const QString& executableDir) {
    const QString here = QDir::current().filePath(fileName);
    if (QFileInfo(here).isFile())
        return here;
    const QString folder = IsOwnStationFolder(executableDir)
                               ? executableDir
                               : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir(folder).filePath(fileName);
}

bool IsOwnStationFolder(const QString& folder) {
    const QFileInfo info(Resolved(folder));
    return info.isDir() && info.isWritable() && !IsSystemFolder(info.filePath());
}

StationFolder ChooseStationFolder(const QString& requested, const QString& executableDir) {
    if (!requested.isEmpty()) {
        const QString path = Resolved(requested);
        if (!QFileInfo(path).isDir())
            return {{}, QStringLiteral("%1: not a folder").arg(requested)};
        if (!IsOwnStationFolder(path))
            return {{},
                    QStringLiteral("%1: not a folder the station can write into "
                                   "(a system folder, or not writable by this user)")
                        .arg(requested)};
        return {WithSeparator(path), {}};
    }
    if (!executableDir.isEmpty() && IsOwnStationFolder(executableDir))
        return {WithSeparator(Resolved(executableDir)), {}};

    const QString own = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (own.isEmpty())
        return {{}, QStringLiteral("no folder of this user's own to keep the station in")};
    if (!QDir().mkpath(own) || !IsOwnStationFolder(own))
        return {{}, QStringLiteral("%1: cannot be created or written").arg(own)};
    return {WithSeparator(Resolved(own)), {}};
}

} // namespace quorvane
