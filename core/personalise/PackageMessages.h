#pragma once

#include <QString>

namespace quorvane {

// Operator texts of the package builders.
QString MissingBootLoaderMessage(const QString& path);  // device package
QString MissingFileMessage(const QString& path);        // "%s不存在"
QString BootLoaderTooLargeMessage(const QString& path); // device package
QString ConfigTooLargeMessage(const QString& path);
QString SourceTooLargeMessage(const QString& path);
QString ReadFailedMessage(const QString& path);
QString PackageTooLargeMessage();
QString NoWpaLineMessage();             // "WPAPSK1 error 1"
QString MacBootLoaderTooLargeMessage(); // "lpBuf error"
QString MacFileFailedMessage();         // "Mac文件创建失败"

} // namespace quorvane
