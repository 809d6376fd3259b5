#pragma once

#include "core/tftp/TransferHooks.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace quorvane {

// Which device row each router's transfer works on, so that a completion
// lands on its own board's row whatever other routers asked meanwhile.
// Bounded: beyond MaxRouters the oldest entry is forgotten.
class RouterRows {
public:
    static constexpr std::size_t MaxRouters = 64;

    void assign(const tftp::Peer& peer, int row) {
        take(peer);
        if (m_rows.size() >= MaxRouters)
            m_rows.erase(m_rows.begin());
        m_rows.emplace_back(peer, row);
    }
    // The router's row, forgotten with this call.
    std::optional<int> take(const tftp::Peer& peer) {
        const auto it = std::find_if(m_rows.begin(), m_rows.end(),
                                     [&](const auto& entry) { return entry.first == peer; });
        if (it == m_rows.end())
            return std::nullopt;
        const int row = it->second;
        m_rows.erase(it);
        return row;
    }
    void clear() { m_rows.clear(); }

private:
    std::vector<std::pair<tftp::Peer, int>> m_rows;
};

} // namespace quorvane
