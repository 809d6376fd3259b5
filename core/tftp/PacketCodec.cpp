#include "core/tftp/PacketCodec.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorvane::tftp {

namespace {

std::uint16_t ReadBigEndian16(const ReceiveBuffer& in, std::size_t at) {
    const auto hi = static_cast<unsigned char>(in.bytes[at]);
    const auto lo = static_cast<unsigned char>(in.bytes[at + 1]);
    return static_cast<std::uint16_t>(hi << 8 | lo);
}

void WriteBigEndian16(char* out, std::uint16_t value) {
    out[0] = static_cast<char>(value >> 8);
    out[1] = static_cast<char>(value & 0xFF);
}

// Length of the NUL-terminated text at `at`; when the buffer ends first, the
// distance to the end.
std::size_t TextLength(const ReceiveBuffer& in, std::size_t at) {
    if (at >= in.bytes.size())
        return 0;
    const char* begin = in.bytes.data() + at;
    const char* end = in.bytes.data() + in.bytes.size();
    return static_cast<std::size_t>(std::find(begin, end, '\0') - begin);
}

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

void ReceiveBuffer::assign(QByteArrayView datagram) {
    bytes.fill(0);
    received = std::min<std::size_t>(static_cast<std::size_t>(datagram.size()), bytes.size());
    if (received > 0)
        std::memcpy(bytes.data(), datagram.data(), received);
}

std::uint16_t ReadOpcode(const ReceiveBuffer& in) {
    return ReadBigEndian16(in, 0);
}

bool ReadRequestName(const ReceiveBuffer& in, NameBuffer& name) {
    name.fill(0);
    const std::size_t length = TextLength(in, 2);
    // A name without its NUL inside the buffer, or over 127 characters, is
    // refused rather than cut: a cut name could match another file.
    if (2 + length >= in.bytes.size() || length >= name.size())
        return false;
    std::memcpy(name.data(), in.bytes.data() + 2, length);
    return true;
}

std::int32_t ReadRequestCrc(const ReceiveBuffer& in) {
    std::size_t at = 2 + TextLength(in, 2) + 1; // past the name and its NUL
    at += ModeFieldSize + SkippedFieldSize;
    if (at >= in.bytes.size())
        return 0;
    at += TextLength(in, at) + 1; // past the skipped text
    const std::size_t end = in.bytes.size();

    while (at < end && IsCSpace(in.bytes[at]))
        ++at;
    bool negative = false;
    if (at < end && (in.bytes[at] == '+' || in.bytes[at] == '-')) {
        negative = in.bytes[at] == '-';
        ++at;
    }
    // Accumulate in 64 bits and stop growing once past the 32-bit range.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    while (at < end && in.bytes[at] >= '0' && in.bytes[at] <= '9') {
        value = std::min(limit, value * 10 + (in.bytes[at] - '0'));
        ++at;
    }
    if (negative)
        return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, limit - 1));
}

std::uint16_t ReadAckBlock(const ReceiveBuffer& in) {
    return ReadBigEndian16(in, 2);
}

QByteArrayView ReadDoneMac(const ReceiveBuffer& in) {
    return QByteArrayView(in.bytes.data() + 2, static_cast<qsizetype>(TextLength(in, 2)));
}

void WriteDataHeader(std::uint32_t block, char* out) {
    WriteBigEndian16(out, static_cast<std::uint16_t>(Opcode::Data));
    WriteBigEndian16(out + 2, static_cast<std::uint16_t>(block & 0xFFFF));
}

std::size_t BuildDataPacket(std::uint32_t block, const char* source, std::size_t count,
                            DataPacketBuffer& out) {
    count = std::min(count, SegmentSize);
    WriteDataHeader(block, out.data());
    // memmove: the caller may have read the data straight into `out`.
    if (count > 0)
        std::memmove(out.data() + DataHeaderSize, source, count);
    return DataHeaderSize + count;
}

void BuildMacWait(MacPacketBuffer& out) {
    out.fill(0);
    WriteBigEndian16(out.data(), static_cast<std::uint16_t>(Opcode::MacWait));
}

void BuildMacSet(MacPacketBuffer& out, QByteArrayView macText) {
    out.fill(0);
    WriteBigEndian16(out.data(), static_cast<std::uint16_t>(Opcode::MacSet));
    const auto room = out.size() - 3; // opcode and the text's NUL
    const auto length = std::min<std::size_t>(static_cast<std::size_t>(macText.size()), room);
    if (length > 0)
        std::memcpy(out.data() + 2, macText.data(), length);
}

QByteArray DataDatagram(std::uint32_t block, QByteArrayView data) {
    DataPacketBuffer buffer;
    const auto length =
        BuildDataPacket(block, data.data(), static_cast<std::size_t>(data.size()), buffer);
    return QByteArray(buffer.data(), static_cast<qsizetype>(length));
}

QByteArray MacWaitDatagram() {
    MacPacketBuffer buffer;
    BuildMacWait(buffer);
    return QByteArray(buffer.data(), static_cast<qsizetype>(buffer.size()));
}

QByteArray MacSetDatagram(QByteArrayView macText) {
    MacPacketBuffer buffer;
    BuildMacSet(buffer, macText);
    return QByteArray(buffer.data(), static_cast<qsizetype>(buffer.size()));
}

namespace {

QByteArray OpcodeBytes(Opcode opcode) {
    QByteArray out(2, '\0');
    WriteBigEndian16(out.data(), static_cast<std::uint16_t>(opcode));
    return out;
}

} // namespace

QByteArray ReadRequestDatagram(QByteArrayView name, std::int32_t crc) {
    // Mode "octet" fills the 6-byte field; the 8 skipped bytes and the skipped
    // text are laid out like a TFTP option pair so ordinary tools read it too.
    QByteArray out = OpcodeBytes(Opcode::Rrq);
    out.append(name).append('\0');
    out.append("octet", 6);
    out.append("tsize\0"
               "0",
               8);
    out.append("ubootcrc", 9);
    out.append(QByteArray::number(crc)).append('\0');
    return out;
}

QByteArray PlainReadRequestDatagram(QByteArrayView name) {
    QByteArray out = OpcodeBytes(Opcode::Rrq);
    out.append(name).append('\0');
    out.append("octet", 6);
    return out;
}

QByteArray AckDatagram(std::uint16_t block) {
    QByteArray out = OpcodeBytes(Opcode::Ack);
    out.append(static_cast<char>(block >> 8)).append(static_cast<char>(block & 0xFF));
    return out;
}

QByteArray DoneDatagram(QByteArrayView macText) {
    return OpcodeBytes(Opcode::Done).append(macText).append('\0');
}

} // namespace quorvane::tftp
