#include "core/tftp/TransferHandler.h"

#include "core/tftp/OptionNegotiation.h"
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
      m_hooks(&m_serveEverything), m_out(DataHeaderSize + DefaultMaxBlockSize) {}

TransferHandler::~TransferHandler() = default;

void TransferHandler::setHooks(TransferHooks* hooks) {
    m_hooks = hooks ? hooks : &m_serveEverything;
}

void TransferHandler::setMaxBlockSize(std::uint32_t size) {
    m_maxBlockSize = std::clamp(size, MinBlockSize, MaxBlockSize);
    // Never smaller: a transfer in progress may use a larger block.
    if (m_out.size() < DataHeaderSize + m_maxBlockSize)
        m_out.resize(DataHeaderSize + m_maxBlockSize);
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
    case Opcode::Error:
        endQuietly(from);
        break;
    default: // WRQ, DATA and anything unknown
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
    // A standard client's request: a package request, since it carries no CRC.
    const std::optional<AskedOptions> asked = ReadAskedOptions(m_in);
    if (asked && repeatOptionAck(from, name))
        return;
    const ReadRequest request{from, name, asked ? 0 : ReadRequestCrc(m_in)};

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
    if (!asked) {
        sendWindow(transfer, CompletionVariant::FirstBlock);
        return;
    }
    AcceptedOptions accepted = Negotiate(*asked, m_maxBlockSize, opened.size);
    transfer.blockSize = accepted.blockSize;
    transfer.windowSize = accepted.windowSize;
    if (accepted.optionAck.isEmpty()) {
        transfer.pace = Pace::Windows;
        sendWindow(transfer, CompletionVariant::FirstBlock);
        return;
    }
    transfer.pace = Pace::Offered;
    transfer.optionAck = std::move(accepted.optionAck);
    m_edge.sendDatagram(from, transfer.optionAck);
}

// The client lost the OACK and asks again: the same answer, not a new board.
bool TransferHandler::repeatOptionAck(const Peer& from, const QString& name) {
    Transfer* transfer = find(from);
    if (!transfer || transfer->pace != Pace::Offered || transfer->request.name != name)
        return false;
    transfer->lastActive = ++m_clock;
    m_edge.sendDatagram(from, transfer->optionAck);
    return true;
}

// The client refused the OACK or gave up: no answer, the transfer is over.
void TransferHandler::endQuietly(const Peer& from) {
    std::erase_if(m_kept, [&](const KeptBlock& k) { return k.negotiated && k.peer == from; });
    Transfer* transfer = find(from);
    if (!transfer || transfer->pace == Pace::LockStep)
        return;
    const bool nothingSent = transfer->pace == Pace::Offered;
    const ReadRequest request = transfer->request;
    forget(from);
    if (nothingSent)
        m_hooks->OnServeFailed(request);
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
    transfer->lastActive = ++m_clock;
    if (transfer->pace != Pace::LockStep) {
        ackWindow(*transfer, acked);
        return;
    }
    // The acknowledged block is the latest one at or below the counter with
    // those low 16 bits; an older one sends the block after it again.
    const std::uint32_t behind = static_cast<std::uint16_t>(transfer->block - acked);
    if (behind <= transfer->block)
        transfer->block -= behind;
    sendWindow(*transfer, CompletionVariant::Acknowledgement);
}

// RFC 7440: the next window follows the acknowledged block, wherever in the
// window in flight it is. Nothing before that window is ever sent again.
void TransferHandler::ackWindow(Transfer& transfer, std::uint16_t acked) {
    if (transfer.pace == Pace::Offered) {
        if (acked != 0)
            return;
        transfer.pace = Pace::Windows;
        sendWindow(transfer, CompletionVariant::Acknowledgement);
        return;
    }
    const std::uint32_t behind = static_cast<std::uint16_t>(transfer.block - acked);
    if (behind > transfer.block - transfer.base ||
        isRepeat(transfer.block - behind, transfer.base, transfer.windowSentMs))
        return;
    transfer.block -= behind;
    transfer.base = transfer.block;
    sendWindow(transfer, CompletionVariant::Acknowledgement);
}

// The acknowledgement that started the window in flight, again before a client
// could have timed out: a doubled datagram, not a loss.
bool TransferHandler::isRepeat(std::uint32_t acked, std::uint32_t base, std::uint64_t sentMs) {
    return acked == base && m_edge.nowMs() - sentMs < RepeatWindowMs;
}

void TransferHandler::sendWindow(Transfer& transfer, CompletionVariant variant) {
    transfer.windowSentMs = m_edge.nowMs();
    for (std::uint32_t sent = 0; sent < transfer.windowSize; ++sent) {
        const qint64 count = transfer.file ? readBlock(transfer, m_out.data() + DataHeaderSize) : 0;
        ++transfer.block;
        const Peer peer = transfer.peer; // `transfer` goes away on completion
        sendData(peer, transfer.request.name, transfer.block, static_cast<std::size_t>(count));
        m_hooks->OnBlockSent(peer);
        if (count < qint64{transfer.blockSize}) {
            complete(peer, variant,
                     QByteArrayView(m_out.data() + DataHeaderSize, static_cast<qsizetype>(count)));
            return;
        }
    }
}

// One read call serves many blocks; a block is taken from what was read ahead
// only when all of it is there, so the file's last block and a failed read
// are always read afresh.
qint64 TransferHandler::readBlock(Transfer& transfer, char* out) {
    const qint64 segment{transfer.blockSize};
    const qint64 capacity = std::max(ReadAheadSize, segment);
    const qint64 offset = qint64{transfer.block} * segment;
    const qint64 start = offset - transfer.aheadOffset;
    if (start < 0 || start + segment > transfer.aheadSize) {
        if (!transfer.ahead)
            transfer.ahead = std::make_unique<char[]>(static_cast<std::size_t>(capacity));
        transfer.aheadOffset = offset;
        transfer.aheadSize = std::clamp<qint64>(
            transfer.file->readAt(offset, transfer.ahead.get(), capacity), 0, capacity);
        const qint64 count = std::min(segment, transfer.aheadSize);
        std::memcpy(out, transfer.ahead.get(), static_cast<std::size_t>(count));
        return count;
    }
    std::memcpy(out, transfer.ahead.get() + start, static_cast<std::size_t>(segment));
    return segment;
}

void TransferHandler::complete(const Peer& peer, CompletionVariant variant,
                               QByteArrayView lastData) {
    Transfer* transfer = find(peer);
    const bool active = transfer && transfer->active;
    if (active) {
        const ReadRequest request = transfer->request;
        // Copied before the workflow runs: what it sends must not matter.
        KeptBlock kept = keptWindow(*transfer, lastData);
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
        keep(std::move(kept));
    }
    forget(peer);
    if (variant == CompletionVariant::Acknowledgement)
        m_edge.logLine(active ? kClosed : kNotClosed);
}

// The dialect's last block; a negotiated transfer's whole last window, since
// its client may acknowledge any block of it.
TransferHandler::KeptBlock TransferHandler::keptWindow(Transfer& transfer,
                                                       QByteArrayView lastData) const {
    KeptBlock kept{transfer.peer,
                   transfer.block,
                   transfer.block,
                   transfer.blockSize,
                   transfer.pace != Pace::LockStep,
                   transfer.base,
                   transfer.windowSentMs,
                   lastData.toByteArray(),
                   0};
    if (!kept.negotiated || transfer.base + 1 >= transfer.block)
        return kept;
    const qint64 size = qint64{transfer.block - transfer.base - 1} * transfer.blockSize;
    QByteArray before(size, Qt::Uninitialized);
    if (transfer.file->readAt(qint64{transfer.base} * transfer.blockSize, before.data(), size) ==
        size) {
        kept.first = transfer.base + 1;
        kept.data.prepend(before);
    }
    return kept;
}

void TransferHandler::keep(KeptBlock kept) {
    const std::uint64_t now = m_edge.nowMs();
    std::erase_if(m_kept, [&](const KeptBlock& k) {
        return k.peer == kept.peer || now - k.keptAtMs >= KeepLastBlockMs;
    });
    if (m_kept.size() >= std::size_t{MaxKeptBlocks})
        m_kept.erase(m_kept.begin()); // kept in the order they came
    kept.keptAtMs = now;
    m_kept.push_back(std::move(kept));
    qsizetype bytes = 0;
    for (auto it = m_kept.rbegin(); it != m_kept.rend(); ++it) {
        bytes += it->data.size();
        if (bytes > MaxKeptBytes) {
            it->data.clear();
            it->first = it->last + 1; // nothing to send again
        }
    }
}

// The dialect's router gets its last block again for an acknowledgement of
// the block before it; its final acknowledgement is answered as it always
// was. A negotiated client gets the rest of its last window after any block
// of it, and nothing at all for its final acknowledgement.
bool TransferHandler::resendKeptBlock(const Peer& peer, std::uint16_t acked) {
    const auto it = std::find_if(m_kept.begin(), m_kept.end(),
                                 [&](const KeptBlock& k) { return k.peer == peer; });
    if (it == m_kept.end())
        return false;
    const std::uint32_t behind = static_cast<std::uint16_t>(it->last - acked);
    const bool expired = m_edge.nowMs() - it->keptAtMs >= KeepLastBlockMs;
    if (!it->negotiated && (expired || behind != 1)) {
        m_kept.erase(it);
        return false;
    }
    if (expired) {
        m_kept.erase(it);
        return true;
    }
    if (behind == 0) {
        // Done: a doubled final acknowledgement gets no answer either.
        it->data.clear();
        it->first = it->last + 1;
        return true;
    }
    if (behind > it->last - it->first + 1 ||
        (it->negotiated && isRepeat(it->last - behind, it->base, it->sentMs)))
        return true;
    it->base = it->last - behind;
    it->sentMs = m_edge.nowMs();
    for (std::uint32_t block = it->base + 1; block <= it->last; ++block) {
        const qsizetype offset = qsizetype{block - it->first} * it->blockSize;
        const auto count =
            static_cast<std::size_t>(std::min<qsizetype>(it->blockSize, it->data.size() - offset));
        std::memcpy(m_out.data() + DataHeaderSize, it->data.constData() + offset, count);
        sendData(peer, QString(), block, count);
    }
    return true;
}

void TransferHandler::sendData(const Peer& to, const QString& name, std::uint32_t block,
                               std::size_t count) {
    // The data bytes, if any, are already in place behind the header.
    WriteDataHeader(block, m_out.data());
    m_edge.sendDatagram(to, QByteArrayView(m_out.data(), qsizetype(DataHeaderSize + count)));
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
        *existing = Transfer{};
        existing->peer = peer;
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
