#pragma once

#include <QString>

namespace quorvane {

// Deletes the generated files in folder (device packages, "MAC", leftovers)
// and keeps the station's own: programs and libraries (by extension or by
// the executable bit), images, configurations, archives, names starting with
// "getflash", and "sysfile" unless mayDeleteSysfile. Only regular files are
// deleted: folders, symbolic links, pipes and devices stay. Returns 1 when
// the folder could be listed, else 0.
int ClearGeneratedFiles(const QString& folder, bool mayDeleteSysfile);

// The name rules alone, for one directory entry's name.
bool IsProtectedName(const QString& name, bool mayDeleteSysfile);

// The production record and its line settings: never cleared, never served
// to a router (the record holds every board's MACs, the settings may hold a
// password).
bool IsRecordFile(const QString& name);

} // namespace quorvane
