#pragma once

#include <QHash>
#include <QObject>

#include <cstdint>
#include <functional>

class QTimer;

namespace quorvane {

// GetTickCount: milliseconds, wrapping at 2^32.
using TickClock = std::function<std::uint32_t()>;
TickClock SystemTickClock();

// Window timers by id: SetTimer with a running id restarts it, KillTimer of
// an unknown id does nothing. Every period's end calls the tick handler.
class RowTimerService {
public:
    virtual ~RowTimerService() = default;
    virtual void SetTimer(int id, int periodMs) = 0;
    virtual void KillTimer(int id) = 0;

    void setTickHandler(std::function<void(int id)> handler) { m_onTick = std::move(handler); }

protected:
    void tick(int id) {
        if (m_onTick)
            m_onTick(id);
    }

private:
    std::function<void(int)> m_onTick;
};

class QtRowTimerService final : public QObject, public RowTimerService {
    Q_OBJECT
public:
    explicit QtRowTimerService(QObject* parent = nullptr);
    ~QtRowTimerService() override;
    void SetTimer(int id, int periodMs) override;
    void KillTimer(int id) override;
    int activeCount() const { return static_cast<int>(m_timers.size()); }

private:
    QHash<int, QTimer*> m_timers;
};

} // namespace quorvane
