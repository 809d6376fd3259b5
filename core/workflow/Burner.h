#pragma once

#include "core/record/BoardRecord.h"
#include "core/workflow/RowTimerService.h"

#include <QString>

#include <functional>

namespace quorvane {

class ControlPanel;
class OperatorInterface;
class ServerHold;
class StationLog;
struct StationState;

// Single and continuous burning: the selection checked, the header line,
// "sysfile", and the board's package (the device package named after its
// label, or the MAC package).
class Burner {
public:
    Burner(StationState& state, StationLog& log, record::BoardRecord& record, ServerHold& hold,
           ControlPanel& controls, TickClock clock, std::function<void()> refreshTitle)
        : m_state(state), m_log(log), m_record(record), m_hold(hold), m_controls(controls),
          m_clock(std::move(clock)), m_refreshTitle(std::move(refreshTitle)) {}

    // Command 1016. fromTransfer: a message it raises holds the server until
    // read. attempt: the board's, empty for a burn with no router.
    void SingleBurn(bool fromTransfer, const record::AttemptId& attempt);
    // Command 1017, the controls already exchanged into the state.
    void ContinuousBurn(bool checked);
    void BuildMacPackage(bool fromTransfer, const record::AttemptId& attempt);
    // The base MAC the MAC package carries, as a label text.
    QString macPackageLabel() const;

private:
    bool validate(bool continuous);
    void logHeader();

    StationState& m_state;
    StationLog& m_log;
    record::BoardRecord& m_record;
    ServerHold& m_hold;
    ControlPanel& m_controls;
    TickClock m_clock;
    std::function<void()> m_refreshTitle;
};

} // namespace quorvane
