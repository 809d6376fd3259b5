#pragma once

#include "core/tftp/FileStore.h"
#include "core/tftp/PacketCodec.h"
#include "core/tftp/TransferHooks.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace quorvane::tftp {

// What the handler needs from the outside world.
class TransferEdge {
public:
    virtual ~TransferEdge() = default;
    virtual void sendDatagram(const Peer& to, QByteArrayView datagram) = 0;
    virtual void logLine(const QString& line) = 0;
    virtual void blockSent(const Peer&, const QString& /*name*/, qint64 /*block*/) {}
    // Milliseconds from any fixed point; only differences are used.
    virtual std::uint64_t nowMs();
};

// The server's datagram handling without a socket: one call per received
// datagram; replies, log lines and the workflow's three points happen inside.
// Transfers are kept per peer (address and port), at most MaxTransfers of them;
// the least recently active one is forgotten, and its file closed, first.
// A completed transfer's last block is kept for KeepLastBlockMs (at most
// MaxKeptBlocks of them): a router that lost it acknowledges the block before
// again and gets it once more, instead of an empty block that it would take
// for the end of its file or never accept.
//
// A request that asks for options the standard way is negotiated: an OACK,
// then windows of blocks from the client's ACK 0 on. An ACK of an earlier block
// restarts the window after it; the ACK that started the window in flight,
// repeated within RepeatWindowMs, is a duplicate and changes nothing. Its last
// window is kept as the dialect's last block is, and its final ACK gets no
// answer.
class TransferHandler {
public:
    static constexpr int MaxTransfers = 64;
    static constexpr int MaxKeptBlocks = 64;
    static constexpr std::uint64_t KeepLastBlockMs = 30000;
    // Bytes of a served file read in one call, for the blocks that follow.
    static constexpr qint64 ReadAheadSize = 16384;
    static constexpr std::uint64_t RepeatWindowMs = 100;
    // Kept windows together; past it the oldest keep only their last number.
    static constexpr qsizetype MaxKeptBytes = 16 << 20;

    TransferHandler(FileStore& files, TransferEdge& edge, QString programDir);
    ~TransferHandler();

    void setHooks(TransferHooks* hooks); // nullptr: serve everything
    // The largest block a negotiated transfer is given (8..65464).
    void setMaxBlockSize(std::uint32_t size);

    void handle(const Peer& from, QByteArrayView datagram);

    // A completion ended the service: every datagram is ignored until reset.
    bool hasEnded() const { return m_ended; }
    // Forgets every transfer, closes every file and answers again. Safe to call
    // from inside a hook; the interrupted datagram then has no further effect.
    void reset();

    int transferCount() const { return static_cast<int>(m_transfers.size()); }
    int openFileCount() const;
    int keptBlockCount() const { return static_cast<int>(m_kept.size()); }

private:
    enum class Pace {
        LockStep, // the dialect's: a block per acknowledgement
        Offered,  // an OACK went out; the client's ACK 0 starts the data
        Windows,  // negotiated: windowSize blocks per acknowledgement
    };
    struct Transfer {
        Peer peer;
        ReadRequest request;
        std::unique_ptr<ServedFile> file;
        std::unique_ptr<char[]> ahead; // read-ahead bytes, from the first block on
        qint64 aheadOffset = 0;        // file offset of ahead[0]
        qint64 aheadSize = 0;          // bytes in `ahead` that came from the file
        std::uint32_t block = 0;       // number of the DATA block sent last
        bool active = false;
        std::uint64_t lastActive = 0;
        Pace pace = Pace::LockStep;
        std::uint32_t blockSize = SegmentSize;
        std::uint32_t windowSize = 1;
        std::uint32_t base = 0; // the acknowledged block the window in flight follows
        std::uint64_t windowSentMs = 0;
        QByteArray optionAck;
    };
    // Blocks first..last of a completed transfer, back to back in `data`.
    struct KeptBlock {
        Peer peer;
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        std::uint32_t blockSize = SegmentSize;
        bool negotiated = false;
        std::uint32_t base = 0;
        std::uint64_t sentMs = 0;
        QByteArray data;
        std::uint64_t keptAtMs = 0;
    };

    void handleRequest(const Peer& from);
    void handleAck(const Peer& from);
    void ackWindow(Transfer& transfer, std::uint16_t acked);
    void endQuietly(const Peer& from);
    bool repeatOptionAck(const Peer& from, const QString& name);
    void sendWindow(Transfer& transfer, CompletionVariant variant);
    qint64 readBlock(Transfer& transfer, char* out);
    void complete(const Peer& peer, CompletionVariant variant, QByteArrayView lastData);
    KeptBlock keptWindow(Transfer& transfer, QByteArrayView lastData) const;
    void keep(KeptBlock kept);
    bool resendKeptBlock(const Peer& peer, std::uint16_t acked);
    bool isRepeat(std::uint32_t acked, std::uint32_t base, std::uint64_t sentMs);
    Transfer* find(const Peer& peer);
    Transfer& startTransfer(const Peer& peer);
    void forget(const Peer& peer);
    void sendData(const Peer& to, const QString& name, std::uint32_t block, std::size_t count);

    FileStore& m_files;
    TransferEdge& m_edge;
    QString m_programDir;
    ServeEverything m_serveEverything;
    TransferHooks* m_hooks;
    std::vector<Transfer> m_transfers;
    std::vector<KeptBlock> m_kept;
    ReceiveBuffer m_in;
    std::vector<char> m_out; // a DATA datagram of the largest block size yet
    std::uint32_t m_maxBlockSize = DefaultMaxBlockSize;
    std::uint64_t m_clock = 0;
    std::uint64_t m_generation = 0; // changes at every reset
    bool m_ended = false;
};

} // namespace quorvane::tftp
