#pragma once

#include "core/record/ProductionRecord.h"
#include "core/tftp/TransferHooks.h"
#include "core/workflow/DeviceRows.h"
#include "core/workflow/HandOverWatch.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/RouterRows.h"
#include "core/workflow/RowTimerService.h"
#include "core/workflow/ServiceLink.h"
#include "core/workflow/StationState.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace quorvane {

class SettingsRecord;
class StationLog;

struct StartOutcome {
    bool started = false;
    QString message; // for the operator when not started
};

// The station behind the window or the terminal: state, service start/stop,
// the device policy at the transfer server's three points, device rows,
// burning, scan acceptance, models and title. Everything runs on the thread
// that owns it.
class Station : public QObject, public tftp::TransferHooks {
    Q_OBJECT
public:
    // programDir ends with a separator. timers null: Qt timers; clock empty:
    // the system's tick count; link null: the real transfer server.
    Station(StationLog& log, QString programDir, std::uint16_t port, OperatorInterface& op,
            RowTimerService* timers = nullptr, TickClock clock = {},
            std::unique_ptr<ServiceLink> link = nullptr, QObject* parent = nullptr);
    ~Station() override;

    StationState& state() { return m_state; }
    const StationState& state() const { return m_state; }
    DeviceRows& rows() { return m_rows; }
    const DeviceRows& rows() const { return m_rows; }
    OperatorInterface& operatorInterface() { return m_op; }
    // One row per board attempt in "production.db" in the station folder.
    record::ProductionRecord& record() { return *m_record; }

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
    void OnMessageAcknowledged(std::uint64_t messageId);
    void OnReburnAnswer(std::uint64_t id, bool burnAgain);

    // End line and run file (the window's destruction).
    void Shutdown();

    // Queries for the views.
    const ControlState& controlState() const { return m_controls; }
    bool isServiceChecked() const { return m_controls.serviceChecked; }
    bool optionsLocked() const { return !m_controls.optionsEnabled; }
    bool isAskingForMac() const { return m_ask.has_value(); }
    bool isAskingForReburn() const { return m_reburn.has_value(); }
    bool isServerListening() const;
    std::uint16_t serverPort() const;

    // The transfer server's points.
    tftp::RequestVerdict OnRequest(const tftp::ReadRequest& request) override;
    tftp::CompletionResult OnTransferComplete(const tftp::ReadRequest& request,
                                              tftp::CompletionVariant variant) override;
    void OnDone(const tftp::Peer& peer, const QString& macText) override;
    void OnServeFailed(const tftp::ReadRequest& request) override;
    void OnBlockSent(const tftp::Peer& peer) override;

private:
    struct PendingAsk {
        std::uint64_t id = 0;
        tftp::Peer peer;
        QString name; // what the router asked for
        int row = 0;
    };

    // A label about to be burned (scanned, or asked for by name) whose newest
    // row is a finished board waits for the operator's yes or no; what the
    // answer continues.
    struct PendingReburn {
        enum class Kind { ScanDialog, ScanField, RouterByName };
        Kind kind = Kind::ScanField;
        std::uint64_t id = 0;
        QString label;
        int row = -1;    // the device row, -1 for a burn without a router
        PendingAsk ask;  // ScanDialog
        tftp::Peer peer; // RouterByName
        QString name;    // RouterByName
    };

    void exchangeFromControls(const ControlValues& controls);
    bool validateBurn(bool continuous, SettingsRecord& record);
    // row: the device row of the board, -1 when no router is involved.
    void runSingleBurn(bool fromTransfer, int row);
    void buildMacPackage(bool fromTransfer, int row);
    void burnScannedLabel(const QString& label, const PendingAsk& ask);
    void burnRequestedName(const tftp::Peer& peer, const QString& name, int row);
    void finishMacAnswer(const std::optional<QString>& label, const PendingAsk& ask);
    // The MAC guard: true when the label may be burned now; otherwise the
    // operator is asked and OnReburnAnswer goes on from `pending`.
    bool guardLabel(const QString& label, PendingReburn pending);
    QString macPackageLabel() const;
    bool isRefused(const QString& label) const;
    void showMessage(const QString& text, bool fromTransfer);
    void holdServer();
    void releaseServer();
    void afterAcknowledgements(std::function<void()> next);
    void dropOperatorWaits();
    void setControls(const std::function<void(ControlState&)>& change);
    void claimRow(int row, const tftp::Peer& router);
    // A row timer belongs to the attempt on the row when it starts.
    void startRowTimer(int row, int timerId, int periodMs);
    std::uint32_t now() const { return m_clock(); }
    QString sysfilePath() const;
    void writeSettings(const SettingsRecord& record);

    StationLog& m_log;
    OperatorInterface& m_op;
    std::uint16_t m_port;
    std::unique_ptr<RowTimerService> m_ownTimers;
    TickClock m_clock;
    std::unique_ptr<ServiceLink> m_link;
    StationState m_state;
    DeviceRows m_rows;
    ControlState m_controls;
    QString m_title;
    QString m_serialField;      // what the serial field 1004 shows
    bool m_everStarted = false; // m_dwThreadId != 0

    std::unique_ptr<record::ProductionRecord> m_record;
    std::optional<PendingAsk> m_ask;
    std::optional<PendingReburn> m_reburn;
    std::set<QString> m_reburnConfirmed; // once each, for the router asking again
    std::set<QString> m_reburnRefused;   // for the rest of the run
    HandOverWatch m_handOver;
    RouterRows m_routerRows;
    QHash<int, QString> m_timerAttempts; // running row timer -> its attempt's id
    std::uint64_t m_nextId = 1;
    std::set<std::uint64_t> m_transferMessages; // unacknowledged, server paused for each
    std::vector<std::function<void()>> m_afterAcks;
    int m_heldPauses = 0;
};

} // namespace quorvane
