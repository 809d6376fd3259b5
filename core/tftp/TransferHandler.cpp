#include "core/tftp/TransferHandler.h"

#include "core/tftp/RequestName.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace quorvane::tftp {

namespace {

const QString kOpenFailed = QStringLiteral("文件打开失败!");
const QString kNoSize = QStringLiteral("文件为空!");
const QString kClosed = QStringLiteral("4下载完成，关闭文件");
const QString kNotClosed = QStringLiteral("4下载完成，不关闭文件");

} // namespace

std::uint64_t TransferEdge::nowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TransferHandler::TransferHandler(FileStore& files, TransferEdge& edge, QString programDir)
    : m_files(files), m_edge(edge), m_programDir(std::move(programDir)),
      m_hooks(&m_serveEverything) {}

TransferHandler::~TransferHandler() = default;

void TransferHandler::setHooks(TransferHooks* hooks) {
    m_hooks = hooks ? hooks : &m_serveEverything;
}

void TransferHandler::reset() {
    m_transfers.clear();
    m_kept.clear();
    m_ended = false;
    ++m_generation;
}

int TransferHandler::openFileCount() const {
    return static_cast<int>(std::count_if(m_transfers.begin(), m_transfers.end(),
                                          [](const Transfer& t) { return t.file != nullptr; }));
}

void TransferHandler::handle(const Peer& from, QByteArrayView datagram) {
    if (m_ended)
        return;
    m_in.assign(datagram);
    switch (static_cast<Opcode>(ReadOpcode(m_in))) {
    case Opcode::Done:
        m_hooks->OnDone(from, QString::fromLatin1(ReadDoneMac(m_in)));
        break;
    case Opcode::Rrq:
        handleRequest(from);
        break;
    case Opcode::Ack:
        handleAck(from);
        break;
    default: // WRQ, DATA, ERROR and anything unknown
        break;
    }
}

void TransferHandler::handleRequest(const Peer& from) {
    NameBuffer nameBytes;
    const QString name =
        ReadRequestName(m_in, nameBytes) ? DecodeRequestName(nameBytes) : QString();
    if (!IsPlainFileName(name)) {
        // Refused before the workflow sees it: such a name must not become a
        // MAC field or a package name either.
        m_edge.logLine(kOpenFailed);
        return;
    }
    const ReadRequest request{from, name, ReadRequestCrc(m_in)};

    const auto generation = m_generation;
    const RequestVerdict verdict = m_hooks->OnRequest(request);
    if (generation != m_generation || m_ended || verdict != RequestVerdict::Serve)
        return;

    m_edge.logLine(QStringLiteral("正在下载文件%1").arg(m_programDir + name));
    OpenResult opened = m_files.open(name);
    if (opened.failure != OpenFailure::None) {
        // Nothing was sent, so nothing may later be reported as complete: the
        // peer's earlier transfer, if any, is over too.
        forget(from);
        m_edge.logLine(opened.failure == OpenFailure::NoSize ? kNoSize : kOpenFailed);
        m_hooks->OnServeFailed(request);
        return;
    }
    Transfer& transfer = startTransfer(from);
    transfer.request = request;
    transfer.file = std::move(opened.file);
    transfer.active = true;
    transfer.block = 0;
    sendBlock(transfer, CompletionVariant::FirstBlock);
}

void TransferHandler::handleAck(const Peer& from) {
    const std::uint16_t acked = ReadAckBlock(m_in);
    Transfer* transfer = find(from);
    if (!transfer) {
        if (resendKeptBlock(from, acked))
            return;
        // No transfer in progress: nothing to read, block 1 goes out empty.
        sendData(from, QString(), 1, 0);
        m_edge.logLine(kNotClosed);
        return;
    }
    // The acknowledged block is the latest one at or below the counter with
    // those low 16 bits; an older one sends the block after it again.
    const std::uint32_t behind = static_cast<std::uint16_t>(transfer->block - acked);
    if (behind <= transfer->block)
        transfer->block -= behind;
    transfer->lastActive = ++m_clock;
    sendBlock(*transfer, CompletionVariant::Acknowledgement);
}

void TransferHandler::sendBlock(Transfer& transfer, CompletionVariant variant) {
    const qint64 count = transfer.file ? readBlock(transfer, m_out.data() + DataHeaderSize) : 0;
    ++transfer.block;
    const Peer peer = transfer.peer; // `transfer` goes away on completion
    sendData(peer, transfer.request.name, transfer.block, static_cast<std::size_t>(count));
    m_hooks->OnBlockSent(peer);
    if (count < qint64{SegmentSize})
        complete(peer, variant,
                 QByteArrayView(m_out.data() + DataHeaderSize, static_cast<qsizetype>(count)));
}

// One read call serves many blocks; a block is taken from what was read ahead
// only when all of it is there, so the file's last block and a failed read
// are always read afresh.
qint64 TransferHandler::readBlock(Transfer& transfer, char* out) {
    constexpr qint64 segment{SegmentSize};
    const qint64 offset = qint64{transfer.block} * segment;
    const qint64 start = offset - transfer.aheadOffset;
    if (start < 0 || start + segment > transfer.aheadSize) {
        if (!transfer.ahead)
            transfer.ahead = std::make_unique<char[]>(ReadAheadSize);
        transfer.aheadOffset = offset;
        transfer.aheadSize = std::clamp<qint64>(
            transfer.file->readAt(offset, transfer.ahead.get(), ReadAheadSize), 0, ReadAheadSize);
        const qint64 count = std::min(segment, transfer.aheadSize);
        std::memcpy(out, transfer.ahead.get(), static_cast<std::size_t>(count));
        return count;
    }
    std::memcpy(out, transfer.ahead.get() + start, SegmentSize);
    return segment;
}

void TransferHandler::complete(const Peer& peer, CompletionVariant variant,
                               QByteArrayView lastData) {
    Transfer* transfer = find(peer);
    const bool active = transfer && transfer->active;
    if (active) {
        const ReadRequest request = transfer->request;
        // Copied before the workflow runs: what it sends must not matter.
        const std::uint32_t lastBlock = transfer->block;
        const QByteArray kept = lastData.toByteArray();
        const auto generation = m_generation;
        const CompletionResult result = m_hooks->OnTransferComplete(request, variant);
        if (generation != m_generation)
            return;
        if (result == CompletionResult::EndService) {
            m_transfers.clear();
            m_kept.clear();
            m_ended = true;
            return;
        }
        keepLastBlock(peer, lastBlock, kept);
    }
    forget(peer);
    if (variant == CompletionVariant::Acknowledgement)
        m_edge.logLine(active ? kClosed : kNotClosed);
}

void TransferHandler::keepLastBlock(const Peer& peer, std::uint32_t block, QByteArrayView data) {
    const std::uint64_t now = m_edge.nowMs();
    std::erase_if(m_kept, [&](const KeptBlock& k) {
        return k.peer == peer || now - k.keptAtMs >= KeepLastBlockMs;
    });
    if (m_kept.size() >= std::size_t{MaxKeptBlocks})
        m_kept.erase(m_kept.begin()); // kept in the order they came
    m_kept.push_back(KeptBlock{peer, block, data.toByteArray(), now});
}

// Only the acknowledgement of the block before the last one is answered from
// what was kept; the final acknowledgement is answered as it always was.
bool TransferHandler::resendKeptBlock(const Peer& peer, std::uint16_t acked) {
    const auto it = std::find_if(m_kept.begin(), m_kept.end(),
                                 [&](const KeptBlock& k) { return k.peer == peer; });
    if (it == m_kept.end())
        return false;
    if (m_edge.nowMs() - it->keptAtMs >= KeepLastBlockMs ||
        acked != static_cast<std::uint16_t>(it->block - 1)) {
        m_kept.erase(it);
        return false;
    }
    std::memcpy(m_out.data() + DataHeaderSize, it->data.constData(),
                static_cast<std::size_t>(it->data.size()));
    sendData(peer, QString(), it->block, static_cast<std::size_t>(it->data.size()));
    return true;
}

void TransferHandler::sendData(const Peer& to, const QString& name, std::uint32_t block,
                               std::size_t count) {
    // The data bytes, if any, are already in place behind the header.
    const std::size_t length = BuildDataPacket(block, m_out.data() + DataHeaderSize, count, m_out);
    m_edge.sendDatagram(to, QByteArrayView(m_out.data(), static_cast<qsizetype>(length)));
    m_edge.blockSent(to, name, block);
}

TransferHandler::Transfer* TransferHandler::find(const Peer& peer) {
    const auto it = std::find_if(m_transfers.begin(), m_transfers.end(),
                                 [&](const Transfer& t) { return t.peer == peer; });
    return it == m_transfers.end() ? nullptr : &*it;
}

TransferHandler::Transfer& TransferHandler::startTransfer(const Peer& peer) {
    std::erase_if(m_kept, [&](const KeptBlock& k) { return k.peer == peer; });
    if (Transfer* existing = find(peer)) {
        existing->file.reset();
        existing->aheadSize = 0;
        existing->lastActive = ++m_clock;
        return *existing;
    }
    if (m_transfers.size() >= std::size_t{MaxTransfers}) {
        const auto oldest = std::min_element(
            m_transfers.begin(), m_transfers.end(),
            [](const Transfer& a, const Transfer& b) { return a.lastActive < b.lastActive; });
        m_transfers.erase(oldest);
    }
    Transfer& added = m_transfers.emplace_back();
    added.peer = peer;
    added.lastActive = ++m_clock;
    return added;
}

void TransferHandler::forget(const Peer& peer) {
    std::erase_if(m_transfers, [&](const Transfer& t) { return t.peer == peer; });
}

} // namespace quorvane::tftp
