#pragma once

#include "dashboard/http/HttpServer.h"

#include <QObject>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <memory>

namespace quorvane::dashboard {

// One /export.csv download: the rows of quorvane-record export, read on a
// thread of its own with its own read-only connection and handed over in
// chunks as the client takes them, so neither the file nor a slow client's
// backlog is ever held whole, and the event streams never wait for it.
// The thread talks by queued calls; a semaphore of chunk credits is its
// only brake (a queued signal cannot make a reader wait).
class CsvExport final : public QObject {
    Q_OBJECT
public:
    // Deletes itself when the download ends or its client goes.
    static void Start(HttpServer& http, ExchangeId id, const QString& where, qint64 since);
    ~CsvExport() override;

private:
    CsvExport(HttpServer& http, ExchangeId id);
    Q_INVOKABLE void chunk(const QByteArray& bytes);
    Q_INVOKABLE void done();
    void credit();

    HttpServer& m_http;
    ExchangeId m_id;
    QSemaphore m_credits;
    std::atomic<bool> m_cancelled{false};
    int m_owed = 0;
    std::unique_ptr<QThread> m_thread;
};

} // namespace quorvane::dashboard
