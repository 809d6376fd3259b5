#include "core/workflow/BoardPhase.h"

namespace quorvane {

namespace {

using P = BoardPhase;
using E = BoardEvent;
using record::Outcome;

const QString kClaimedText = QStringLiteral("************");
const QString kAskText = QStringLiteral("找到一个新设备，请扫描MAC码");
const QString kAgainText = QStringLiteral("等待再次传输....");
const QString kWritingText = QStringLiteral("下载完成,正在写入....");
const QString kWrittenText = QStringLiteral("设备写入完成，可以移除");

constexpr int kFirstBlockPeriodMs = 600;
constexpr int kAcknowledgementPeriodMs = 800;
constexpr int kMacPackagePeriodMs = 900;

bool Open(P phase) {
    return phase != P::Waiting && !IsOver(phase);
}

// How an attempt that is still open ends when the station lets go of it: a
// board whose files went out writes on (stop) or was delivered (close, or its
// row went to the next board); any other was stopped or released.
BoardStep LetGo(P phase, E event) {
    if (!Open(phase))
        return {.next = phase};
    const bool out = FilesWentOut(phase);
    switch (event) {
    case E::Stopped:
        // Refetching is not writing: its files are to come again.
        if (phase == P::Served || phase == P::Writing)
            return {.next = phase};
        return {.next = P::Ended, .outcome = Outcome::Stopped};
    case E::ShutDown:
        if (phase == P::Served || phase == P::Writing)
            return {.next = P::Ended, .outcome = Outcome::Delivered};
        return {.next = P::Ended, .outcome = Outcome::Stopped};
    default: // RowReused
        return {.next = P::Ended, .outcome = out ? Outcome::Delivered : Outcome::Released};
    }
}

} // namespace

bool FilesWentOut(BoardPhase phase) {
    return phase == P::Refetching || phase == P::Served || phase == P::Writing ||
           phase == P::Written;
}

bool IsOver(BoardPhase phase) {
    return phase == P::Written || phase == P::Ended;
}

// The step before the rule that an end is final.
static BoardStep StepIn(BoardPhase phase, BoardEvent event) {
    BoardStep step{.next = phase};
    switch (event) {
    case E::Claim:
        return {.next = P::Claimed, .mac = kClaimedText, .progress = 1};
    case E::AskLabel:
        return {.next = P::Asking, .status = kAskText};
    case E::Label:
        return {.next = P::Labelled};
    case E::ScanCancelled:
    case E::ReburnRefused:
    case E::Released:
        if (!Open(phase))
            return step;
        step.next = P::Ended;
        step.outcome = event == E::ScanCancelled   ? Outcome::ScanCancelled
                       : event == E::ReburnRefused ? Outcome::ReburnRefused
                                                   : Outcome::Released;
        return step;
    case E::PackageOut:
        step.progress = 50;
        step.timerPeriodMs = kMacPackagePeriodMs;
        step.packageTimer = true;
        step.sound = 135;
        return step;
    case E::PackageServed:
        return {.next = P::Served, .status = kAgainText, .outcome = Outcome::InProgress};
    case E::Mismatch:
        return {.next = P::Refetching, .status = kAgainText, .outcome = Outcome::FetchedAgain};
    case E::FilesOut:
    case E::FilesOutAcked: {
        const bool acked = event == E::FilesOutAcked;
        return {.next = P::Writing,
                .status = kWritingText,
                .progress = 50,
                .outcome = Outcome::InProgress,
                .timerPeriodMs = acked ? kAcknowledgementPeriodMs : kFirstBlockPeriodMs,
                .sound = acked ? 135 : 0};
    }
    case E::Done:
    case E::TimerRanOut: {
        // A board whose files never went out wrote nothing of ours.
        const Outcome written = !FilesWentOut(phase) ? Outcome::Released
                                : event == E::Done   ? Outcome::WrittenDone
                                                     : Outcome::WrittenTimer;
        return {.next = P::Written,
                .status = kWrittenText,
                .progress = 100,
                .outcome = written,
                .sound = 136};
    }
    case E::Stopped:
    case E::ShutDown:
    case E::RowReused:
        return LetGo(phase, event);
    }
    return step;
}

BoardStep StepOf(BoardPhase phase, BoardEvent event) {
    BoardStep step = StepIn(phase, event);
    // An attempt's end is its last word: the first finish counts.
    if (IsOver(phase))
        step.outcome.reset();
    return step;
}

} // namespace quorvane
