#pragma once

#include "core/workflow/OperatorInterface.h"

#include <functional>

namespace quorvane {

// The station's controls as the window mirrors them: every change is sent
// whole, and only when something changed.
class ControlPanel {
public:
    explicit ControlPanel(OperatorInterface& op) : m_op(op) {}
    const ControlState& state() const { return m_state; }
    void change(const std::function<void(ControlState&)>& edit) {
        ControlState next = m_state;
        edit(next);
        if (next == m_state)
            return;
        m_state = next;
        m_op.SetControlState(m_state);
    }

private:
    OperatorInterface& m_op;
    ControlState m_state;
};

} // namespace quorvane
