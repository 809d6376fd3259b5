#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace quorvane {

// What the window mirrors of the station's controls. The station sends the
// whole set whenever any part of it changes.
struct ControlState {
    bool serviceChecked = false;            // button 1031 pressed in
    QString serviceCaption = "启动";        // "启动" / "停止"
    bool optionsEnabled = true;             // 1000-1010 and 1016
    bool burnChecked = false;               // toggle button 1016
    bool continuousChecked = false;         // toggle button 1017
    QString continuousCaption = "连续烧录"; // "连续烧录" / "停止"
    bool scanEnabled = true;                // scan field 1012
    bool scanVisible = true;
    bool scanLabelVisible = true; // label 1025 "扫描："
    friend bool operator==(const ControlState&, const ControlState&) = default;
};

// The controls' values copied into the station at the start of the commands
// that exchange data first (Start/Stop, continuous burn).
struct ControlValues {
    bool updateMac = false;
    bool updateUboot = false;
    bool restoreCfg = false;
    bool updateRoot = false;
    QString serialText; // serial field 1004
};

// The station's side of the operator: dialogs, sounds and control mirroring.
// Implemented by the window, the headless station and the tests' fakes.
// Answers go to Station::OnMacAnswer / Station::OnMessageAcknowledged, later
// or (a blocking dialog) before the call returns; the station takes both.
class OperatorInterface {
public:
    virtual ~OperatorInterface() = default;

    // A new device needs its label: show the scan dialog. The answer (a label
    // text accepted by CheckScanText, or nothing for cancel) goes to
    // Station::OnMacAnswer(id, ...). The server reads nothing meanwhile.
    virtual void AskForMac(std::uint64_t id) = 0;
    // The service stopped while asking: close the dialog, answer nothing.
    virtual void CancelMacRequest(std::uint64_t id) = 0;

    // A label about to be burned was written before (the text says when and
    // where): Yes burns it again, No leaves the board unburned. The answer
    // goes to Station::OnReburnAnswer(id, yes).
    virtual void AskReburn(std::uint64_t id, const QString& text) = 0;
    // The service stopped while asking: close the question, answer nothing.
    virtual void CancelReburn(std::uint64_t id) = 0;

    // A message box with an OK button. Its acknowledgement goes to
    // Station::OnMessageAcknowledged(id); when the message was raised while
    // serving a router, the server waits for it.
    virtual void ShowMessage(std::uint64_t id, const QString& text) = 0;

    // What the production record has to say (it cannot be written, the
    // line-wide database went away): told, never waited for, and never in the
    // way of Stop or the next board.
    virtual void ShowNotice(const QString& text) = 0;

    // 135: a board has received its files; 136: a board may be removed.
    virtual void PlaySound(int id) = 0;
    virtual void SetTitle(const QString& title) = 0;
    virtual void SetControlState(const ControlState& state) = 0;
    virtual void SetSerialText(const QString& text) = 0; // field 1004
    virtual void SetScanText(const QString& text) = 0;   // field 1012
};

} // namespace quorvane
