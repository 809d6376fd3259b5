#pragma once

// Runs the TFTP clients of these tests as child processes while the server
// under test keeps serving on the test's own event loop.

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>

namespace quorvane::tftp::testing {

inline QString RouterProgram() {
    const QString dir = qEnvironmentVariable("QUORVANE_BIN_DIR",
                                             QCoreApplication::applicationDirPath() + "/../bin");
    return QDir(dir).filePath(QStringLiteral("quorvane-router"));
}

inline QByteArray FileSha256(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (file.open(QIODevice::ReadOnly))
        hash.addData(&file);
    return hash.result().toHex();
}

struct ClientRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.trimmed()).object(); }
};

class Client {
public:
    Client(const QString& program, const QStringList& arguments) {
        m_process.start(program, arguments);
    }
    ClientRun Wait(int timeoutMs = 120000) {
        QSignalSpy spy(&m_process, &QProcess::finished);
        if (m_process.state() != QProcess::NotRunning)
            spy.wait(timeoutMs);
        ClientRun run;
        run.finished = m_process.state() == QProcess::NotRunning &&
                       m_process.exitStatus() == QProcess::NormalExit;
        if (!run.finished)
            m_process.kill();
        run.exitCode = m_process.exitCode();
        run.out = m_process.readAllStandardOutput();
        run.err = m_process.readAllStandardError();
        return run;
    }

private:
    QProcess m_process;
};

} // namespace quorvane::tftp::testing
