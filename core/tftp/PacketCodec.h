#pragma once

// Pure pack/unpack of the dialect's datagrams. Received datagrams are read
// through a fixed, zero-filled buffer so that a short datagram reads as zeros
// and no field is ever read past the buffer's end.

#include "core/tftp/Wire.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvane::tftp {

struct ReceiveBuffer {
    std::array<char, PacketSize> bytes{};
    std::size_t received = 0; // bytes that arrived (at most PacketSize)

    // Zero-fills, then copies at most PacketSize bytes of the datagram.
    void assign(QByteArrayView datagram);
};

using NameBuffer = std::array<char, NameBufferSize>;
using DataPacketBuffer = std::array<char, DataPacketMax>;
using MacPacketBuffer = std::array<char, PacketSize>;

std::uint16_t ReadOpcode(const ReceiveBuffer& in);

// Copies the read request's name into `name`, always NUL-terminated. Returns
// false when the name does not fit (no NUL within 128 bytes, or none before the
// buffer's end); `name` then holds an empty text.
bool ReadRequestName(const ReceiveBuffer& in, NameBuffer& name);

// The boot loader CRC text, read as a signed 32-bit decimal (leading white
// space and a sign allowed, stops at the first non-digit, 0 when no number).
// Values outside the 32-bit range saturate at INT32_MIN / INT32_MAX.
std::int32_t ReadRequestCrc(const ReceiveBuffer& in);

std::uint16_t ReadAckBlock(const ReceiveBuffer& in);

// The DONE text from byte 2 up to its NUL or the end of the buffer; a view
// into `in`.
QByteArrayView ReadDoneMac(const ReceiveBuffer& in);

// Writes opcode 3 and the low 16 bits of `block` into out[0..3].
void WriteDataHeader(std::uint32_t block, char* out);

// Writes opcode 3, the low 16 bits of `block` and `count` (0..512, larger is
// cut to 512) bytes of `source`; returns the datagram length 4 + count.
std::size_t BuildDataPacket(std::uint32_t block, const char* source, std::size_t count,
                            DataPacketBuffer& out);

void BuildMacWait(MacPacketBuffer& out);
// The text and its NUL from byte 2 on; a text too long for the datagram is cut
// so that the NUL still fits.
void BuildMacSet(MacPacketBuffer& out, QByteArrayView macText);

// Conveniences for callers that do not keep their own buffers.
QByteArray DataDatagram(std::uint32_t block, QByteArrayView data);
QByteArray MacWaitDatagram();
QByteArray MacSetDatagram(QByteArrayView macText);

// The router's side of the dialect (the stand-in router and the tests).
// A read request laid out as the routers send it: name, "octet", eight bytes
// and a text that the station skips, then the CRC as decimal text.
QByteArray ReadRequestDatagram(QByteArrayView name, std::int32_t crc);
// A plain TFTP read request: name and mode only (CRC 0 to the station).
QByteArray PlainReadRequestDatagram(QByteArrayView name);
QByteArray AckDatagram(std::uint16_t block);
QByteArray DoneDatagram(QByteArrayView macText);

} // namespace quorvane::tftp
