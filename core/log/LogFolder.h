#pragma once

#include <QString>

namespace quorvane {

// The folder called name under parent, as the station's log files expect it
// on a file system that tells letter case apart: the exact name when such a
// folder exists, else an existing folder differing only in case, else a new
// folder of the exact name. Returns the folder's path, or an empty string
// when none exists and none can be made.
QString ResolveLogFolder(const QString& parent, const QString& name);

} // namespace quorvane
