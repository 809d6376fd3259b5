#pragma once

#include "core/record/BoardRecord.h"
#include "core/workflow/BoardLedger.h"
#include "core/workflow/Burner.h"
#include "core/workflow/ControlPanel.h"
#include "core/workflow/DeviceRows.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/ReburnGuard.h"
#include "core/workflow/RowTimerService.h"
#include "core/workflow/ServerHandle.h"
#include "core/workflow/ServerHold.h"
#include "core/workflow/StationState.h"
#include "core/workflow/TransferPolicy.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace quorvane {

class StationLog;

struct StartOutcome {
    bool started = false;
    QString message; // for the operator when not started
};

// The station behind the window or the terminal: its state, its commands,
// the service's start and stop, and the wiring of the parts that serve the
// boards (TransferPolicy, Burner, ReburnGuard, BoardLedger, DeviceRows).
// Everything runs on the thread that owns it.
class Station : public QObject {
    Q_OBJECT
public:
    // programDir ends with a separator. timers null: Qt timers; clock empty:
    // the system's tick count; link null: the real transfer server.
    Station(StationLog& log, QString programDir, std::uint16_t port, OperatorInterface& op,
            record::BoardRecord& record, RowTimerService* timers = nullptr, TickClock clock = {},
            std::unique_ptr<ServerHandle> link = nullptr, QObject* parent = nullptr);
    ~Station() override;

    StationState& state() { return m_state; }
    DeviceRows& rows() { return m_rows; }
    // What the transfer server calls, for the routers.
    TransferPolicy& transfers() { return m_policy; }

    // Options and paths from "sysfile" (logs "文件为空!\n" when it has no
    // size, "<path>读取失败" when it cannot be opened); the serial field shows
    // the serial text.
    void RestoreSettings();
    // RestoreSettings, then the start line: the window's initialisation.
    void Initialise();
    // The controls as the station's fields stand (for a station without a window).
    ControlValues ControlsFromState() const;

    // Button 1031 pressed in / released. Both exchange the controls first.
    StartOutcome StartService(const ControlValues& controls);
    void StopService(const ControlValues& controls);

    void SingleBurn();                                                // command 1016
    void ContinuousBurn(bool checked, const ControlValues& controls); // command 1017
    void OnScanEntered(const QString& scanText);                      // message 0x534
    void SetScanText(const QString& text) { m_state.m_strScan = text; }

    // Model menu: false for a code that is none of the eight.
    bool SelectModel(int code);
    void RefreshTitle();
    QString title() const { return m_title; }

    // Refused, with a message, in a folder that is not the station's own.
    void ClearGeneratedFiles();

    // The operator's answers.
    void OnMacAnswer(std::uint64_t askId, const std::optional<QString>& label);
    void OnMessageAcknowledged(std::uint64_t messageId) { m_hold.acknowledged(messageId); }
    void OnReburnAnswer(std::uint64_t id, bool burnAgain) { m_guard.answered(id, burnAgain); }

    // End line and run file (the window's destruction).
    void Shutdown();

    // Queries for the views.
    const ControlState& controlState() const { return m_controls.state(); }
    bool isAskingForMac() const { return m_policy.isAskingForMac(); }
    bool isAskingForReburn() const { return m_guard.isAsking(); }
    bool isServerListening() const { return m_link->isRunning(); }
    std::uint16_t serverPort() const { return m_link->port(); }

private:
    void exchangeFromControls(const ControlValues& controls);
    void dropOperatorWaits();

    StationLog& m_log;
    OperatorInterface& m_op;
    record::BoardRecord& m_record;
    std::uint16_t m_port;
    std::unique_ptr<RowTimerService> m_ownTimers;
    TickClock m_clock;
    std::unique_ptr<ServerHandle> m_link;
    StationState m_state;
    DeviceRows m_rows;
    ControlPanel m_controls;
    ServerHold m_hold;
    BoardLedger m_ledger;
    ReburnGuard m_guard;
    Burner m_burner;
    TransferPolicy m_policy;
    QString m_title;
    QString m_serialField;      // what the serial field 1004 shows
    bool m_everStarted = false; // m_dwThreadId != 0
};

} // namespace quorvane
