#pragma once

#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/record/RecordStore.h"
#include "core/workflow/Station.h"

#include <QByteArray>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace quorvane::e2e {

// The operator as a script: each ask takes the next answer (a label, or
// nothing for cancel); with no answer left the ask stays open.
struct ScriptedOperator final : OperatorInterface {
    Station* station = nullptr;
    std::deque<std::optional<QString>> answers;
    std::function<void()> afterAnswer;
    QList<std::uint64_t> asks;
    QList<std::uint64_t> cancelled;
    QStringList messages;
    QList<int> sounds;

    void AskForMac(std::uint64_t id) override {
        asks << id;
        if (answers.empty())
            return;
        const std::optional<QString> answer = answers.front();
        answers.pop_front();
        QTimer::singleShot(1, [this, id, answer] {
            station->OnMacAnswer(id, answer);
            if (afterAnswer)
                afterAnswer();
        });
    }
    void CancelMacRequest(std::uint64_t id) override { cancelled << id; }
    // Each re-burn question takes the next answer; yes when none is left.
    std::deque<bool> reburnAnswers;
    QStringList reburnQuestions;
    void AskReburn(std::uint64_t id, const QString& text) override {
        reburnQuestions << text;
        bool yes = true;
        if (!reburnAnswers.empty()) {
            yes = reburnAnswers.front();
            reburnAnswers.pop_front();
        }
        QTimer::singleShot(1, [this, id, yes] { station->OnReburnAnswer(id, yes); });
    }
    void CancelReburn(std::uint64_t) override {}
    void ShowMessage(std::uint64_t id, const QString& text) override {
        messages << text;
        QTimer::singleShot(0, [this, id] { station->OnMessageAcknowledged(id); });
    }
    void PlaySound(int id) override { sounds << id; }
    void SetTitle(const QString&) override {}
    void SetControlState(const ControlState&) override {}
    void SetSerialText(const QString&) override {}
    void SetScanText(const QString&) override {}
};

struct RouterResult {
    int exitCode = -1;
    QJsonObject json;
    QByteArray received;
    bool ok() const { return exitCode == 0 && json.value(QStringLiteral("ok")).toBool(); }
};

// A station with the real transfer server on a loopback port of its own, in a
// temporary program folder holding a boot loader, a root image and a template.
struct E2eRig {
    QTemporaryDir dir;
    QTemporaryDir outDir; // what the routers received
    std::unique_ptr<StationLog> log;
    ScriptedOperator op;
    std::unique_ptr<Station> station;
    std::uint32_t clockSkew = 0; // moves the station's clock ahead of the real one

    E2eRig() {
        QDir(dir.path()).mkpath(QStringLiteral("Log"));
        log = std::make_unique<StationLog>(dir.path());
        TickClock clock = [this, tick = SystemTickClock()] { return tick() + clockSkew; };
        station = std::make_unique<Station>(*log, programDir(), 0, op, nullptr, std::move(clock));
        op.station = station.get();
        QByteArray boot(70000, '\0');
        for (int i = 0; i < boot.size(); ++i)
            boot[i] = char((i * 131) >> 3);
        writeFile(QStringLiteral("uboot.bin"), boot);
        writeFile(QStringLiteral("root.bin"), QByteArray(200000, 'R'));
        writeFile(QStringLiteral("factory.cfg"),
                  "SSID1=Line\nWPAPSK1=\nWAN_MAC_ADDR=00:00:00:00:00:00\n");
        StationState& s = station->state();
        s.m_strUbootPath = path(QStringLiteral("uboot.bin"));
        s.m_strRootPath = path(QStringLiteral("root.bin"));
        s.m_strCfgPath = path(QStringLiteral("factory.cfg"));
    }
    ~E2eRig() { station->StopService(station->ControlsFromState()); }

    QString programDir() const { return dir.path() + QLatin1Char('/'); }
    QString path(const QString& name) const { return programDir() + name; }
    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    QByteArray readFile(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // What production.db holds, read through a connection of its own.
    QList<record::BoardAttempt> storedRows() const {
        station->record().flush();
        const auto store =
            record::RecordStore::Open(path(QStringLiteral("production.db")), nullptr);
        return store ? store->list({}) : QList<record::BoardAttempt>{};
    }
    QStringList storedOutcomes() const {
        QStringList outcomes;
        for (const record::BoardAttempt& row : storedRows())
            outcomes << record::OutcomeText(row.outcome);
        return outcomes;
    }
    QStringList logLines() const {
        QStringList lines =
            FromGbk(readFile(QStringLiteral("Log/log.txt"))).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    bool start(bool mac, bool uboot, bool cfg, bool root) {
        ControlValues c;
        c.updateMac = mac;
        c.updateUboot = uboot;
        c.restoreCfg = cfg;
        c.updateRoot = root;
        c.serialText = QStringLiteral("00012");
        return station->StartService(c).started;
    }

    static QString tool(const QString& name) {
        const QString dirPath = qEnvironmentVariable("QUORVANE_BIN_DIR");
        return QDir(dirPath.isEmpty() ? QStringLiteral(".") : dirPath).filePath(name);
    }

    // Runs the router stand-in against the station; the event loop keeps
    // turning meanwhile, so the station answers it.
    std::unique_ptr<QProcess> launchRouter(const QStringList& extra, const QString& outName) {
        auto process = std::make_unique<QProcess>();
        QStringList args{QStringLiteral("--port"), QString::number(station->serverPort()),
                         QStringLiteral("--out"), outDir.filePath(outName),
                         QStringLiteral("--quiet")};
        args += extra;
        process->start(tool(QStringLiteral("quorvane-router")), args);
        process->waitForStarted();
        return process;
    }
    // Turns the event loop at full speed until the router ends (QTest's
    // waits sleep between turns, which would cost every block 10 ms).
    static bool waitForExit(QProcess& process, int timeoutMs = 60000) {
        if (process.state() == QProcess::NotRunning)
            return true;
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        if (process.state() == QProcess::NotRunning)
            return true;
        process.kill();
        process.waitForFinished();
        return false;
    }
    RouterResult finish(QProcess& process, const QString& outName) const {
        RouterResult result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        const QByteArray out = process.readAllStandardOutput().trimmed();
        const QByteArray lastLine = out.mid(out.lastIndexOf('\n') + 1);
        result.json = QJsonDocument::fromJson(lastLine).object();
        QFile file(outDir.filePath(outName));
        if (file.open(QIODevice::ReadOnly))
            result.received = file.readAll();
        return result;
    }
};

} // namespace quorvane::e2e
