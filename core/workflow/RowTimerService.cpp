#include "core/workflow/RowTimerService.h"

#include <QElapsedTimer>
#include <QTimer>

namespace quorvane {

TickClock SystemTickClock() {
    return [] {
        static QElapsedTimer sinceStart = [] {
            QElapsedTimer timer;
            timer.start();
            return timer;
        }();
        return static_cast<std::uint32_t>(sinceStart.elapsed());
    };
}

QtRowTimerService::QtRowTimerService(QObject* parent) : QObject(parent) {}

QtRowTimerService::~QtRowTimerService() {
    qDeleteAll(m_timers);
}

void QtRowTimerService::SetTimer(int id, int periodMs) {
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { tick(id); });
    }
    timer->start(periodMs);
}

void QtRowTimerService::KillTimer(int id) {
    QTimer* timer = m_timers.take(id);
    if (!timer)
        return;
    timer->stop();
    // A kill from inside this timer's own tick must not free it under its feet.
    timer->deleteLater();
}

} // namespace quorvane
