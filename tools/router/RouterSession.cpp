#include "tools/router/RouterSession.h"

#include "core/tftp/OptionNegotiation.h"
#include "core/tftp/PacketCodec.h"
#include "tools/router/PackageCheck.h"

#include <QTextStream>

namespace quorvane::router {

using namespace quorvane::tftp;

RouterSession::RouterSession(RouterOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_random(m_options.seed ? *m_options.seed : QRandomGenerator::global()->generate()) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RouterSession::onTimeout);
    connect(&m_socket, &QUdpSocket::readyRead, this, &RouterSession::readPending);
    m_outcome.nameAsked = m_options.name;
}

void RouterSession::start() {
    // Port 0: a fresh source port for every run, as a booting router has.
    if (!m_socket.bind(QHostAddress::AnyIPv4, 0)) {
        finish(QStringLiteral("cannot bind: ") + m_socket.errorString());
        return;
    }
    request(m_options.name);
}

void RouterSession::request(const QString& name) {
    m_state = State::Requesting;
    m_currentName = name;
    m_expected = 1;
    m_timeouts = 0;
    m_lastLost = false;
    m_outcome.data.clear();
    m_outcome.blockSize = SegmentSize;
    m_outcome.windowSize = 1;
    if (m_options.blockSize || m_options.windowSize) {
        AskedOptions asked;
        asked.blockSize = m_options.blockSize;
        asked.windowSize = m_options.windowSize;
        transmit(OptionReadRequestDatagram(name.toLatin1(), asked));
        return;
    }
    transmit(ReadRequestDatagram(name.toLatin1(), m_options.crc));
}

void RouterSession::startReceiving() {
    m_state = State::Receiving;
    m_expected = 1;
    m_acked = 0;
    m_outcome.data.clear();
    m_outcome.namesServed.append(m_currentName);
}

void RouterSession::handleOptionAck(const QByteArray& datagram) {
    if (m_state != State::Requesting)
        return;
    const std::optional<AskedOptions> accepted = ReadOptionAck(datagram);
    const auto within = [](const std::optional<std::uint64_t>& answered,
                           const std::optional<quint32>& asked) {
        return !answered || (asked && *answered >= 1 && *answered <= *asked);
    };
    if (!accepted || !within(accepted->blockSize, m_options.blockSize) ||
        !within(accepted->windowSize, m_options.windowSize))
        return finish(QStringLiteral("an OACK this client did not ask for"));
    m_outcome.blockSize = qint64(accepted->blockSize.value_or(SegmentSize));
    m_outcome.windowSize = qint64(accepted->windowSize.value_or(1));
    startReceiving();
    transmit(AckDatagram(0));
}

void RouterSession::transmit(const QByteArray& datagram) {
    m_lastSent = datagram;
    sendRaw(datagram);
    m_timer.start(m_options.timeoutMs);
}

void RouterSession::sendRaw(const QByteArray& datagram) {
    if (chance(m_options.loss))
        return;
    m_socket.writeDatagram(datagram, m_options.server, m_options.port);
    if (chance(m_options.dup))
        m_socket.writeDatagram(datagram, m_options.server, m_options.port);
}

bool RouterSession::chance(double probability) {
    return probability > 0.0 && m_random.generateDouble() < probability;
}

void RouterSession::readPending() {
    while (m_socket.hasPendingDatagrams()) {
        QHostAddress from;
        quint16 port = 0;
        m_buffer.resize(65536);
        const qint64 size = m_socket.readDatagram(m_buffer.data(), m_buffer.size(), &from, &port);
        if (size < 0)
            break;
        const QByteArray datagram = m_buffer.first(size);
        // Replies come from the server's own port; anything else is not ours.
        if (port != m_options.port ||
            !from.isEqual(m_options.server, QHostAddress::TolerantConversion))
            continue;
        if (chance(m_options.loss))
            continue;
        handle(datagram);
        if (chance(m_options.dup))
            handle(datagram);
    }
}

void RouterSession::handle(const QByteArray& datagram) {
    if (m_state == State::Finished)
        return;
    ReceiveBuffer in;
    in.assign(datagram);
    switch (static_cast<Opcode>(ReadOpcode(in))) {
    case Opcode::MacWait:
        if (m_state == State::Requesting) {
            note(QStringLiteral("MACWAIT: the station is asking for this board's MAC"));
            m_state = State::WaitingForMac;
            m_timer.start(m_options.scanWaitMs);
        }
        break;
    case Opcode::MacSet:
        if (m_state == State::Requesting || m_state == State::WaitingForMac) {
            const QString mac = QString::fromLatin1(ReadDoneMac(in));
            if (mac.isEmpty()) {
                note(QStringLiteral("MACSET without a MAC: starting over"));
                if (++m_outcome.restarts > m_options.retries)
                    return finish(QStringLiteral("no MAC handed over"));
                request(m_options.name);
            } else {
                note(QStringLiteral("MACSET %1").arg(mac));
                m_outcome.macReceived = mac;
                request(mac);
            }
        }
        break;
    case Opcode::Data:
        handleData(datagram);
        break;
    case Opcode::OptionAck:
        handleOptionAck(datagram);
        break;
    default:
        break;
    }
}

void RouterSession::handleData(const QByteArray& datagram) {
    if (datagram.size() < qsizetype(DataHeaderSize))
        return;
    const auto block = static_cast<quint16>(static_cast<unsigned char>(datagram[2]) << 8 |
                                            static_cast<unsigned char>(datagram[3]));
    if (m_state == State::Requesting || m_state == State::WaitingForMac) {
        if (block != 1)
            return;
        startReceiving(); // without an OACK: 512-byte blocks in lock-step
    }
    // A duplicate or stray block is ignored; re-acknowledging it would make
    // the server send the next block twice.
    if (m_state != State::Receiving || block != m_expected)
        return;
    const QByteArrayView payload = QByteArrayView(datagram).sliced(DataHeaderSize);
    if (payload.size() > m_outcome.blockSize)
        return;
    if (m_options.loseLast && !m_lastLost && payload.size() < m_outcome.blockSize) {
        m_lastLost = true;
        note(QStringLiteral("losing the final block once"));
        return;
    }
    m_outcome.data.append(payload);
    ++m_outcome.blocks;
    ++m_expected;
    m_timeouts = 0;
    if (payload.size() == m_outcome.blockSize) {
        m_lastSent = AckDatagram(block); // what a time-out sends
        m_timer.start(m_options.timeoutMs);
        if (quint16(block - m_acked) >= m_outcome.windowSize) {
            m_acked = block;
            sendRaw(m_lastSent);
        }
        return;
    }
    sendRaw(AckDatagram(block)); // the final block is acknowledged once
    m_outcome.complete = true;
    m_outcome.check = CheckReceivedFile(m_currentName, m_outcome.data);
    if (m_options.done && IsCheckPassed(m_outcome.check)) {
        const QString mac = m_outcome.macReceived.isEmpty() ? m_currentName : m_outcome.macReceived;
        sendRaw(DoneDatagram(mac.toLatin1()));
    }
    finish(IsCheckPassed(m_outcome.check) ? QString()
                                          : QStringLiteral("check failed: ") + m_outcome.check);
}

void RouterSession::onTimeout() {
    if (m_state == State::Finished)
        return;
    if (m_state == State::WaitingForMac) {
        note(QStringLiteral("no MACSET: starting over"));
        if (++m_outcome.restarts > m_options.retries)
            return finish(QStringLiteral("no MACSET from the station"));
        request(m_options.name);
        return;
    }
    if (m_timeouts < m_options.retries) {
        ++m_timeouts;
        if (m_state == State::Receiving)
            m_acked = quint16(m_expected - 1);
        ++m_outcome.retransmissions;
        transmit(m_lastSent);
        return;
    }
    // Time-outs in a row: the station has forgotten this transfer.
    if (m_state == State::Receiving && m_outcome.restarts < m_options.retries) {
        ++m_outcome.restarts;
        note(QStringLiteral("too many time-outs: fetching %1 again").arg(m_currentName));
        request(m_currentName);
        return;
    }
    finish(QStringLiteral("no answer after %1 time-outs").arg(m_timeouts + 1));
}

void RouterSession::finish(const QString& error) {
    m_state = State::Finished;
    m_timer.stop();
    m_outcome.error = error;
    if (!error.isEmpty())
        note(error);
    Q_EMIT finished();
}

void RouterSession::note(const QString& text) const {
    if (!m_options.quiet)
        QTextStream(stderr) << "quorvane-router: " << text << '\n';
}

} // namespace quorvane::router
