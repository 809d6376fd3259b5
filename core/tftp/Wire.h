#pragma once

// The routers' TFTP dialect on the wire: opcodes and sizes, in one place.

#include <cstddef>
#include <cstdint>

namespace quorvane::tftp {

enum class Opcode : std::uint16_t {
    Rrq = 1,
    Wrq = 2,
    Data = 3,
    Ack = 4,
    Error = 5, // never sent; ends a negotiated transfer when received
    OptionAck = 6,
    MacWait = 7,
    MacSet = 8,
    Done = 9,
};

inline constexpr std::size_t SegmentSize = 512;  // data bytes per DATA block
inline constexpr std::size_t DataHeaderSize = 4; // opcode + block number
inline constexpr std::size_t DataPacketMax = DataHeaderSize + SegmentSize;
inline constexpr std::size_t PacketSize = 550;     // receive buffer; MACWAIT/MACSET length
inline constexpr std::size_t NameBufferSize = 128; // a name of at most 127 characters + NUL
inline constexpr std::size_t ModeFieldSize = 6;    // "octet" + NUL, taken whatever it holds
inline constexpr std::size_t SkippedFieldSize = 8; // read request field skipped unseen

// Negotiated transfers (standard clients that ask for options).
inline constexpr std::uint32_t MinBlockSize = 8;
inline constexpr std::uint32_t MaxBlockSize = 65464;
// The largest block that travels unfragmented on Ethernet.
inline constexpr std::uint32_t DefaultMaxBlockSize = 1468;
inline constexpr std::uint32_t MaxWindowSize = 64;
// Bytes of one window, under a default UDP send buffer (208 KiB on Linux):
// a window the socket cannot take would be lost whole at every restart.
inline constexpr std::uint32_t WindowBytesMax = 131072;

inline constexpr std::uint16_t StationPort = 69;

} // namespace quorvane::tftp
