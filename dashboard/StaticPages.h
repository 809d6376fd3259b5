#pragma once

#include <QByteArray>
#include <QString>

namespace quorvane::dashboard {

// The resource a request path names: "/" the page, "/static/NAME" a file of
// dashboard/page/ (compiled in); empty for anything else. Only names made of
// plain segments reach the resources, never the file system.
QString PageResource(const QString& path);
QByteArray ContentType(const QString& resource);

} // namespace quorvane::dashboard
