#include "dashboard/CsvExport.h"

#include "core/record/RecordExport.h"
#include "core/record/RecordStore.h"

#include <QMetaObject>

namespace quorvane::dashboard {

namespace {

constexpr int kCredits = 4;
// A chunk's credit comes back once the socket holds less than this.
constexpr qint64 kBacklog = 256 * 1024;

} // namespace

CsvExport::CsvExport(HttpServer& http, ExchangeId id)
    : m_http(http), m_id(id), m_credits(kCredits) {
    connect(&http, &HttpServer::gone, this, [this](ExchangeId gone) {
        if (gone == m_id)
            done();
    });
    connect(&http, &HttpServer::drained, this, [this](ExchangeId id) {
        if (id == m_id)
            credit();
    });
}

CsvExport::~CsvExport() {
    m_cancelled = true;
    m_credits.release(kCredits);
    if (m_thread)
        m_thread->wait();
}

void CsvExport::Start(HttpServer& http, ExchangeId id, const QString& where, qint64 since) {
    if (!http.startStream(id, "text/csv; charset=utf-8",
                          {{"Content-Disposition", "attachment; filename=\"boards.csv\""}}))
        return;
    auto* job = new CsvExport(http, id);
    job->m_thread.reset(QThread::create([job, where, since] {
        // The same bytes as quorvane-record export, a chunk at a time.
        const auto hand = [job](QByteArrayView chunk) {
            job->m_credits.acquire();
            if (job->m_cancelled)
                return false;
            QMetaObject::invokeMethod(job, "chunk", Qt::QueuedConnection,
                                      Q_ARG(QByteArray, chunk.toByteArray()));
            return true;
        };
        QString error;
        const auto store = record::RecordStore::Open(where, &error, record::OpenMode::ReadOnly);
        record::RowFilter filter;
        filter.since = since;
        if (store)
            record::ExportBoards(*store, filter, record::ExportFormat::Csv, hand, &error);
        QMetaObject::invokeMethod(job, "done", Qt::QueuedConnection);
    }));
    job->m_thread->start();
}

void CsvExport::chunk(const QByteArray& bytes) {
    if (!m_http.write(m_id, bytes))
        return;
    ++m_owed;
    credit();
}

void CsvExport::credit() {
    const qint64 unsent = m_http.unsent(m_id);
    for (; m_owed > 0 && unsent >= 0 && unsent < kBacklog; --m_owed)
        m_credits.release();
}

void CsvExport::done() {
    if (m_cancelled.exchange(true))
        return;
    m_credits.release(kCredits);
    m_http.finish(m_id);
    deleteLater();
}

} // namespace quorvane::dashboard
