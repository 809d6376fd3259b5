#include "tools/router/PackageCheck.h"

#include "core/personalise/PackageInspect.h"

#include <QRegularExpression>

namespace quorvane::router {

QString CheckReceivedFile(const QString& servedName, QByteArrayView bytes) {
    static const QRegularExpression label(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    PackageReport report;
    if (servedName.compare(u"mac", Qt::CaseInsensitive) == 0)
        report = InspectMacPackage(bytes);
    else if (label.match(servedName).hasMatch())
        report = InspectDevicePackage(bytes);
    else
        return QStringLiteral("none");
    return report.ok() ? QStringLiteral("ok") : report.problems.join(QStringLiteral("; "));
}

bool IsCheckPassed(const QString& verdict) {
    return verdict == u"ok" || verdict == u"none";
}

} // namespace quorvane::router
