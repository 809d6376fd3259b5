#pragma once

#include "core/record/BoardRecord.h"
#include "core/tftp/TransferHooks.h"
#include "core/workflow/BoardPhase.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace quorvane {

class DeviceRows;
class OperatorInterface;
struct StationState;

// A board on a device row: one attempt, from its router's first request to
// its end. Its row timers are its own.
struct Board {
    record::AttemptId id;
    tftp::Peer router;
    int row = -1;
    QString label;
    BoardPhase phase = BoardPhase::Claimed;
    QList<int> timers;
};

// The boards the station knows, one per device row, and the one in hand.
// Every step of a board goes through advance(): the row's texts, progress and
// phase, its timers, its sound and its record, from one table (StepOf). The
// service's two flags, g_processing and g_nexttime, are written here only.
class BoardLedger {
public:
    // Requests a router re-sent while the operator scanned queue up and
    // arrive right after MACSET; no other board boots on the same address
    // and port that soon.
    static constexpr std::uint32_t RepeatWindowMs = 2000;
    // A board in hand that has not been heard of for this long is gone.
    static constexpr std::uint32_t LapseMs = 10000;

    BoardLedger(StationState& state, DeviceRows& rows, record::BoardRecord& record,
                OperatorInterface& op);

    // A new attempt on the row; the row's last board, if still open, is let go.
    Board& claim(int row, const tftp::Peer& router);
    // Applies the event's step to the board and tells the record.
    void advance(Board& board, BoardEvent event);
    // The same for a row no board holds (a timer's second round after DONE).
    void advanceRow(int row, BoardEvent event);
    // Every open board is told (the service stops, the station closes).
    void letGo(BoardEvent event);

    // Its label known: the Mac column shows it.
    void labelled(Board& board, const QString& label);
    // A row timer found its row at 100 and stopped.
    void timerRanOut(int row, int timerId);

    Board* onRow(int row);
    Board* find(const record::AttemptId& id);
    record::BoardRecord& record() { return m_record; }
    // The newest board of that router, if still open.
    Board* ofRouter(const tftp::Peer& router);

    // The two flags: a request taken in hand, or none.
    void takeRequest() { setFlags(1, -1); }
    void dropRequest() { setFlags(0, -1); }
    // The board is expected back for its files: its next request is served.
    void expectBack(const tftp::Peer& router, std::uint32_t now);
    // As expectBack, with the request no longer in hand (it fetches again).
    void expectRefetch(const tftp::Peer& router, std::uint32_t now);
    // Nobody in hand: the next request is a new board.
    void release();
    void resetFlags() { setFlags(0, 0); }

    // The hand-over watch.
    void macSetSent(const tftp::Peer& peer, const QString& requested, const QString& label,
                    std::uint32_t now);
    // The same router asking again for what MACSET already answered.
    bool isRepeatOfMacSet(const tftp::ReadRequest& request, std::uint32_t now);
    void heardFrom(const tftp::Peer& peer, std::uint32_t now);
    // Whether a request from `peer` that could not be served means the board
    // in hand is not coming back: it was that board, or it fell silent.
    bool inHandIsGone(const tftp::Peer& peer, std::uint32_t now) const;
    // Forgets the hand-over watch (the service stops or starts).
    void forgetWatch();

private:
    struct MacSet {
        tftp::Peer peer;
        QString requested;
        QString label;
        std::uint32_t at = 0;
    };
    struct InHand {
        tftp::Peer peer;
        std::uint32_t lastHeard = 0;
    };
    void setFlags(int processing, int nexttime); // -1: unchanged
    void killTimers(Board& board);

    StationState& m_state;
    DeviceRows& m_rows;
    record::BoardRecord& m_record;
    OperatorInterface& m_op;
    std::map<int, Board> m_boards; // by row; a board's address holds while it is there
    std::vector<MacSet> m_macSets; // only those younger than RepeatWindowMs
    std::optional<InHand> m_inHand;
};

} // namespace quorvane
