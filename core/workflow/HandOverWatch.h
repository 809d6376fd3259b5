#pragma once

#include "core/tftp/TransferHooks.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvane {

// What the station knows of the board it has in hand, beyond the two flags:
// which router it is and when it was last heard of, and the labels recently
// handed over. Times are tick counts in milliseconds.
class HandOverWatch {
public:
    // Requests a router re-sent while the operator scanned queue up and
    // arrive right after MACSET; no other board boots on the same address
    // and port that soon.
    static constexpr std::uint32_t RepeatWindowMs = 2000;
    // A board in hand that has not been heard of for this long is gone.
    static constexpr std::uint32_t LapseMs = 10000;

    void macSetSent(const tftp::Peer& peer, const QString& requested, const QString& label,
                    std::uint32_t now);
    // The same router asking again for what MACSET already answered.
    bool isRepeatOfMacSet(const tftp::ReadRequest& request, std::uint32_t now);

    void takeInHand(const tftp::Peer& peer, std::uint32_t now);
    void heardFrom(const tftp::Peer& peer, std::uint32_t now);
    void release() { m_inHand.reset(); }
    // Whether a request from `peer` that could not be served means the board
    // in hand is not coming back: it was that board, or it fell silent.
    bool hasLapsed(const tftp::Peer& peer, std::uint32_t now) const;
    // Another router than `peer` is in hand and still heard from.
    bool holdsAnother(const tftp::Peer& peer, std::uint32_t now) const {
        return !hasLapsed(peer, now);
    }

    void clear();

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
    std::vector<MacSet> m_macSets; // only those younger than RepeatWindowMs
    std::optional<InHand> m_inHand;
};

} // namespace quorvane
