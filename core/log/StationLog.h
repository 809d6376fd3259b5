#pragma once

#include <QMutex>
#include <QObject>
#include <QString>

namespace quorvane {

// The station's one log channel: every event line goes to "Log/log.txt" under
// the working directory (GBK bytes, CR LF) and to whoever listens on
// lineLogged (the log window, the headless terminal). Safe from any thread.
class StationLog : public QObject {
    Q_OBJECT
public:
    // workDir is what the relative "Log/log.txt" is resolved against; the
    // station passes the process's working directory, tests a temporary one.
    explicit StationLog(QString workDir, QObject* parent = nullptr);

    void WriteLog(const QString& text);
    // printf-style; the format and every %s argument are UTF-8. The GBK form
    // of the result is cut to 511 bytes on a character boundary.
    void WriteLogFormat(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(2, 3);

    // "开始时间:..." / "结速时间:..." with the current local time.
    void WriteStartLine();
    void WriteEndLine();

    // The file the next line goes to; resolving it creates "Log" if needed.
    QString logFilePath() const;

Q_SIGNALS:
    // Emitted on the calling thread, after the line is on disk; listeners in
    // another thread connect queued.
    void lineLogged(const QString& text);
    // A line could not be stored at path (emitted once, and again only
    // after a line has been stored since).
    void writeFailed(const QString& path);

private:
    void AppendLine(const QString& text);

    QString m_workDir;
    // Recursive: a listener connected directly may log from its slot.
    mutable QRecursiveMutex m_mutex;
    bool m_failing = false;
};

} // namespace quorvane
