#pragma once

#include "core/record/BoardRecord.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>

namespace quorvane {

class OperatorInterface;
class ServerHold;
class StationLog;

// The MAC guard: a label that names one board (scanned, or asked for by a
// router by name) goes to a board again only on the operator's word. A no
// holds for the rest of the run.
class ReburnGuard {
public:
    // What the answer goes on with: true, burn it again.
    using Then = std::function<void(bool burnAgain)>;

    ReburnGuard(StationLog& log, OperatorInterface& op, record::BoardRecord& record,
                ServerHold& hold)
        : m_log(log), m_op(op), m_record(record), m_hold(hold) {}

    // True when the label may be burned now. Otherwise the operator is asked
    // (holding the server while asked, when holdServer) and `then` goes on.
    bool clears(const QString& label, const record::AttemptId& attempt, bool holdServer, Then then);
    void answered(std::uint64_t id, bool burnAgain);
    // The next check of the label passes once: a yes to a scan is scanned again.
    void confirmOnce(const QString& label) { m_confirmed.insert(label.toUpper()); }
    bool isRefused(const QString& label) const { return m_refused.count(label.toUpper()) > 0; }
    bool isAsking() const { return m_asking.has_value(); }
    // The service stops: the question goes unanswered, the answers are forgotten.
    void drop();

private:
    struct Asking {
        std::uint64_t id = 0;
        QString label;
        record::AttemptId attempt;
        bool holdsServer = false;
        Then then;
    };
    StationLog& m_log;
    OperatorInterface& m_op;
    record::BoardRecord& m_record;
    ServerHold& m_hold;
    std::optional<Asking> m_asking;
    std::set<QString> m_confirmed; // once each, for the router asking again
    std::set<QString> m_refused;   // for the rest of the run
};

} // namespace quorvane
