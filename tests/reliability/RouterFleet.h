#pragma once

// Router stand-ins as separate processes, each on its own port, and what each
// one reported in its JSON result line.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

#include <memory>
#include <vector>

namespace quorvane::reliability {

inline QString ToolPath(const QString& name) {
    const QString dir = QProcessEnvironment::systemEnvironment().value(
        QStringLiteral("QUORVANE_BIN_DIR"), QCoreApplication::applicationDirPath());
    return dir + QLatin1Char('/') + name;
}

struct RouterResult {
    int exitCode = -1;
    QJsonObject json;
    QByteArray errors;
    bool ok() const { return exitCode == 0 && json.value(QStringLiteral("ok")).toBool(); }
    QString servedLast() const {
        const auto served = json.value(QStringLiteral("served")).toVariant().toStringList();
        return served.isEmpty() ? QString() : served.last();
    }
    QString sha256() const { return json.value(QStringLiteral("sha256")).toString(); }
    QString check() const { return json.value(QStringLiteral("check")).toString(); }
    QString describe() const {
        return QStringLiteral("exit %1 %2 %3")
            .arg(exitCode)
            .arg(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)),
                 QString::fromUtf8(errors.right(400)));
    }
};

class RouterFleet {
public:
    void launch(const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->start(ToolPath(QStringLiteral("quorvane-router")),
                       arguments + QStringList{"--quiet"});
        m_processes.push_back(std::move(process));
    }

    bool allFinished() const {
        for (const auto& p : m_processes)
            if (p->state() != QProcess::NotRunning)
                return false;
        return true;
    }

    int size() const { return static_cast<int>(m_processes.size()); }

    std::vector<RouterResult> results() const {
        std::vector<RouterResult> out;
        for (const auto& p : m_processes) {
            RouterResult r;
            r.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
            const QByteArray lines = p->readAllStandardOutput().trimmed();
            r.json = QJsonDocument::fromJson(lines.split('\n').last()).object();
            r.errors = p->readAllStandardError();
            out.push_back(r);
        }
        return out;
    }

    ~RouterFleet() {
        for (const auto& p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace quorvane::reliability
