#pragma once

// Option negotiation for read requests that can only be standard ones: every
// field after the mode a known option with a decimal value. Anything else is
// the dialect's request and is read by its own field walk.

#include "core/tftp/PacketCodec.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace quorvane::tftp {

struct AskedOptions {
    // Values as asked; past the 32-bit range they read as UINT64_MAX.
    std::optional<std::uint64_t> blockSize;
    std::optional<std::uint64_t> windowSize;
    std::optional<std::uint64_t> transferSize;
    std::optional<std::uint64_t> timeout;
};

// The options of a read request that asks for blksize, tsize or windowsize and
// holds nothing else after its mode (names in any letter case, each value
// decimal digits, the datagram ending with the last pair's NUL); nothing for
// every other datagram.
std::optional<AskedOptions> ReadAskedOptions(const ReceiveBuffer& in);

struct AcceptedOptions {
    std::uint32_t blockSize = SegmentSize;
    std::uint32_t windowSize = 1;
    // The OACK naming only what was accepted; empty when nothing was, and the
    // data then starts at once with 512-byte blocks in lock-step.
    QByteArray optionAck;
};

// Block size 8..65464 answered with at most `maxBlockSize`, window 1..64 (less
// when its blocks would not fit WindowBytesMax),
// transfer size answered with `fileSize`, time-out 1..255 echoed.
AcceptedOptions Negotiate(const AskedOptions& asked, std::uint32_t maxBlockSize, qint64 fileSize);

// The station-wide largest block from a command line: 8..65464, else nothing.
std::optional<std::uint32_t> MaxBlockSizeFromText(const QString& text);
// Its problem as the operator reads it.
QString MaxBlockSizeProblem(const QString& text);

// A standard read request asking for these options (the router stand-in).
QByteArray OptionReadRequestDatagram(QByteArrayView name, const AskedOptions& asked);

// An OACK's option values, as a client reads them; nothing for another
// datagram or a malformed one.
std::optional<AskedOptions> ReadOptionAck(QByteArrayView datagram);

} // namespace quorvane::tftp
