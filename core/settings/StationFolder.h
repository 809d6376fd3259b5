#pragma once

#include <QString>

namespace quorvane {

// The folder that holds "sysfile", the packages, the files routers ask for
// and the logs. The station writes and clears it, so it must be one the user
// can write and never a folder of the system's programs or libraries.
struct StationFolder {
    QString path;  // absolute, with a trailing '/'; empty when none could be had
    QString error; // for the operator when path is empty
};

// The application name must be set first: it names the user's own folder.
// requested (--folder) when given; else the executable's folder when it is
// the station's own (a build or an unpacked copy); else the user's
// application data folder, created at first start.
StationFolder ChooseStationFolder(const QString& requested, const QString& executableDir);

// An existing folder the user can write that is not a system folder.
bool IsOwnStationFolder(const QString& folder);

// A station file a tool beside the station reads: the working folder's when
// it is there, else the one in the folder the station chooses without
// --folder (looked at, never made).
QString StationFileToRead(const QString& fileName, const QString& executableDir);

// Where the platform keeps programs and libraries (/usr, /bin, ... on Unix).
bool IsSystemFolder(const QString& folder);

} // namespace quorvane
