#include "core/tftp/OptionNegotiation.h"

#include <algorithm>
#include <limits>

namespace quorvane::tftp {

namespace {

constexpr std::uint64_t kTooLarge = std::numeric_limits<std::uint64_t>::max();

// The NUL-terminated text at `at` within [at, end); false when no NUL ends it
// there.
bool NextText(const char* data, std::size_t end, std::size_t& at, QByteArrayView& text) {
    const char* begin = data + at;
    const char* nul = std::find(begin, data + end, '\0');
    if (nul == data + end)
        return false;
    text = QByteArrayView(begin, nul - begin);
    at += static_cast<std::size_t>(nul - begin) + 1;
    return true;
}

std::optional<std::uint64_t> Decimal(QByteArrayView text) {
    if (text.isEmpty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value > 0xFFFFFFFFu ? kTooLarge : value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::optional<std::uint64_t>* Slot(AskedOptions& options, QByteArrayView name) {
    if (name.compare("blksize", Qt::CaseInsensitive) == 0)
        return &options.blockSize;
    if (name.compare("windowsize", Qt::CaseInsensitive) == 0)
        return &options.windowSize;
    if (name.compare("tsize", Qt::CaseInsensitive) == 0)
        return &options.transferSize;
    if (name.compare("timeout", Qt::CaseInsensitive) == 0)
        return &options.timeout;
    return nullptr;
}

// Name and value pairs filling [at, end) exactly, each name known and named
// once, each value decimal.
std::optional<AskedOptions> ReadPairs(const char* data, std::size_t at, std::size_t end) {
    AskedOptions options;
    while (at < end) {
        QByteArrayView name;
        QByteArrayView text;
        if (!NextText(data, end, at, name) || !NextText(data, end, at, text))
            return std::nullopt;
        std::optional<std::uint64_t>* slot = Slot(options, name);
        const std::optional<std::uint64_t> value = Decimal(text);
        if (!slot || slot->has_value() || !value)
            return std::nullopt;
        *slot = value;
    }
    return options;
}

void AppendPair(QByteArray& out, const char* name, std::uint64_t value) {
    out.append(name).append('\0').append(QByteArray::number(quint64{value})).append('\0');
}

} // namespace

std::optional<AskedOptions> ReadAskedOptions(const ReceiveBuffer& in) {
    if (ReadOpcode(in) != static_cast<std::uint16_t>(Opcode::Rrq))
        return std::nullopt;
    std::size_t at = 2;
    QByteArrayView name;
    QByteArrayView mode;
    if (!NextText(in.bytes.data(), in.received, at, name) ||
        !NextText(in.bytes.data(), in.received, at, mode) || mode.isEmpty())
        return std::nullopt;
    std::optional<AskedOptions> asked = ReadPairs(in.bytes.data(), at, in.received);
    // A time-out alone is the dialect's: its 8 skipped bytes are "timeout\0".
    if (!asked || !(asked->blockSize || asked->windowSize || asked->transferSize))
        return std::nullopt;
    return asked;
}

AcceptedOptions Negotiate(const AskedOptions& asked, std::uint32_t maxBlockSize, qint64 fileSize) {
    AcceptedOptions accepted;
    QByteArray& out = accepted.optionAck;
    if (asked.blockSize && *asked.blockSize >= MinBlockSize && *asked.blockSize <= MaxBlockSize) {
        const std::uint32_t cap = std::clamp(maxBlockSize, MinBlockSize, MaxBlockSize);
        accepted.blockSize = std::min(static_cast<std::uint32_t>(*asked.blockSize), cap);
        AppendPair(out, "blksize", accepted.blockSize);
    }
    if (asked.windowSize && *asked.windowSize >= 1 && *asked.windowSize <= MaxWindowSize) {
        accepted.windowSize = std::clamp(static_cast<std::uint32_t>(*asked.windowSize), 1u,
                                         WindowBytesMax / accepted.blockSize);
        AppendPair(out, "windowsize", accepted.windowSize);
    }
    if (asked.transferSize && fileSize >= 0)
        AppendPair(out, "tsize", static_cast<std::uint64_t>(fileSize));
    if (asked.timeout && *asked.timeout >= 1 && *asked.timeout <= 255)
        AppendPair(out, "timeout", *asked.timeout);
    if (!out.isEmpty())
        out.prepend(QByteArray("\0\6", 2));
    return accepted;
}

std::optional<std::uint32_t> MaxBlockSizeFromText(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value < MinBlockSize || value > MaxBlockSize)
        return std::nullopt;
    return value;
}

QString MaxBlockSizeProblem(const QString& text) {
    return QStringLiteral("--max-blksize %1: a block size from %2 to %3")
        .arg(text)
        .arg(MinBlockSize)
        .arg(MaxBlockSize);
}

QByteArray OptionReadRequestDatagram(QByteArrayView name, const AskedOptions& asked) {
    QByteArray out("\0\1", 2);
    out.append(name).append('\0').append("octet", 6);
    const std::pair<const char*, const std::optional<std::uint64_t>&> pairs[] = {
        {"blksize", asked.blockSize},
        {"windowsize", asked.windowSize},
        {"tsize", asked.transferSize},
        {"timeout", asked.timeout}};
    for (const auto& [option, value] : pairs) {
        if (value)
            AppendPair(out, option, *value);
    }
    return out;
}

std::optional<AskedOptions> ReadOptionAck(QByteArrayView datagram) {
    if (datagram.size() < 2 || datagram[0] != 0 ||
        datagram[1] != static_cast<char>(Opcode::OptionAck))
        return std::nullopt;
    return ReadPairs(datagram.data(), 2, static_cast<std::size_t>(datagram.size()));
}

} // namespace quorvane::tftp
