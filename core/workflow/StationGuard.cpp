// The MAC guard: no label goes to a second board without the operator's word.
#include "core/log/StationLog.h"
#include "core/personalise/MacAddress.h"
#include "core/workflow/Station.h"

#include <QDateTime>

namespace quorvane {

namespace {

QString Question(const QString& label, const record::LabelCheck& check) {
    const record::BoardAttempt& row = *check.written;
    QString text =
        QStringLiteral(
            "%1已于%2在%3(%4)烧录完成。\n同一块板返修请选\"是\"重新烧录;另一块板请选\"否\"。")
            .arg(label.toUpper(),
                 QDateTime::fromMSecsSinceEpoch(row.finishedAt)
                     .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                 row.station, row.folder);
    if (check.localOnly)
        text += QStringLiteral("\n(生产数据库不可用,只查了本站的记录)");
    if (check.localUnreadable)
        text += QStringLiteral("\n(本站生产记录无法读取,本站的记录没有查)");
    return text;
}

} // namespace

QString Station::macPackageLabel() const {
    const MacTriple triple = TripleFromMacField(m_state.m_strMac, m_state.m_nModel);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(triple.base.bytes.data()), 6).toHex().toUpper());
}

bool Station::isRefused(const QString& label) const {
    return m_reburnRefused.count(label.toUpper()) > 0;
}

bool Station::guardLabel(const QString& label, PendingReburn pending) {
    const QString key = label.toUpper();
    if (m_reburnConfirmed.erase(key) > 0)
        return true;
    const record::LabelCheck check = m_record->Check(key);
    if (check.localOnly)
        m_log.WriteLogFormat("%s只在本站记录中查重(生产数据库不可用)", qUtf8Printable(key));
    if (!check.written)
        return true;
    pending.id = m_nextId++;
    pending.label = label;
    m_reburn = pending;
    // The scan dialog holds the server already; a router asking by itself
    // waits with its requests queued while the operator decides.
    if (pending.kind == PendingReburn::Kind::RouterByName)
        holdServer();
    m_op.AskReburn(pending.id, Question(key, check));
    return false;
}

void Station::OnReburnAnswer(std::uint64_t id, bool burnAgain) {
    if (!m_reburn || m_reburn->id != id)
        return; // stopped meanwhile, or answered already
    const PendingReburn p = *m_reburn;
    m_reburn.reset();
    m_log.WriteLogFormat(burnAgain ? "%s已烧录过,确认重新烧录" : "%s已烧录过,拒绝重新烧录",
                         qUtf8Printable(p.label));
    if (p.row >= 0)
        m_record->ReburnAnswered(p.row, burnAgain);
    const QString key = p.label.toUpper();
    if (!burnAgain)
        m_reburnRefused.insert(key);

    using Kind = PendingReburn::Kind;
    switch (p.kind) {
    case Kind::ScanDialog:
        if (burnAgain)
            burnScannedLabel(p.label, p.ask);
        else
            finishMacAnswer(std::nullopt, p.ask);
        return;
    case Kind::ScanField:
        if (burnAgain) {
            m_reburnConfirmed.insert(key);
            OnScanEntered(p.label);
        }
        return;
    case Kind::RouterByName:
        if (burnAgain) {
            burnRequestedName(p.peer, p.name, p.row);
        } else {
            m_state.g_processing = 0;
            m_handOver.release();
        }
        releaseServer();
        return;
    }
}

} // namespace quorvane
