#pragma once

// A station with its real transfer server on a loopback port, a scripted
// operator, and quorvane-router processes as its routers: the rig of the
// end-to-end, reliability and line-wide tests.

#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageSources.h"
#include "core/record/ProductionRecord.h"
#include "core/record/RecordStore.h"
#include "core/workflow/Station.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <functional>

namespace quorvane::testing {

inline QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& c : bytes)
        c = static_cast<char>(random.generate() & 0xFF);
    return bytes;
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A label text the scan dialog accepts: vendor prefix, a serial, role digit 8.
inline QString LabelText(int serial) {
    return QStringLiteral("5E3A71%1").arg(serial & 0xFFFFF, 5, 16, QLatin1Char('0')).toUpper() +
           QLatin1Char('8');
}

// A UDP port that was free a moment ago, for a station that binds it again
// after every stop.
inline std::uint16_t FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

inline QString ToolPath(const QString& name) {
    const QString dir = qEnvironmentVariable("QUORVANE_BIN_DIR");
    return QDir(dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir).filePath(name);
}

// Runs the event loop until done() holds. QTest's waits sleep between their
// passes, which would cost every datagram the station answers 10 ms.
template <typename Predicate>
bool RunUntil(Predicate done, int timeoutMs) {
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    tick.start();
    loop.exec();
    return done();
}

// The operator as a script. Each scan takes the next answer (a label, or
// nothing for cancel); with none left the dialog stays open (answer it with
// Station::OnMacAnswer), or is cancelled with cancelWhenOut. Each re-burn
// question takes the next answer; a question nobody scripted fails the test.
struct ScriptedOperator final : OperatorInterface {
    Station* station = nullptr;
    std::deque<std::optional<QString>> answers;
    bool cancelWhenOut = false;
    std::function<void()> afterAnswer;
    std::deque<bool> reburnAnswers;

    QList<std::uint64_t> asks;
    QList<std::uint64_t> cancelled;
    QStringList reburnQuestions;
    QStringList messages;
    QList<int> sounds;

    void AskForMac(std::uint64_t id) override {
        asks << id;
        if (answers.empty() && !cancelWhenOut)
            return;
        QTimer::singleShot(1, station, [this, id] {
            std::optional<QString> label;
            if (!answers.empty()) {
                label = answers.front();
                answers.pop_front();
            }
            station->OnMacAnswer(id, label);
            if (afterAnswer)
                afterAnswer();
        });
    }
    void CancelMacRequest(std::uint64_t id) override { cancelled << id; }
    void AskReburn(std::uint64_t id, const QString& text) override {
        reburnQuestions << text;
        if (reburnAnswers.empty()) {
            QTest::qFail(qPrintable("unscripted re-burn question: " + text), __FILE__, __LINE__);
            return;
        }
        const bool yes = reburnAnswers.front();
        reburnAnswers.pop_front();
        QTimer::singleShot(1, station, [this, id, yes] { station->OnReburnAnswer(id, yes); });
    }
    void CancelReburn(std::uint64_t) override {}
    void ShowMessage(std::uint64_t id, const QString& text) override {
        messages << text;
        QTimer::singleShot(0, station, [this, id] { station->OnMessageAcknowledged(id); });
    }
    void ShowNotice(const QString& text) override { messages << text; }
    void PlaySound(int id) override { sounds << id; }
    void SetTitle(const QString&) override {}
    void SetControlState(const ControlState&) override {}
    void SetSerialText(const QString&) override {}
    void SetScanText(const QString&) override {}
};

// What a quorvane-router process reported in its JSON line, and the file it
// received.
struct RouterResult {
    int exitCode = -1;
    QJsonObject json;
    QByteArray received;
    QByteArray errors;
    bool ok() const { return exitCode == 0 && json.value(QStringLiteral("ok")).toBool(); }
    QString describe() const {
        return QStringLiteral("exit %1 %2 %3")
            .arg(exitCode)
            .arg(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)),
                 QString::fromUtf8(errors.right(400)));
    }
};

// A program started with posix_spawn, its output into files. Not QProcess:
// ThreadSanitizer takes Qt's way of starting a child for a fork of this
// threaded process and checks nothing after it.
class Program {
public:
    explicit Program(const QStringList& command) {
        QByteArrayList bytes;
        QList<char*> argv;
        for (const QString& arg : command)
            argv.push_back(bytes.emplace_back(QFile::encodeName(arg)).data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, QFile::encodeName(out()).constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, QFile::encodeName(err()).constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (running()) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &m_status, 0);
        }
    }
    bool running() {
        if (m_pid == 0 || m_ended)
            return false;
        m_ended = ::waitpid(m_pid, &m_status, WNOHANG) == m_pid;
        return !m_ended;
    }
    // Runs this thread's event loop until the program ends; its exit code,
    // -1 when it did not end normally in time.
    int wait(int timeoutMs = 120000) {
        if (!RunUntil([this] { return !running(); }, timeoutMs)) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &m_status, 0);
            m_ended = true;
            return -1;
        }
        return exitCode();
    }
    int exitCode() const {
        return m_pid != 0 && m_ended && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }
    QByteArray output() const { return ReadBytes(out()); }
    QByteArray errors() const { return ReadBytes(err()); }

private:
    QString out() const { return m_files.filePath(QStringLiteral("out")); }
    QString err() const { return m_files.filePath(QStringLiteral("err")); }
    QTemporaryDir m_files;
    pid_t m_pid = 0;
    int m_status = 0;
    bool m_ended = false;
};

// Routers as processes of their own, each on its own port.
class RouterFleet {
public:
    void launch(const QStringList& arguments, const QString& out = {}) {
        QStringList command{ToolPath(QStringLiteral("quorvane-router")), "--quiet"};
        command += arguments;
        if (!out.isEmpty())
            command << "--out" << out;
        m_routers.push_back({std::make_unique<Program>(command), out});
    }
    bool allFinished() {
        return std::ranges::none_of(m_routers, [](Router& r) { return r.program->running(); });
    }
    std::vector<RouterResult> results() const {
        std::vector<RouterResult> out;
        for (const auto& r : m_routers) {
            RouterResult result;
            result.exitCode = r.program->exitCode();
            const QByteArray lines = r.program->output().trimmed();
            result.json = QJsonDocument::fromJson(lines.mid(lines.lastIndexOf('\n') + 1)).object();
            result.errors = r.program->errors();
            if (!r.out.isEmpty())
                result.received = ReadBytes(r.out);
            out.push_back(result);
        }
        return out;
    }

private:
    struct Router {
        std::unique_ptr<Program> program;
        QString out;
    };
    std::vector<Router> m_routers;
};

// The station in a temporary folder (or programDir), its sources and its log
// in a folder of their own, bound to a loopback port of its own (or port).
class LiveStation {
    // First in, last out: the station logs until it is gone.
    QTemporaryDir m_work;
    QTemporaryDir m_program;
    QString m_programDir;
    std::unique_ptr<StationLog> m_log;

public:
    explicit LiveStation(const QString& programDir = {}, std::uint16_t port = 0,
                         qsizetype rootSize = 64 * 1024)
        : m_programDir((programDir.isEmpty() ? m_program.path() : programDir) + QLatin1Char('/')) {
        m_log = std::make_unique<StationLog>(m_work.path());
        sources.bootLoaderPath = m_work.filePath(QStringLiteral("uboot.bin"));
        sources.configPath = m_work.filePath(QStringLiteral("default.cfg"));
        sources.rootPath = m_work.filePath(QStringLiteral("root.bin"));
        WriteBytes(sources.bootLoaderPath, RandomBytes(16 * 1024, 1));
        WriteBytes(sources.rootPath, RandomBytes(rootSize, 2));
        WriteBytes(sources.configPath, "Default\nSSID1=Line\nAuthMode=WPA2PSK\nWPAPSK1=\n"
                                       "WAN_MAC_ADDR=00:00:00:00:00:00\n");
        TickClock clock = [this, tick = SystemTickClock()] { return tick() + clockSkew; };
        production = std::make_unique<record::ProductionRecord>(m_programDir);
        station = std::make_unique<Station>(*m_log, m_programDir, port, op, *production, nullptr,
                                            std::move(clock));
        op.station = station.get();
        station->state().m_strUbootPath = sources.bootLoaderPath;
        station->state().m_strRootPath = sources.rootPath;
        station->state().m_strCfgPath = sources.configPath;
    }
    ~LiveStation() {
        if (station) // not when a test closed it as the window does
            stop();
    }

    // The selection bits of the pieces to burn; the serial 00012.
    bool start(std::uint8_t flags) {
        return station
            ->StartService({bool(flags & kSelectMac), bool(flags & kSelectBootLoader),
                            bool(flags & kSelectConfig), bool(flags & kSelectRoot), "00012"})
            .started;
    }
    void stop() { station->StopService(station->ControlsFromState()); }
    std::uint16_t port() const { return station->serverPort(); }

    QString programDir() const { return m_programDir; }
    QString path(const QString& name) const { return m_programDir + name; }
    std::int32_t bootLoaderCrc() const {
        return static_cast<std::int32_t>(BootLoaderChecksum(sources.bootLoaderPath).value_or(0));
    }
    QStringList logLines() const {
        return FromGbk(ReadBytes(m_log->logFilePath()))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    // One router against this station, the event loop turning meanwhile.
    RouterResult runRouter(const QStringList& arguments, int timeoutMs = 60000) {
        RouterFleet fleet;
        fleet.launch(QStringList{"--port", QString::number(port())} + arguments,
                     m_out.filePath(QStringLiteral("board.bin")));
        RunUntil([&] { return fleet.allFinished(); }, timeoutMs);
        return fleet.results().front();
    }

    // What production.db holds, read through a connection of its own.
    QList<record::BoardAttempt> storedRows() const {
        production->flush();
        const auto store =
            record::RecordStore::Open(path(QStringLiteral("production.db")), nullptr);
        return store ? store->list({}) : QList<record::BoardAttempt>{};
    }
    // Each row's outcome, "+N" for N fetches again, "/confirmed" or "/refused"
    // for a re-burn question.
    QStringList storedOutcomes() const {
        QStringList outcomes;
        for (const record::BoardAttempt& row : storedRows())
            outcomes << record::OutcomeText(row.outcome) +
                            (row.refetches ? QStringLiteral("+%1").arg(row.refetches) : QString()) +
                            (row.reburn.isEmpty() ? QString() : '/' + row.reburn);
        return outcomes;
    }

    PackageSources sources;
    ScriptedOperator op;
    std::unique_ptr<record::ProductionRecord> production; // outlives the station
    std::unique_ptr<Station> station;
    std::uint32_t clockSkew = 0; // moves the station's clock ahead of the real one

private:
    QTemporaryDir m_out;
};

} // namespace quorvane::testing
