#pragma once

#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/RowTimerService.h"
#include "core/workflow/ServiceLink.h"
#include "core/workflow/Station.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace quorvane::testing {

const QString kLabel = QStringLiteral("5e3a711234b8");
// The label serial 12345 gives with model 5.
const QString kSerialLabel = QStringLiteral("5E3A71123458");

struct FakeOperator final : OperatorInterface {
    QList<std::uint64_t> asks;
    QList<std::pair<std::uint64_t, QString>> messages, reburns;
    QList<int> sounds;
    QStringList serialTexts;
    void AskForMac(std::uint64_t id) override { asks << id; }
    void CancelMacRequest(std::uint64_t) override {}
    void AskReburn(std::uint64_t id, const QString& text) override { reburns.append({id, text}); }
    void CancelReburn(std::uint64_t) override {}
    void ShowMessage(std::uint64_t id, const QString& t) override { messages.append({id, t}); }
    void ShowNotice(const QString& t) override { messages.append({0, t}); }
    void PlaySound(int id) override { sounds << id; }
    void SetTitle(const QString&) override {}
    void SetControlState(const ControlState&) override {}
    void SetSerialText(const QString& text) override { serialTexts << text; }
    void SetScanText(const QString&) override {}
};

struct FakeTimers final : RowTimerService {
    QMap<int, int> active; // id -> period
    void SetTimer(int id, int periodMs) override { active[id] = periodMs; }
    void KillTimer(int id) override { active.remove(id); }
    void fire(int id, int times = 1) { // as a real timer: only while it runs
        for (int i = 0; i < times && active.contains(id); ++i)
            tick(id);
    }
};

// The transfer server as the station sees it.
struct FakeLink final : ServiceLink {
    bool running = false;
    int pauseDepth = 0;
    QList<std::pair<tftp::Peer, QByteArray>> sent;
    void setHooks(tftp::TransferHooks*) override {}
    bool start(std::uint16_t, bool) override { return running = true; }
    void stop() override { running = false, pauseDepth = 0; }
    void pause() override { ++pauseDepth; }
    void resume() override { --pauseDepth; }
    void send(const tftp::Peer& p, const QByteArray& d) override { sent.append({p, d}); }
    bool isRunning() const override { return running; }
    std::uint16_t port() const override { return 6969; }
};

// A station in a temporary program folder with fake operator, timers, clock
// and server.
struct StationRig {
    QTemporaryDir dir;
    StationLog log{dir.path()};
    FakeOperator op;
    FakeTimers timers;
    FakeLink* link = nullptr;
    std::uint32_t clock = 1000;
    std::unique_ptr<Station> station;

    // recordFails: "production.db" is a folder, so no row can be written.
    explicit StationRig(bool recordFails = false) {
        QDir(dir.path()).mkpath(QStringLiteral("Log"));
        if (recordFails)
            QDir(dir.path()).mkpath(record::ProductionRecord::FileName());
        station = std::make_unique<Station>(
            log, path({}), 0, op, &timers, [this] { return clock; },
            std::unique_ptr<FakeLink>(link = new FakeLink));
    }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    StationState& s() { return station->state(); }
    DeviceRows& rows() { return station->rows(); }
    record::BoardAttempt attempt(int row) { return *station->record().attemptOnRow(row); }

    QStringList logLines() const {
        QStringList lines = FromGbk(readFile(QStringLiteral("Log/log.txt"))).split("\r\n");
        lines.removeLast(); // after the last line end
        return lines;
    }
    QByteArray readFile(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    tftp::ReadRequest request(const QString& name, std::int32_t crc, std::uint16_t port = 4000) {
        return tftp::ReadRequest{tftp::Peer{QHostAddress::LocalHost, port}, name, crc};
    }
    // The service running with serial 12345, writing MACs or a root image.
    void start(bool updateMac = true) {
        ControlValues c;
        c.updateMac = updateMac;
        c.updateRoot = !updateMac;
        c.serialText = QStringLiteral("12345");
        writeFile(QStringLiteral("root.img"), QByteArray(3000, 'r'));
        s().m_strRootPath = path(QStringLiteral("root.img"));
        QVERIFY(station->StartService(c).started);
    }
    // A board asks as new (CRC 9) and the operator scans `label` (none: cancel).
    void handOver(const std::optional<QString>& label = kLabel, std::int32_t crc = 9) {
        station->OnRequest(request(QStringLiteral("boot"), crc));
        station->OnMacAnswer(op.asks.last(), label);
    }
};

} // namespace quorvane::testing
