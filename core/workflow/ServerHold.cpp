#include "core/workflow/ServerHold.h"

#include "core/workflow/OperatorInterface.h"
#include "core/workflow/ServerHandle.h"

namespace quorvane {

void ServerHold::hold() {
    ++m_holds;
    m_link.pause();
}

void ServerHold::release() {
    if (m_holds <= 0)
        return;
    --m_holds;
    m_link.resume();
}

void ServerHold::showMessage(const QString& text, bool fromTransfer) {
    const std::uint64_t id = nextId();
    if (fromTransfer) {
        m_unread.insert(id);
        hold();
    }
    m_op.ShowMessage(id, text);
}

void ServerHold::acknowledged(std::uint64_t messageId) {
    if (m_unread.erase(messageId) == 0)
        return;
    if (m_unread.empty()) {
        auto next = std::move(m_afterReading);
        m_afterReading.clear();
        for (auto& step : next)
            step();
    }
    release();
}

void ServerHold::afterAcknowledgements(std::function<void()> next) {
    if (m_unread.empty())
        next();
    else
        m_afterReading.push_back(std::move(next));
}

void ServerHold::dropAll() {
    m_unread.clear();
    m_afterReading.clear();
    while (m_holds > 0)
        release();
}

} // namespace quorvane
