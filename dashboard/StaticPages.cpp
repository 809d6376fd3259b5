#include "dashboard/StaticPages.h"

#include <QRegularExpression>

namespace quorvane::dashboard {

QString PageResource(const QString& path) {
    static const QString kRoot = QStringLiteral(":/dashboard/page/");
    if (path == u"/")
        return kRoot + QStringLiteral("index.html");
    // Segments of letters, digits, '-', '_' and inner dots: no "..", no empty one.
    static const QRegularExpression name(
        QStringLiteral("^/static/([A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)*/)*[A-Za-z0-9_-]+"
                       "(\\.[A-Za-z0-9_-]+)*$"));
    if (!name.match(path).hasMatch())
        return {};
    return kRoot + path.mid(8);
}

QByteArray ContentType(const QString& resource) {
    static const std::pair<const char*, const char*> kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".woff2", "font/woff2"},
        {".txt", "text/plain; charset=utf-8"},
    };
    for (const auto& [suffix, type] : kTypes) {
        if (resource.endsWith(QLatin1String(suffix)))
            return type;
    }
    return "application/octet-stream";
}

} // namespace quorvane::dashboard
