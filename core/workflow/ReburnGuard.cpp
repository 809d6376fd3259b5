#include "core/workflow/ReburnGuard.h"

#include "core/log/StationLog.h"
#include "core/workflow/OperatorInterface.h"
#include "core/workflow/ServerHold.h"

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

bool ReburnGuard::clears(const QString& label, const record::AttemptId& attempt, bool holdServer,
                         Then then) {
    const QString key = label.toUpper();
    if (m_confirmed.erase(key) > 0)
        return true;
    const record::LabelCheck check = m_record.Check(key);
    if (check.localOnly)
        m_log.WriteLogFormat("%s只在本站记录中查重(生产数据库不可用)", qUtf8Printable(key));
    if (!check.written)
        return true;
    m_asking = Asking{m_hold.nextId(), label, attempt, holdServer, std::move(then)};
    // The scan dialog holds the server already; a router asking by itself
    // waits with its requests queued while the operator decides.
    if (holdServer)
        m_hold.hold();
    m_op.AskReburn(m_asking->id, Question(key, check));
    return false;
}

void ReburnGuard::answered(std::uint64_t id, bool burnAgain) {
    if (!m_asking || m_asking->id != id)
        return; // stopped meanwhile, or answered already
    const Asking asked = std::move(*m_asking);
    m_asking.reset();
    m_log.WriteLogFormat(burnAgain ? "%s已烧录过,确认重新烧录" : "%s已烧录过,拒绝重新烧录",
                         qUtf8Printable(asked.label));
    if (!asked.attempt.isEmpty())
        m_record.ReburnAnswered(asked.attempt, burnAgain);
    if (!burnAgain)
        m_refused.insert(asked.label.toUpper());
    asked.then(burnAgain);
    if (asked.holdsServer)
        m_hold.release();
}

void ReburnGuard::drop() {
    m_confirmed.clear();
    m_refused.clear();
    if (!m_asking)
        return;
    const std::uint64_t id = m_asking->id;
    m_asking.reset();
    m_op.CancelReburn(id);
}

} // namespace quorvane
