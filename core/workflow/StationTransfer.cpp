// The device policy at the transfer server's three points.
#include "core/log/StationLog.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageSources.h"
#include "core/tftp/PacketCodec.h"
#include "core/workflow/Station.h"

namespace quorvane {

namespace {

const QString kClaimedText = QStringLiteral("************");
const QString kAskText = QStringLiteral("找到一个新设备，请扫描MAC码");
const QString kAgainText = QStringLiteral("等待再次传输....");
const QString kWritingText = QStringLiteral("下载完成,正在写入....");
const QString kDoneText = QStringLiteral("设备写入完成，可以移除");

constexpr int kFirstBlockPeriodMs = 600;
constexpr int kAcknowledgementPeriodMs = 800;
constexpr int kMacPackagePeriodMs = 900;

} // namespace

void Station::claimRow(int row, const tftp::Peer& router) {
    // The last board's timers on this row die with its attempt: left running,
    // they would finish the next board as written.
    for (const int id : {row, row + kSecondTimerFamily}) {
        if (m_timerAttempts.remove(id) > 0)
            m_rows.timers().KillTimer(id);
    }
    m_rows.setText(row, DeviceRows::MacColumn, kClaimedText);
    m_rows.setProgressMax(row, 100);
    m_rows.setProgress(row, 1);
    m_record->Claimed(row, router.address.toString(), router.port);
}

void Station::startRowTimer(int row, int timerId, int periodMs) {
    m_timerAttempts.insert(timerId, m_record->attemptIdOnRow(row));
    m_rows.timers().SetTimer(timerId, periodMs);
}

tftp::RequestVerdict Station::OnRequest(const tftp::ReadRequest& request) {
    StationState& s = m_state;
    s.g_ubootcrc = request.crc;
    const int row = s.g_curItem;
    m_log.WriteLogFormat("Uboot crc: %ld", static_cast<long>(s.g_ubootcrc));

    if (s.g_ubootcrc == 0) {
        if (s.m_bUpdateMAC)
            s.m_byFlags |= kSelectMac;
        if (s.m_bUpdateUboot)
            s.m_byFlags |= kSelectBootLoader;
        if (s.m_bRestoreCfg)
            s.m_byFlags |= kSelectConfig;
        if (s.m_bUpdateRoot)
            s.m_byFlags |= kSelectRoot;
        s.g_processing = 1;
        // The current row is the board in hand's: this router gets its own.
        const int own =
            m_handOver.holdsAnother(request.peer, now()) ? m_rows.appendWaitingRow() : row;
        claimRow(own, request.peer);
        // Never questioned: the package carries whatever triple the station
        // holds, which nothing advances between boards, and routers asking
        // for it are served at once. A triple on several boards is counted.
        buildMacPackage(true, own);
        m_routerRows.assign(request.peer, own);
        return tftp::RequestVerdict::Serve;
    }

    m_log.WriteLogFormat("Recieve a download require[g_nexttime = %d] [g_processing = %d]",
                         s.g_nexttime, s.g_processing);
    if (m_handOver.isRepeatOfMacSet(request, now())) {
        // Served "at once" it would find no file; counted as new, it would
        // have the operator scan the same board again.
        m_log.WriteLogFormat("重复请求,已忽略%s", qUtf8Printable(request.name));
        return tftp::RequestVerdict::Drop;
    }
    if (s.g_nexttime == 0 && s.g_processing == 1) {
        m_log.WriteLogFormat("Transmiting...wait a while %s\n", qUtf8Printable(request.name));
        return tftp::RequestVerdict::Drop;
    }
    // A label the operator would not burn again: its router asks in vain.
    if (s.g_nexttime == 0 && !s.m_bUpdateMAC && isRefused(request.name)) {
        m_log.WriteLogFormat("%s已拒绝重新烧录,请求已忽略", qUtf8Printable(request.name));
        return tftp::RequestVerdict::Drop;
    }
    if (s.g_nexttime == 0)
        claimRow(row, request.peer);
    s.g_processing = 1;
    m_log.WriteLogFormat("Check MAC %d nexttime %d", s.m_bUpdateMAC ? 1 : 0, s.g_nexttime);

    if (s.g_nexttime != 0) {
        if (request.name.compare(s.m_strMac, Qt::CaseInsensitive) == 0)
            m_handOver.takeInHand(request.peer, now()); // back for its file
        m_routerRows.assign(request.peer, row);
        return tftp::RequestVerdict::Serve;
    }

    if (s.m_bUpdateMAC) {
        m_link->send(request.peer, tftp::MacWaitDatagram());
        m_rows.setText(row, DeviceRows::StatusColumn, kAskText);
        PendingAsk ask;
        ask.id = m_nextId++;
        ask.peer = request.peer;
        ask.name = request.name;
        ask.row = row;
        m_ask = ask;
        holdServer();
        m_op.AskForMac(ask.id);
        return tftp::RequestVerdict::Answered;
    }

    // The router asks for the file named after its own label.
    PendingReburn guarded;
    guarded.kind = PendingReburn::Kind::RouterByName;
    guarded.row = row;
    guarded.peer = request.peer;
    guarded.name = request.name;
    if (!guardLabel(request.name, guarded))
        return tftp::RequestVerdict::Answered; // a yes serves its next request at once
    burnRequestedName(request.peer, request.name, row);
    return tftp::RequestVerdict::Serve;
}

void Station::burnRequestedName(const tftp::Peer& peer, const QString& name, int row) {
    StationState& s = m_state;
    s.m_strMac = name;
    s.m_strScan = name;
    m_op.SetScanText(name);
    runSingleBurn(true, row);
    m_rows.setText(row, DeviceRows::MacColumn, s.m_strMac);
    s.g_nexttime = 1;
    m_handOver.takeInHand(peer, now());
    m_routerRows.assign(peer, row);
}

void Station::OnMacAnswer(std::uint64_t askId, const std::optional<QString>& label) {
    if (!m_ask || m_ask->id != askId)
        return; // stopped meanwhile, or answered already
    const PendingAsk ask = *m_ask;
    m_ask.reset();

    std::optional<QString> accepted = label;
    // Whatever the dialog let through, only a label names a package file.
    if (accepted && CheckScanText(*accepted) != ScanVerdict::Accepted)
        accepted.reset();

    if (!accepted) {
        finishMacAnswer(std::nullopt, ask);
        return;
    }
    m_record->Scanned(ask.row, *accepted);
    PendingReburn guarded;
    guarded.kind = PendingReburn::Kind::ScanDialog;
    guarded.row = ask.row;
    guarded.ask = ask;
    if (guardLabel(*accepted, guarded))
        burnScannedLabel(*accepted, ask);
}

void Station::burnScannedLabel(const QString& label, const PendingAsk& ask) {
    m_state.m_strMac = label;
    m_state.m_strScan = label;
    m_op.SetScanText(label);
    runSingleBurn(true, ask.row);
    afterAcknowledgements([this, label, ask] { finishMacAnswer(label, ask); });
}

void Station::finishMacAnswer(const std::optional<QString>& label, const PendingAsk& ask) {
    QByteArray macSet;
    if (label) {
        macSet = tftp::MacSetDatagram(label->toLatin1());
        m_rows.setText(ask.row, DeviceRows::MacColumn, *label);
        m_state.g_nexttime = 1;
        m_handOver.macSetSent(ask.peer, ask.name, *label, now());
        m_handOver.takeInHand(ask.peer, now());
    } else {
        m_record->ScanCancelled(ask.row);
        m_handOver.release();
        m_state.g_nexttime = 0;
        m_state.g_processing = 0;
        macSet = tftp::MacSetDatagram({});
    }
    m_link->send(ask.peer, macSet);
    releaseServer();
}

// Judged by the completing router's own request and row: another router's
// request in between changes neither.
tftp::CompletionResult Station::OnTransferComplete(const tftp::ReadRequest& request,
                                                   tftp::CompletionVariant variant) {
    StationState& s = m_state;
    const int row = m_routerRows.take(request.peer).value_or(s.g_curItem);

    if (request.name.compare(QLatin1String("mac"), Qt::CaseInsensitive) == 0) {
        const std::uint32_t tick = now();
        const std::uint32_t elapsed = tick - s.m_dwStartTick;
        s.m_dwStartTick = tick;
        ++s.m_nDeviceNo;
        m_log.WriteLogFormat("升级文件下载完成,请不要断电,拨掉网线,升级下一块路由器板,路由器%"
                             "s耗时%d分%d秒\n",
                             qUtf8Printable(s.m_strMac), static_cast<int>(elapsed / 60000),
                             static_cast<int>(((elapsed + 999) / 1000) % 60));
        m_log.WriteLog(QString());
        m_rows.setProgress(row, 50);
        startRowTimer(row, row + kSecondTimerFamily, kMacPackagePeriodMs);
        m_op.PlaySound(135);
    }

    if (request.crc == 0) {
        // The flags belong to the board in hand, if that is another router.
        if (!m_handOver.holdsAnother(request.peer, now())) {
            s.g_processing = 0;
            s.g_nexttime = 0;
            m_handOver.release();
        }
        m_record->Transferred(row, false);
        m_rows.setText(row, DeviceRows::StatusColumn, kAgainText);
        return tftp::CompletionResult::Continue;
    }

    std::uint32_t local = 0;
    if (s.m_bUpdateUboot) {
        const std::optional<std::uint32_t> checksum = BootLoaderChecksum(s.m_strUbootPath);
        if (!checksum) {
            showMessage(QStringLiteral("%1不存在").arg(s.m_strUbootPath), false);
            return tftp::CompletionResult::EndService;
        }
        local = *checksum;
    }
    // The router's CRC travels as signed decimal: compare the bit patterns.
    if (local != 0 && local != static_cast<std::uint32_t>(request.crc)) {
        s.g_processing = 0;
        s.g_nexttime = 1;
        m_handOver.takeInHand(request.peer, now());
        m_record->Transferred(row, true);
        m_rows.setText(row, DeviceRows::StatusColumn, kAgainText);
        return tftp::CompletionResult::Continue;
    }

    s.g_processing = 0;
    s.g_nexttime = 0;
    m_handOver.release();
    m_record->Transferred(row, false);
    m_rows.setText(row, DeviceRows::StatusColumn, kWritingText);
    m_rows.setProgress(row, 50);
    const bool acknowledged = variant == tftp::CompletionVariant::Acknowledgement;
    startRowTimer(row, row, acknowledged ? kAcknowledgementPeriodMs : kFirstBlockPeriodMs);
    if (row == s.g_curItem)
        s.g_curItem = m_rows.appendWaitingRow();
    emit m_rows.ensureVisible(row, !acknowledged);
    if (acknowledged)
        m_op.PlaySound(135);
    return tftp::CompletionResult::Continue;
}

void Station::OnServeFailed(const tftp::ReadRequest& request) {
    StationState& s = m_state;
    const std::optional<int> row = m_routerRows.take(request.peer);
    if (request.crc != 0 && s.g_nexttime == 1) {
        // Another board while the one in hand is still busy: turned away.
        if (!m_handOver.hasLapsed(request.peer, now()))
            return;
        // Left set, the flags would serve every later board "at once" a file
        // that is not there until the service is restarted.
        s.g_nexttime = 0;
        s.g_processing = 0;
        m_handOver.release();
        m_record->Released(s.g_curItem);
        m_log.WriteLogFormat("%s不能发送,下一个请求按新设备处理", qUtf8Printable(request.name));
    } else if (request.crc == 0 && s.g_nexttime == 0) {
        // Nothing went out, so nothing is in hand: new boards are let in again.
        s.g_processing = 0;
        if (row)
            m_record->Released(*row);
    }
}

void Station::OnBlockSent(const tftp::Peer& peer) {
    m_handOver.heardFrom(peer, now());
}

void Station::OnDone(const tftp::Peer& /*peer*/, const QString& macText) {
    const int row = m_rows.findMacFromEnd(macText);
    if (row < 0)
        return;
    m_rows.completeRow(row, row);
    m_timerAttempts.remove(row);
    ++m_state.m_nDeviceNo;
    m_record->Written(row);
    m_op.PlaySound(136);
}

} // namespace quorvane
