#pragma once

#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/RowTimerService.h"
#include "core/workflow/ServiceLink.h"
#include "core/workflow/Station.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace quorvane::testing {

struct FakeOperator final : OperatorInterface {
    QList<std::uint64_t> asks;
    QList<std::uint64_t> cancelledAsks;
    QList<std::pair<std::uint64_t, QString>> messages;
    QList<int> sounds;
    QStringList titles;
    QStringList serialTexts;
    QStringList scanTexts;

    // A blocking dialog answers before the call returns.
    std::function<void(std::uint64_t)> answerAtOnce;
    std::function<void(std::uint64_t)> acknowledgeAtOnce;
    std::function<void(std::uint64_t)> answerReburnAtOnce;
    QList<std::pair<std::uint64_t, QString>> reburns;
    QList<std::uint64_t> cancelledReburns;

    void AskForMac(std::uint64_t id) override {
        asks << id;
        if (answerAtOnce)
            answerAtOnce(id);
    }
    void CancelMacRequest(std::uint64_t id) override { cancelledAsks << id; }
    void AskReburn(std::uint64_t id, const QString& text) override {
        reburns.append({id, text});
        if (answerReburnAtOnce)
            answerReburnAtOnce(id);
    }
    void CancelReburn(std::uint64_t id) override { cancelledReburns << id; }
    void ShowMessage(std::uint64_t id, const QString& text) override {
        messages.append({id, text});
        if (acknowledgeAtOnce)
            acknowledgeAtOnce(id);
    }
    void PlaySound(int id) override { sounds << id; }
    void SetTitle(const QString& title) override { titles << title; }
    void SetControlState(const ControlState&) override {}
    void SetSerialText(const QString& text) override { serialTexts << text; }
    void SetScanText(const QString& text) override { scanTexts << text; }
    QStringList messageTexts() const {
        QStringList out;
        for (const auto& m : messages)
            out << m.second;
        return out;
    }
};

struct FakeTimers final : RowTimerService {
    QMap<int, int> active; // id -> period
    QList<int> killed;
    void SetTimer(int id, int periodMs) override { active[id] = periodMs; }
    void KillTimer(int id) override {
        active.remove(id);
        killed << id;
    }
    void fire(int id, int times = 1) {
        for (int i = 0; i < times; ++i)
            tick(id);
    }
};

struct LinkRecord {
    bool bindSucceeds = true;
    bool running = false;
    int starts = 0;
    int stops = 0;
    int pauseDepth = 0;
    bool lastUpdateMac = false;
    QList<std::pair<tftp::Peer, QByteArray>> sent;
};

// The server as the station sees it; the test keeps the record.
struct FakeLink final : ServiceLink {
    explicit FakeLink(LinkRecord& r) : rec(r) {}
    LinkRecord& rec;
    void setHooks(tftp::TransferHooks*) override {}
    bool start(std::uint16_t, bool updateMac) override {
        ++rec.starts;
        rec.lastUpdateMac = updateMac;
        rec.running = rec.bindSucceeds;
        return rec.bindSucceeds;
    }
    void stop() override {
        ++rec.stops;
        rec.running = false;
        rec.pauseDepth = 0;
    }
    void pause() override { ++rec.pauseDepth; }
    void resume() override { --rec.pauseDepth; }
    void send(const tftp::Peer& peer, const QByteArray& datagram) override {
        rec.sent.append({peer, datagram});
    }
    bool isRunning() const override { return rec.running; }
    std::uint16_t port() const override { return rec.running ? 6969 : 0; }
};

// A station in a temporary program folder with fake operator, timers, clock
// and server.
struct StationRig {
    QTemporaryDir dir;
    StationLog log{dir.path()};
    FakeOperator op;
    FakeTimers timers;
    LinkRecord link;
    std::uint32_t clock = 1000;
    std::unique_ptr<Station> station;

    StationRig() {
        QDir(dir.path()).mkpath(QStringLiteral("Log"));
        station = std::make_unique<Station>(
            log, programDir(), 0, op, &timers, [this] { return clock; },
            std::make_unique<FakeLink>(link));
    }
    QString programDir() const { return dir.path() + QLatin1Char('/'); }
    QString path(const QString& name) const { return programDir() + name; }
    StationState& s() { return station->state(); }

    QStringList logLines() const {
        QFile file(dir.path() + QStringLiteral("/Log/log.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = FromGbk(file.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
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
        tftp::ReadRequest r;
        r.peer = tftp::Peer{QHostAddress::LocalHost, port};
        r.name = name;
        r.crc = crc;
        return r;
    }
};

} // namespace quorvane::testing
