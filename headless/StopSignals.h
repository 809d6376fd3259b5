#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvane {

// SIGINT and SIGTERM (on Windows: Ctrl+C, Ctrl+Break, the console closed, the
// user logging off) delivered on the event loop.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    bool isValid() const { return m_valid; }

    // The station has stopped and its record is closed. Windows ends the
    // process as soon as a console-close handler returns, so that handler
    // waits, bounded, for this.
    void stopped();

Q_SIGNALS:
    void stopRequested(int signal);

private:
    void drain();
    bool m_valid = false;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace quorvane
