#pragma once

#include "core/record/BoardRecord.h"
#include "core/tftp/TransferHooks.h"
#include "core/workflow/RowTimerService.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quorvane {

class BoardLedger;
class Burner;
class DeviceRows;
class OperatorInterface;
class ReburnGuard;
class ServerHold;
class ServerHandle;
class StationLog;
struct StationState;

// The station's policy at the transfer server's hooks: whether a request is
// a new board (its label scanned, or the file it asked for by name), a board
// back for its files, or a package request; what a completed transfer, a
// failed one and a DONE mean for the board.
class TransferPolicy final : public tftp::TransferHooks {
public:
    struct Parts {
        StationState& state;
        StationLog& log;
        OperatorInterface& op;
        DeviceRows& rows;
        BoardLedger& ledger;
        Burner& burner;
        ReburnGuard& guard;
        ServerHold& hold;
        ServerHandle& link;
        TickClock clock;
    };
    explicit TransferPolicy(Parts parts) : m(std::move(parts)) {}

    tftp::RequestVerdict OnRequest(const tftp::ReadRequest& request) override;
    tftp::CompletionResult OnTransferComplete(const tftp::ReadRequest& request,
                                              tftp::CompletionVariant variant) override;
    void OnDone(const tftp::Peer& peer, const QString& macText) override;
    void OnServeFailed(const tftp::ReadRequest& request) override;
    void OnBlockSent(const tftp::Peer& peer) override;

    // The scan dialog's answer: a label, or nothing for cancel.
    void OnMacAnswer(std::uint64_t askId, const std::optional<QString>& label);
    bool isAskingForMac() const { return m_ask.has_value(); }
    // The service stops: the scan dialog closes unanswered.
    void dropAsk();

private:
    struct Ask {
        std::uint64_t id = 0;
        tftp::Peer peer;
        QString name; // what the router asked for
        record::AttemptId attempt;
    };
    std::uint32_t now() const { return m.clock(); }
    void burnRequestedName(const tftp::Peer& peer, const QString& name,
                           const record::AttemptId& attempt);
    void burnScannedLabel(const QString& label, const Ask& ask);
    void finishMacAnswer(const std::optional<QString>& label, const Ask& ask);

    Parts m;
    std::optional<Ask> m_ask;
};

} // namespace quorvane
