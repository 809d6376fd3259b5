#include "core/workflow/BoardLedger.h"

#include "core/workflow/DeviceRows.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/StationState.h"

#include <QUuid>

#include <algorithm>

namespace quorvane {

BoardLedger::BoardLedger(StationState& state, DeviceRows& rows, record::BoardRecord& record,
                         OperatorInterface& op)
    : m_state(state), m_rows(rows), m_record(record), m_op(op) {}

void BoardLedger::setFlags(int processing, int nexttime) {
    if (processing >= 0)
        m_state.g_processing = processing;
    if (nexttime >= 0)
        m_state.g_nexttime = nexttime;
}

void BoardLedger::expectBack(const tftp::Peer& router, std::uint32_t now) {
    setFlags(-1, 1);
    m_inHand = InHand{router, now};
}

void BoardLedger::expectRefetch(const tftp::Peer& router, std::uint32_t now) {
    setFlags(0, 1);
    m_inHand = InHand{router, now};
}

void BoardLedger::release() {
    setFlags(0, 0);
    m_inHand.reset();
}

Board& BoardLedger::claim(int row, const tftp::Peer& router) {
    if (Board* last = onRow(row)) {
        advance(*last, BoardEvent::RowReused);
        // Left running, the last board's timers would finish the next one.
        killTimers(*last);
    }
    Board board;
    board.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    board.router = router;
    board.row = row;
    Board& claimed = m_boards.insert_or_assign(row, board).first->second;
    m_record.Claimed(claimed.id, router.address.toString(), router.port);
    advance(claimed, BoardEvent::Claim);
    return claimed;
}

void BoardLedger::advance(Board& board, BoardEvent event) {
    const BoardStep step = StepOf(board.phase, event);
    const int row = board.row;
    if (!step.mac.isNull())
        m_rows.setText(row, DeviceRows::MacColumn, step.mac);
    if (!step.status.isNull())
        m_rows.setText(row, DeviceRows::StatusColumn, step.status);
    if (step.progress)
        m_rows.setProgress(row, *step.progress);
    if (event == BoardEvent::Done) {
        m_rows.timers().KillTimer(row);
        board.timers.removeAll(row);
    }
    if (step.timerPeriodMs > 0) {
        const int id = step.packageTimer ? row + kPackageTimerOffset : row;
        if (!board.timers.contains(id))
            board.timers << id;
        m_rows.timers().SetTimer(id, step.timerPeriodMs);
    }
    board.phase = step.next;
    m_rows.setPhase(row, step.next);
    const bool out = event == BoardEvent::PackageServed || event == BoardEvent::Mismatch ||
                     event == BoardEvent::FilesOut || event == BoardEvent::FilesOutAcked;
    if (out)
        m_record.Transferred(board.id, event == BoardEvent::Mismatch);
    if (step.outcome)
        m_record.SetOutcome(board.id, *step.outcome);
    if (step.next == BoardPhase::Ended)
        killTimers(board);
    if (step.sound)
        m_op.PlaySound(step.sound);
}

void BoardLedger::advanceRow(int row, BoardEvent event) {
    if (Board* board = onRow(row)) {
        advance(*board, event);
        return;
    }
    // No board ever held the row: only what the list shows.
    Board none;
    none.row = row;
    none.phase = m_rows.phase(row);
    const BoardStep step = StepOf(none.phase, event);
    if (!step.status.isNull())
        m_rows.setText(row, DeviceRows::StatusColumn, step.status);
    if (step.progress)
        m_rows.setProgress(row, *step.progress);
    if (step.sound)
        m_op.PlaySound(step.sound);
}

void BoardLedger::letGo(BoardEvent event) {
    for (auto& [row, board] : m_boards) {
        if (!IsOver(board.phase))
            advance(board, event);
    }
}

Board* BoardLedger::onRow(int row) {
    const auto it = m_boards.find(row);
    return it == m_boards.end() ? nullptr : &it->second;
}

Board* BoardLedger::ofRouter(const tftp::Peer& router) {
    Board* newest = nullptr;
    for (auto& [row, board] : m_boards) {
        if (board.router == router && !IsOver(board.phase) && (!newest || board.row > newest->row))
            newest = &board;
    }
    return newest;
}

Board* BoardLedger::find(const record::AttemptId& id) {
    for (auto& [row, board] : m_boards) {
        if (board.id == id)
            return &board;
    }
    return nullptr;
}

void BoardLedger::labelled(Board& board, const QString& label) {
    board.label = label;
    m_rows.setText(board.row, DeviceRows::MacColumn, label);
    advance(board, BoardEvent::Label);
}

void BoardLedger::timerRanOut(int row, int timerId) {
    for (auto& [at, board] : m_boards) {
        if (board.timers.removeAll(timerId) > 0) {
            advance(board, BoardEvent::TimerRanOut);
            return;
        }
    }
    advanceRow(row, BoardEvent::TimerRanOut);
}

void BoardLedger::killTimers(Board& board) {
    for (const int id : std::as_const(board.timers))
        m_rows.timers().KillTimer(id);
    board.timers.clear();
}

void BoardLedger::macSetSent(const tftp::Peer& peer, const QString& requested, const QString& label,
                             std::uint32_t now) {
    std::erase_if(m_macSets, [&](const MacSet& m) { return m.peer == peer; });
    m_macSets.push_back(MacSet{peer, requested, label, now});
}

bool BoardLedger::isRepeatOfMacSet(const tftp::ReadRequest& request, std::uint32_t now) {
    std::erase_if(m_macSets, [now](const MacSet& m) { return now - m.at >= RepeatWindowMs; });
    return std::any_of(m_macSets.begin(), m_macSets.end(), [&](const MacSet& m) {
        // Asking for the label itself is the router going on, not a repeat.
        return m.peer == request.peer && m.requested == request.name &&
               request.name.compare(m.label, Qt::CaseInsensitive) != 0;
    });
}

void BoardLedger::heardFrom(const tftp::Peer& peer, std::uint32_t now) {
    if (m_inHand && m_inHand->peer == peer)
        m_inHand->lastHeard = now;
}

bool BoardLedger::inHandIsGone(const tftp::Peer& peer, std::uint32_t now) const {
    return !m_inHand || m_inHand->peer == peer || now - m_inHand->lastHeard >= LapseMs;
}

void BoardLedger::forgetWatch() {
    m_macSets.clear();
    m_inHand.reset();
}

} // namespace quorvane
