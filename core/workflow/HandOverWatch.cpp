#include "core/workflow/HandOverWatch.h"

#include <algorithm>

namespace quorvane {

void HandOverWatch::macSetSent(const tftp::Peer& peer, const QString& requested,
                               const QString& label, std::uint32_t now) {
    std::erase_if(m_macSets, [&](const MacSet& m) { return m.peer == peer; });
    m_macSets.push_back(MacSet{peer, requested, label, now});
}

bool HandOverWatch::isRepeatOfMacSet(const tftp::ReadRequest& request, std::uint32_t now) {
    std::erase_if(m_macSets, [now](const MacSet& m) { return now - m.at >= RepeatWindowMs; });
    return std::any_of(m_macSets.begin(), m_macSets.end(), [&](const MacSet& m) {
        // Asking for the label itself is the router going on, not a repeat.
        return m.peer == request.peer && m.requested == request.name &&
               request.name.compare(m.label, Qt::CaseInsensitive) != 0;
    });
}

void HandOverWatch::takeInHand(const tftp::Peer& peer, std::uint32_t now) {
    m_inHand = InHand{peer, now};
}

void HandOverWatch::heardFrom(const tftp::Peer& peer, std::uint32_t now) {
    if (m_inHand && m_inHand->peer == peer)
        m_inHand->lastHeard = now;
}

bool HandOverWatch::hasLapsed(const tftp::Peer& peer, std::uint32_t now) const {
    return !m_inHand || m_inHand->peer == peer || now - m_inHand->lastHeard >= LapseMs;
}

void HandOverWatch::clear() {
    m_macSets.clear();
    m_inHand.reset();
}

} // namespace quorvane
