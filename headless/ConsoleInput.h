#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

namespace quorvane {

// Standard input as it arrives, in UTF-8, on the event loop. A socket notifier
// on a POSIX descriptor; on Windows a reader thread (a notifier never fires on
// a console), which reads a console as Unicode.
class ConsoleInput : public QObject {
    Q_OBJECT
public:
    explicit ConsoleInput(QObject* parent = nullptr);

Q_SIGNALS:
    void received(const QByteArray& utf8);
    void ended();

private:
    void readAvailable();
    QSocketNotifier* m_notifier = nullptr;
};

// The log's Chinese lines printed as UTF-8 on a Windows console too.
void UseUtf8ConsoleOutput();

} // namespace quorvane
