#pragma once

// A whole station on loopback: real transfer server, a program folder with
// source images and "sysfile", and an operator who scans from a list and
// acknowledges every message at once.

#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageSources.h"
#include "core/settings/SettingsRecord.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/Station.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <cstdint>
#include <memory>
#include <optional>

namespace quorvane::reliability {

inline QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& c : bytes)
        c = static_cast<char>(random.generate() & 0xFF);
    return bytes;
}

// Runs the event loop until done() holds. Unlike QTest::qWaitFor, which sleeps
// between its passes, this lets the station answer every datagram at once.
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

// A UDP port that was free a moment ago, so that a station can bind the same
// port again after every stop.
inline std::uint16_t FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

struct ScriptedOperator final : OperatorInterface {
    Station* station = nullptr;
    QStringList labels; // scanned in turn; cancel when none is left
    int asked = 0;
    QStringList messages;
    bool holdAnswers = false; // keep the scans until releaseAnswers()
    QList<std::uint64_t> held;

    void AskForMac(std::uint64_t id) override {
        ++asked;
        if (holdAnswers) {
            held << id;
            return;
        }
        QTimer::singleShot(0, station, [this, id] { station->OnMacAnswer(id, nextLabel()); });
    }
    void releaseAnswers() {
        holdAnswers = false;
        while (!held.isEmpty())
            station->OnMacAnswer(held.takeFirst(), nextLabel());
    }
    std::optional<QString> nextLabel() {
        if (labels.isEmpty())
            return std::nullopt;
        return labels.takeFirst();
    }
    void CancelMacRequest(std::uint64_t) override {}
    // A rework line: every re-burn is confirmed.
    int reburnsAsked = 0;
    void AskReburn(std::uint64_t id, const QString&) override {
        ++reburnsAsked;
        QTimer::singleShot(0, station, [this, id] { station->OnReburnAnswer(id, true); });
    }
    void CancelReburn(std::uint64_t) override {}
    void ShowMessage(std::uint64_t id, const QString& text) override {
        messages << text;
        QTimer::singleShot(0, station, [this, id] { station->OnMessageAcknowledged(id); });
    }
    void PlaySound(int) override {}
    void SetTitle(const QString&) override {}
    void SetControlState(const ControlState&) override {}
    void SetSerialText(const QString&) override {}
    void SetScanText(const QString&) override {}
};

struct Images {
    qsizetype bootLoader = 16 * 1024;
    qsizetype root = 64 * 1024;
};

class StationRig {
    // First in, last out: the station logs until it is gone.
    QTemporaryDir m_work;
    QTemporaryDir m_program;
    QString m_programDir;
    std::unique_ptr<StationLog> m_log;

public:
    // programDir empty: a temporary folder. Sources and the log always live
    // in their own temporary folder.
    explicit StationRig(std::uint8_t flags, Images images = {}, QString programDir = {},
                        std::uint16_t port = 0)
        : m_programDir(programDir.isEmpty() ? m_program.path() : programDir) {
        QDir(m_work.path()).mkpath(QStringLiteral("Log"));
        m_log = std::make_unique<StationLog>(m_work.path());
        sources.bootLoaderPath = m_work.filePath(QStringLiteral("uboot.bin"));
        sources.configPath = m_work.filePath(QStringLiteral("default.cfg"));
        sources.rootPath = m_work.filePath(QStringLiteral("root.bin"));
        WriteBytes(sources.bootLoaderPath, RandomBytes(images.bootLoader, 1));
        WriteBytes(sources.rootPath, RandomBytes(images.root, 2));
        WriteBytes(sources.configPath, "Default\nSSID1=Line\nAuthMode=WPA2PSK\nWPAPSK1=\n"
                                       "WAN_MAC_ADDR=00:00:00:00:00:00\n");

        SettingsRecord record;
        record.setFlags(flags);
        record.setTriple(MakeTriple(ParseMacText(LabelText(0x12345)), 5));
        record.setBootLoaderPath(sources.bootLoaderPath);
        record.setConfigPath(sources.configPath);
        record.setRootPath(sources.rootPath);
        record.setWpaByte('1');
        record.Write(path(QStringLiteral("sysfile")));

        op.station = nullptr;
        station = std::make_unique<Station>(*m_log, programFolder(), port, op);
        op.station = station.get();
        station->Initialise();
    }

    QString programFolder() const { return m_programDir + QLatin1Char('/'); }
    QString path(const QString& name) const { return programFolder() + name; }
    QString logText() const { return FromGbk(ReadBytes(m_log->logFilePath())); }
    std::int32_t bootLoaderCrc() const {
        return static_cast<std::int32_t>(BootLoaderChecksum(sources.bootLoaderPath).value_or(0));
    }
    bool start() { return station->StartService(station->ControlsFromState()).started; }
    void stop() { station->StopService(station->ControlsFromState()); }
    std::uint16_t port() const { return station->serverPort(); }

    PackageSources sources;
    ScriptedOperator op;
    std::unique_ptr<Station> station;
};

} // namespace quorvane::reliability
