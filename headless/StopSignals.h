#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvane {

// SIGINT and SIGTERM delivered on the event loop (a self-pipe written by the
// signal handler).
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    bool isValid() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void stopRequested(int signal);

private:
    void drain();
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quorvane
