#pragma once

#include "core/record/BoardAttempt.h"

#include <QString>

#include <optional>

namespace quorvane {

// Where the board on a device row stands.
enum class BoardPhase {
    Waiting,    // "请连接新设备...": no board on the row yet
    Claimed,    // "************": a board asked, nothing known of it
    Asking,     // the operator is asked for its label
    Labelled,   // its label is known and its package built: it fetches next
    Refetching, // its files went out, its boot loader differs: it fetches again
    Served,     // a package request went out whole: it writes, or asks again
    Writing,    // its files went out and match: it writes its flash
    Written,    // "设备写入完成，可以移除"
    Ended,      // the attempt ended unwritten: cancelled, refused, released, stopped
};

// What happens to a board.
enum class BoardEvent {
    Claim,         // its first request
    AskLabel,      // the scan dialog opens for it
    Label,         // its label known (scanned, or the name it asked for)
    ScanCancelled, // the operator cancelled the scan
    ReburnRefused, // its label was written before and the operator said no
    PackageOut,    // the MAC package went out whole
    PackageServed, // a request without a CRC was served whole
    Mismatch,      // files out, its boot loader CRC differs: it fetches again
    FilesOut,      // files out, the CRC matches (or is not compared), last block read-answered
    FilesOutAcked, // the same, the last block answered an acknowledgement
    Done,          // the router reported its flash written
    TimerRanOut,   // a row timer found the row at 100
    Released,      // the hand-over watch gave up on it
    Stopped,       // the service stopped
    ShutDown,      // the station closes
    RowReused,     // the next board claimed its row
};

// A row's second timer, the MAC package's, has this added to the row index.
inline constexpr int kPackageTimerOffset = 60000;

// One step of a board's life: what the row and the record show afterwards.
// Nothing in a field (a null text): that part stays as it is. The texts are
// plain QStrings: GCC takes an optional one for uninitialised at -O1.
struct BoardStep {
    BoardPhase next = BoardPhase::Waiting;
    QString mac = {};                           // the Mac column's fixed text; null: unchanged
    QString status = {};                        // the status column; null: unchanged
    std::optional<int> progress = std::nullopt; // of 100
    std::optional<record::Outcome> outcome = std::nullopt;
    int timerPeriodMs = 0; // a row timer to start: the row's own, or the MAC package's
    bool packageTimer = false;
    int sound = 0; // 135 files received, 136 may be removed
};

// The board's next step. An event that does not apply to the phase leaves
// everything as it is.
BoardStep StepOf(BoardPhase phase, BoardEvent event);

// Whether the board's files went out in this phase.
bool FilesWentOut(BoardPhase phase);
bool IsOver(BoardPhase phase);

} // namespace quorvane
