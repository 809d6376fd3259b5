#include "core/record/LineRecord.h"

#include "core/record/LineWorker.h"

#include <QDir>
#include <QMetaObject>
#include <QUrl>
#include <QUrlQuery>

namespace quorvane::record {

namespace {

// A server that vanishes without closing the connection (a cable pulled) is
// given up within seconds, not after the kernel's quarter of an hour: the
// guard would wait on it, and a closing station for it.
QString WithTimeouts(const QString& text) {
    QUrl url(text);
    QUrlQuery query(url);
    const std::pair<const char*, const char*> kDefaults[] = {{"keepalives_idle", "5"},
                                                             {"keepalives_interval", "2"},
                                                             {"keepalives_count", "3"},
                                                             {"tcp_user_timeout", "10000"}};
    for (const auto& [key, value] : kDefaults) {
        if (!query.hasQueryItem(QLatin1String(key)))
            query.addQueryItem(QLatin1String(key), QLatin1String(value));
    }
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

} // namespace

LineRecord::LineRecord(const QString& url, const QString& stationFolder, LineTiming timing,
                       QObject* parent)
    : QObject(parent), m_timing(timing), m_box(std::make_unique<LineMailbox>()) {
    const QString problem = LineUrlProblem(url);
    if (!problem.isEmpty()) {
        // Nothing to connect to: the station goes on with its own record.
        m_box->down = true;
        m_box->news.append({false, QStringLiteral("生产数据库地址%1无效,查重只查本站记录: %2")
                                       .arg(LineUrlForDisplay(url), problem)});
        QMetaObject::invokeMethod(this, "takeNews", Qt::QueuedConnection);
        return;
    }
    m_worker = std::make_unique<LineWorker>(
        *m_box, WithTimeouts(url), LineUrlForDisplay(url),
        QDir(stationFolder).filePath(ProductionRecord::FileName()), timing, this);
    m_worker->start();
}

LineRecord::~LineRecord() {
    if (!m_worker)
        return;
    {
        std::lock_guard lock(m_box->mutex);
        m_box->stopping = true;
    }
    m_box->wake.notify_one();
    m_worker->wait();
    // Takes the thread's last words under the lock that it wrote them with.
    std::lock_guard lock(m_box->mutex);
    Q_ASSERT(m_box->finished);
}

void LineRecord::rowSaved(const QString& id) {
    if (!m_worker)
        return;
    {
        std::lock_guard lock(m_box->mutex);
        m_box->saved.insert(Detached(id));
    }
    m_box->wake.notify_one();
}

LabelCheck LineRecord::check(const QString& label) {
    LabelCheck result;
    result.localOnly = true;
    if (!m_worker)
        return result;
    std::unique_lock lock(m_box->mutex);
    if (m_box->down)
        return result;
    const quint64 number = ++m_box->questions;
    const LineClock::time_point deadline = LineClock::now() + m_timing.checkWait;
    m_box->question = LineQuestion{number, Detached(label), deadline};
    m_box->wake.notify_one();
    const bool answered = m_box->answered.wait_until(
        lock, deadline, [&] { return m_box->answer && m_box->answer->number == number; });
    // Unanswered in time: withdrawn, or its late answer is left unread.
    m_box->question.reset();
    if (!answered)
        return result;
    result.localOnly = !m_box->answer->asked;
    result.written.swap(m_box->answer->written);
    m_box->answer.reset();
    return result;
}

void LineRecord::setNotice(Notice notice) {
    m_notice = std::move(notice);
    takeNews();
}

void LineRecord::takeNews() {
    if (!m_notice)
        return;
    QList<LineNews> news;
    {
        std::lock_guard lock(m_box->mutex);
        news.swap(m_box->news);
    }
    for (const LineNews& item : news)
        m_notice(item.reachable, item.text);
}

} // namespace quorvane::record
