#pragma once

#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/RowTimerService.h"
#include "core/workflow/ServerHandle.h"
#include "core/workflow/Station.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <map>

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

// The record in memory: each attempt as the station told it. Its guard
// answers from what it was told and from the boards written before the test.
struct FakeRecord final : record::BoardRecord {
    struct Attempt {
        QString label, baseMac, reburn;
        record::Outcome outcome = record::Outcome::InProgress;
        int refetches = 0;
    };
    std::map<QString, Attempt> attempts;
    QStringList claimed; // attempt ids, oldest first
    QList<record::BoardAttempt> past;

    Attempt& at(const QString& id) {
        if (!attempts.count(id))
            QTest::qFail(qPrintable("no such attempt: " + id), __FILE__, __LINE__);
        return attempts[id];
    }
    // The newest attempt, or the one n before it.
    Attempt& last(int n = 0) { return at(claimed.value(claimed.size() - 1 - n)); }
    void setNotice(Notice) override {}
    void Claimed(const QString& id, const QString&, int) override {
        claimed << id;
        attempts[id];
    }
    void Scanned(const QString& id, const QString& label) override { at(id).label = label; }
    void ReburnAnswered(const QString& id, bool yes) override {
        at(id).reburn = yes ? "confirmed" : "refused";
    }
    void Built(const QString& id, const record::BurnFacts& facts) override {
        if (id.isEmpty())
            return; // a burn with no router
        at(id).label = facts.label.toUpper();
        if (facts.macWritten)
            at(id).baseMac = LabelText(facts.triple.base);
    }
    void Transferred(const QString& id, bool again) override { at(id).refetches += again; }
    void SetOutcome(const QString& id, record::Outcome outcome) override {
        at(id).outcome = outcome;
    }
    record::LabelCheck Check(const QString& label) override {
        record::LabelCheck check;
        for (const record::BoardAttempt& board : past)
            if (board.label == label)
                check.written = board;
        for (const auto& [id, a] : attempts) {
            if (a.label == label && (a.outcome == record::Outcome::WrittenDone ||
                                     a.outcome == record::Outcome::WrittenTimer)) {
                check.written.emplace();
                check.written->id = id;
            }
        }
        return check;
    }
};

// The transfer server as the station sees it.
struct FakeLink final : ServerHandle {
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
    FakeRecord record;
    FakeLink* link = nullptr;
    std::uint32_t clock = 1000;
    std::unique_ptr<Station> station;
    std::unique_ptr<QAbstractItemModelTester> rowsTester;

    StationRig() {
        QDir(dir.path()).mkpath(QStringLiteral("Log"));
        station = std::make_unique<Station>(
            log, path({}), 0, op, record, &timers, [this] { return clock; },
            std::unique_ptr<FakeLink>(link = new FakeLink));
        // Every test's rows are a well-behaved model throughout.
        rowsTester = std::make_unique<QAbstractItemModelTester>(
            &station->rows(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    tftp::TransferHooks& hooks() { return station->transfers(); }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    StationState& s() { return station->state(); }
    DeviceRows& rows() { return station->rows(); }

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
        hooks().OnRequest(request(QStringLiteral("boot"), crc));
        station->OnMacAnswer(op.asks.last(), label);
    }
};

} // namespace quorvane::testing
