#pragma once

#include <QByteArrayView>
#include <QString>

namespace quorvane::router {

// What a received file is checked as: the name decides, as on a router.
// "mac" (any case) is a MAC package, 12 hex digits a device package; other
// files are taken as they are. Returns "ok", "none", or what is wrong.
QString CheckReceivedFile(const QString& servedName, QByteArrayView bytes);

bool IsCheckPassed(const QString& verdict);

} // namespace quorvane::router
