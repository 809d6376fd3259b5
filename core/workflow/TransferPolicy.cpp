#include "core/workflow/TransferPolicy.h"

#include "core/log/StationLog.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/MacPackage.h"
#include "core/tftp/PacketCodec.h"
#include "core/workflow/BoardLedger.h"
#include "core/workflow/Burner.h"
#include "core/workflow/DeviceRows.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/ReburnGuard.h"
#include "core/workflow/Selection.h"
#include "core/workflow/ServerHandle.h"
#include "core/workflow/ServerHold.h"
#include "core/workflow/StationState.h"

namespace quorvane {

using tftp::RequestVerdict;

RequestVerdict TransferPolicy::OnRequest(const tftp::ReadRequest& request) {
    StationState& s = m.state;
    s.g_ubootcrc = request.crc;
    const int row = s.g_curItem;
    m.log.WriteLogFormat("Uboot crc: %ld", static_cast<long>(s.g_ubootcrc));

    if (s.g_ubootcrc == 0) {
        s.m_byFlags |= SelectionOf(s, SelectionCheck::None).flags;
        m.ledger.takeRequest();
        // The current row is the board in hand's: this router gets its own.
        const int own =
            !m.ledger.inHandIsGone(request.peer, now()) ? m.rows.appendWaitingRow() : row;
        const Board& board = m.ledger.claim(own, request.peer);
        // Never questioned: the package carries whatever triple the station
        // holds, which nothing advances between boards, and routers asking
        // for it are served at once. A triple on several boards is counted.
        m.burner.BuildMacPackage(true, board.id);
        return RequestVerdict::Serve;
    }

    m.log.WriteLogFormat("Recieve a download require[g_nexttime = %d] [g_processing = %d]",
                         s.g_nexttime, s.g_processing);
    if (m.ledger.isRepeatOfMacSet(request, now())) {
        // Served "at once" it would find no file; counted as new, it would
        // have the operator scan the same board again.
        m.log.WriteLogFormat("重复请求,已忽略%s", qUtf8Printable(request.name));
        return RequestVerdict::Drop;
    }
    if (s.g_nexttime == 0 && s.g_processing == 1) {
        m.log.WriteLogFormat("Transmiting...wait a while %s\n", qUtf8Printable(request.name));
        return RequestVerdict::Drop;
    }
    // A label the operator would not burn again: its router asks in vain.
    if (s.g_nexttime == 0 && !s.m_bUpdateMAC && m.guard.isRefused(request.name)) {
        m.log.WriteLogFormat("%s已拒绝重新烧录,请求已忽略", qUtf8Printable(request.name));
        return RequestVerdict::Drop;
    }
    if (s.g_nexttime == 0)
        m.ledger.claim(row, request.peer);
    m.ledger.takeRequest();
    m.log.WriteLogFormat("Check MAC %d nexttime %d", s.m_bUpdateMAC ? 1 : 0, s.g_nexttime);

    if (s.g_nexttime != 0) {
        if (request.name.compare(s.m_strMac, Qt::CaseInsensitive) == 0)
            m.ledger.expectBack(request.peer, now()); // back for its file
        return RequestVerdict::Serve;
    }

    Board& board = *m.ledger.onRow(row);
    if (s.m_bUpdateMAC) {
        m.link.send(request.peer, tftp::MacWaitDatagram());
        m.ledger.advance(board, BoardEvent::AskLabel);
        m_ask = Ask{m.hold.nextId(), request.peer, request.name, board.id};
        m.hold.hold();
        m.op.AskForMac(m_ask->id);
        return RequestVerdict::Answered;
    }

    // The router asks for the file named after its own label.
    const tftp::Peer peer = request.peer;
    const QString name = request.name;
    const record::AttemptId attempt = board.id;
    const bool clear = m.guard.clears(name, attempt, true, [this, peer, name, attempt](bool yes) {
        if (yes) {
            burnRequestedName(peer, name, attempt);
            return;
        }
        if (Board* refused = m.ledger.find(attempt))
            m.ledger.advance(*refused, BoardEvent::ReburnRefused);
        m.ledger.release();
    });
    if (!clear)
        return RequestVerdict::Answered; // a yes serves its next request at once
    burnRequestedName(peer, name, attempt);
    return RequestVerdict::Serve;
}

void TransferPolicy::burnRequestedName(const tftp::Peer& peer, const QString& name,
                                       const record::AttemptId& attempt) {
    StationState& s = m.state;
    s.m_strMac = name;
    s.m_strScan = name;
    m.op.SetScanText(name);
    m.burner.SingleBurn(true, attempt);
    if (Board* board = m.ledger.find(attempt))
        m.ledger.labelled(*board, s.m_strMac);
    m.ledger.expectBack(peer, now());
}

void TransferPolicy::OnMacAnswer(std::uint64_t askId, const std::optional<QString>& label) {
    if (!m_ask || m_ask->id != askId)
        return; // stopped meanwhile, or answered already
    const Ask ask = *m_ask;
    m_ask.reset();

    std::optional<QString> accepted = label;
    // Whatever the dialog let through, only a label names a package file.
    if (accepted && CheckScanText(*accepted) != ScanVerdict::Accepted)
        accepted.reset();
    if (!accepted) {
        finishMacAnswer(std::nullopt, ask);
        return;
    }
    const QString scanned = *accepted;
    m.ledger.record().Scanned(ask.attempt, scanned);
    const bool clear = m.guard.clears(scanned, ask.attempt, false, [this, scanned, ask](bool yes) {
        if (yes) {
            burnScannedLabel(scanned, ask);
            return;
        }
        if (Board* refused = m.ledger.find(ask.attempt))
            m.ledger.advance(*refused, BoardEvent::ReburnRefused);
        finishMacAnswer(std::nullopt, ask);
    });
    if (clear)
        burnScannedLabel(scanned, ask);
}

void TransferPolicy::burnScannedLabel(const QString& label, const Ask& ask) {
    m.state.m_strMac = label;
    m.state.m_strScan = label;
    m.op.SetScanText(label);
    m.burner.SingleBurn(true, ask.attempt);
    m.hold.afterAcknowledgements([this, label, ask] { finishMacAnswer(label, ask); });
}

void TransferPolicy::finishMacAnswer(const std::optional<QString>& label, const Ask& ask) {
    Board* board = m.ledger.find(ask.attempt);
    QByteArray macSet;
    if (label) {
        macSet = tftp::MacSetDatagram(label->toLatin1());
        if (board)
            m.ledger.labelled(*board, *label);
        m.ledger.macSetSent(ask.peer, ask.name, *label, now());
        m.ledger.expectBack(ask.peer, now());
    } else {
        if (board)
            m.ledger.advance(*board, BoardEvent::ScanCancelled);
        m.ledger.release();
        macSet = tftp::MacSetDatagram({});
    }
    m.link.send(ask.peer, macSet);
    m.hold.release();
}

void TransferPolicy::dropAsk() {
    if (!m_ask)
        return;
    const std::uint64_t id = m_ask->id;
    m_ask.reset();
    m.op.CancelMacRequest(id);
}

// Judged by the completing router's own request and board: another router's
// request in between changes neither.
tftp::CompletionResult TransferPolicy::OnTransferComplete(const tftp::ReadRequest& request,
                                                          tftp::CompletionVariant variant) {
    StationState& s = m.state;
    Board* board = m.ledger.ofRouter(request.peer);
    if (!board)
        board = m.ledger.onRow(s.g_curItem);
    const int row = board ? board->row : s.g_curItem;
    const auto step = [&](BoardEvent event) {
        if (board)
            m.ledger.advance(*board, event);
        else
            m.ledger.advanceRow(row, event);
    };

    if (request.name.compare(QLatin1String("mac"), Qt::CaseInsensitive) == 0) {
        const std::uint32_t tick = now();
        const std::uint32_t elapsed = tick - s.m_dwStartTick;
        s.m_dwStartTick = tick;
        ++s.m_nDeviceNo;
        m.log.WriteLogFormat("升级文件下载完成,请不要断电,拨掉网线,升级下一块路由器板,路由器%"
                             "s耗时%d分%d秒\n",
                             qUtf8Printable(s.m_strMac), static_cast<int>(elapsed / 60000),
                             static_cast<int>(((elapsed + 999) / 1000) % 60));
        m.log.WriteLog(QString());
        step(BoardEvent::PackageOut);
    }

    if (request.crc == 0) {
        // The flags belong to the board in hand, if that is another router.
        if (m.ledger.inHandIsGone(request.peer, now()))
            m.ledger.release();
        step(BoardEvent::PackageServed);
        return tftp::CompletionResult::Continue;
    }

    std::uint32_t local = 0;
    if (s.m_bUpdateUboot) {
        const std::optional<std::uint32_t> checksum = BootLoaderChecksum(s.m_strUbootPath);
        if (!checksum) {
            m.hold.showMessage(QStringLiteral("%1不存在").arg(s.m_strUbootPath), false);
            return tftp::CompletionResult::EndService;
        }
        local = *checksum;
    }
    // The router's CRC travels as signed decimal: compare the bit patterns.
    if (local != 0 && local != static_cast<std::uint32_t>(request.crc)) {
        m.ledger.expectRefetch(request.peer, now());
        step(BoardEvent::Mismatch);
        return tftp::CompletionResult::Continue;
    }

    m.ledger.release();
    const bool acknowledged = variant == tftp::CompletionVariant::Acknowledgement;
    step(acknowledged ? BoardEvent::FilesOutAcked : BoardEvent::FilesOut);
    if (row == s.g_curItem)
        s.g_curItem = m.rows.appendWaitingRow();
    emit m.rows.ensureVisible(row, !acknowledged);
    return tftp::CompletionResult::Continue;
}

void TransferPolicy::OnServeFailed(const tftp::ReadRequest& request) {
    StationState& s = m.state;
    if (request.crc != 0 && s.g_nexttime == 1) {
        // Another board while the one in hand is still busy: turned away.
        if (!m.ledger.inHandIsGone(request.peer, now()))
            return;
        // Left set, the flags would serve every later board "at once" a file
        // that is not there until the service is restarted.
        m.ledger.release();
        if (Board* board = m.ledger.onRow(s.g_curItem))
            m.ledger.advance(*board, BoardEvent::Released);
        m.log.WriteLogFormat("%s不能发送,下一个请求按新设备处理", qUtf8Printable(request.name));
    } else if (request.crc == 0 && s.g_nexttime == 0) {
        // Nothing went out, so nothing is in hand: new boards are let in again.
        m.ledger.dropRequest();
        if (Board* board = m.ledger.ofRouter(request.peer))
            m.ledger.advance(*board, BoardEvent::Released);
    }
}

void TransferPolicy::OnBlockSent(const tftp::Peer& peer) {
    m.ledger.heardFrom(peer, now());
}

void TransferPolicy::OnDone(const tftp::Peer& /*peer*/, const QString& macText) {
    const int row = m.rows.findMacFromEnd(macText);
    if (row < 0)
        return;
    ++m.state.m_nDeviceNo;
    m.ledger.advanceRow(row, BoardEvent::Done);
}

} // namespace quorvane
