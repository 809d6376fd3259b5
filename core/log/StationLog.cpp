#include "core/log/StationLog.h"

#include "core/log/LogFolder.h"
#include "core/log/LogText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutexLocker>

#include <cstdarg>

namespace quorvane {

namespace {

const QString kLogFolder = QStringLiteral("Log");
const QString kLogFileName = QStringLiteral("log.txt");

} // namespace

StationLog::StationLog(QString workDir, QObject* parent)
    : QObject(parent), m_workDir(std::move(workDir)) {}

QString StationLog::logFilePath() const {
    QMutexLocker lock(&m_mutex);
    const QString folder = ResolveLogFolder(m_workDir, kLogFolder);
    return folder.isEmpty() ? QString() : QDir(folder).filePath(kLogFileName);
}

void StationLog::WriteLog(const QString& text) {
    AppendLine(text);
}

void StationLog::WriteLogFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const QString text = FormatLogMessage(format, args);
    va_end(args);
    AppendLine(text);
}

void StationLog::WriteStartLine() {
    AppendLine(StartLineText(QDateTime::currentDateTime()));
}

void StationLog::WriteEndLine() {
    AppendLine(EndLineText(QDateTime::currentDateTime()));
}

void StationLog::AppendLine(const QString& text) {
    // One lock over file and mirror keeps every line whole and both outputs
    // in the same order.
    QMutexLocker lock(&m_mutex);
    const QString path = logFilePath();
    QFile file(path);
    const QByteArray record = LogRecordBytes(text);
    const bool stored = !path.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Append) &&
                        file.write(record) == record.size() && file.flush();
    file.close();
    if (stored) {
        m_failing = false;
    } else if (!m_failing) {
        m_failing = true;
        const QString where = path.isEmpty() ? QDir(m_workDir).filePath(kLogFolder) : path;
        qWarning("log line not stored: %s", qUtf8Printable(where));
        Q_EMIT writeFailed(where);
    }
    Q_EMIT lineLogged(text);
}

} // namespace quorvane
