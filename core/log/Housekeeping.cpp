#include "core/log/Housekeeping.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>

namespace quorvane {

namespace {

bool HasProtectedExtension(const QString& name) {
    static const std::array<QString, 7> kKept{QStringLiteral(".exe"),  QStringLiteral(".dll"),
                                              QStringLiteral(".bin"),  QStringLiteral(".cfg"),
                                              QStringLiteral(".rar"),  QStringLiteral(".so"),
                                              QStringLiteral(".dylib")};
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString extension = name.mid(dot);
    for (const QString& kept : kKept) {
        if (extension.compare(kept, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// libQt6Core.so.6 is as much a library as libfoo.so.
bool IsVersionedSharedLibrary(const QString& name) {
    static const QRegularExpression kSoname(QStringLiteral("\\.so(\\.[0-9]+)+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return kSoname.match(name).hasMatch();
}

void MakeOwnerWritable(const QString& path, QFileDevice::Permissions permissions) {
    if (!(permissions & QFileDevice::WriteOwner))
        QFile::setPermissions(path, permissions | QFileDevice::WriteOwner);
}

} // namespace

bool IsRecordFile(const QString& name) {
    static const std::array<QString, 5> kRecordFiles{
        QStringLiteral("production.db"), QStringLiteral("production.db-wal"),
        QStringLiteral("production.db-shm"), QStringLiteral("production.db-journal"),
        QStringLiteral("record.ini")};
    for (const QString& file : kRecordFiles) {
        if (name.compare(file, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool IsProtectedName(const QString& name, bool mayDeleteSysfile) {
    if (name == QLatin1String(".") || name == QLatin1String("..") || IsRecordFile(name))
        return true;
    if (!mayDeleteSysfile && name.compare(QLatin1String("sysfile"), Qt::CaseInsensitive) == 0)
        return true;
    if (name.startsWith(QLatin1String("getflash"), Qt::CaseSensitive))
        return true;
    return HasProtectedExtension(name) || IsVersionedSharedLibrary(name);
}

int ClearGeneratedFiles(const QString& folder, bool mayDeleteSysfile) {
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir() || !folderInfo.isReadable())
        return 0;
    QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);

    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (IsProtectedName(name, mayDeleteSysfile))
            continue;
        const QString path = dir.filePath(name);
        // The station generates plain files only: a link may be someone's
        // program (a link in a folder of programs), a pipe or device is never ours.
        if (entry.isSymLink())
            continue;
        if (entry.isDir()) {
            MakeOwnerWritable(path, entry.permissions());
            continue;
        }
        if (!entry.isFile())
            continue;
        // The station's own programs carry no ".exe" here.
        if (entry.permissions() &
            (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther))
            continue;
        MakeOwnerWritable(path, entry.permissions());
        QFile::remove(path);
    }
    return 1;
}

} // namespace quorvane
