#pragma once

#include <QString>

namespace quorvane::record {

// "record.ini" in the station folder names the line-wide database:
//   line=postgresql://user@host/database
inline constexpr char kLineSettingsFile[] = "record.ini";

// The line's URL: the command line's wins over the station folder's
// settings file; empty: the station has no line.
QString LineRecordUrl(const QString& commandLine, const QString& stationFolder);
// Empty when url names a PostgreSQL database, else what is wrong with it,
// never quoting the text.
QString LineUrlProblem(const QString& url);
// The URL as the operator may see it: every password as ***.
QString LineUrlForDisplay(const QString& url);
// The message of a bad --record URL; empty when it is good.
QString LineUrlOptionProblem(const QString& url);

} // namespace quorvane::record
