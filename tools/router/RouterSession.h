#pragma once

#include "tools/router/RouterOptions.h"

#include <QByteArray>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimer>
#include <QUdpSocket>

namespace quorvane::router {

struct RouterOutcome {
    QString nameAsked;
    QStringList namesServed;
    QByteArray data;
    qint64 blocks = 0;
    qint64 retransmissions = 0;
    qint64 restarts = 0;
    qint64 blockSize = 512; // as the station answered (512 without an OACK)
    qint64 windowSize = 1;
    QString macReceived;
    QString check;
    QString error; // empty on success
    bool complete = false;
};

// A boot loader's TFTP client: lock-step, 512-byte blocks, no options. It
// accepts replies from the server's port only, ignores duplicate blocks,
// re-sends its last datagram after a time-out and starts the file over after
// too many of them. Asked for a block size or a window, it is a standard
// client instead: options in the request, ACK 0 for the OACK, an ACK after
// each window, and after a time-out the ACK of the last block in order.
class RouterSession : public QObject {
    Q_OBJECT
public:
    explicit RouterSession(RouterOptions options, QObject* parent = nullptr);

    void start();
    const RouterOutcome& outcome() const { return m_outcome; }

Q_SIGNALS:
    void finished();

private:
    enum class State { Requesting, WaitingForMac, Receiving, Finished };

    void readPending();
    void handle(const QByteArray& datagram);
    void handleData(const QByteArray& datagram);
    void handleOptionAck(const QByteArray& datagram);
    void startReceiving();
    void onTimeout();
    void request(const QString& name);
    void transmit(const QByteArray& datagram);
    void sendRaw(const QByteArray& datagram);
    void finish(const QString& error);
    void note(const QString& text) const;
    bool chance(double probability);

    RouterOptions m_options;
    QUdpSocket m_socket;
    QTimer m_timer;
    QRandomGenerator m_random;
    State m_state = State::Requesting;
    QString m_currentName;
    QByteArray m_lastSent;
    quint16 m_expected = 1;
    quint16 m_acked = 0; // the block acknowledged last
    QByteArray m_buffer;
    int m_timeouts = 0;
    bool m_lastLost = false; // --lose-last did its drop for this file
    RouterOutcome m_outcome;
};

} // namespace quorvane::router
