#include "core/personalise/PackageMessages.h"

namespace quorvane {

QString MissingBootLoaderMessage(const QString& path) {
    return QStringLiteral("Uboot文件(%1)不存在").arg(path);
}

QString MissingFileMessage(const QString& path) {
    return QStringLiteral("%1不存在").arg(path);
}

QString BootLoaderTooLargeMessage(const QString& path) {
    return QStringLiteral("Uboot文件(%1)超过131072字节").arg(path);
}

QString ConfigTooLargeMessage(const QString& path) {
    return QStringLiteral("%1配置内容超过16380字节").arg(path);
}

QString SourceTooLargeMessage(const QString& path) {
    return QStringLiteral("%1超过52428800字节").arg(path);
}

QString ReadFailedMessage(const QString& path) {
    return QStringLiteral("%1读取失败").arg(path);
}

QString PackageTooLargeMessage() {
    return QStringLiteral("升级包超过52428800字节");
}

QString NoWpaLineMessage() {
    return QStringLiteral("WPAPSK1 error 1");
}

QString MacBootLoaderTooLargeMessage() {
    return QStringLiteral("lpBuf error");
}

QString MacFileFailedMessage() {
    return QStringLiteral("Mac文件创建失败");
}

} // namespace quorvane
