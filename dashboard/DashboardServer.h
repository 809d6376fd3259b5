#pragma once

#include "dashboard/DashboardOptions.h"
#include "dashboard/EventStreams.h"
#include "dashboard/http/HttpServer.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>

#include <functional>

namespace quorvane::dashboard {

class RecordSource;

// The routes of docs/dashboard-api.md over one record, read-only.
class DashboardServer final : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    DashboardServer(const DashboardOptions& options, RecordSource& source, Clock clock = {},
                    QObject* parent = nullptr);
    ~DashboardServer() override;

    // The port bound; 0 when it failed, with the reason in error.
    quint16 listen(QString* error);

private:
    void handle(const HttpRequest& request, ExchangeId id);
    void json(ExchangeId id, const QJsonObject& body, int status = 200);
    void fail(ExchangeId id, int status, const QString& reason);
    void boards(const HttpRequest& request, ExchangeId id);
    void summary(const HttpRequest& request, ExchangeId id);
    void stations(ExchangeId id);
    void alerts(ExchangeId id);
    void exportCsv(const HttpRequest& request, ExchangeId id);
    void page(const QString& path, ExchangeId id);
    // The since parameter as a time; the shift's start when absent; null when bad.
    std::optional<qint64> since(const HttpRequest& request, ExchangeId id);
    qint64 shiftStart() const;
    bool silent(qint64 lastFinishedAt) const;

    DashboardOptions m_options;
    RecordSource& m_source;
    Clock m_clock;
    HttpServer m_http;
    EventStreams m_streams;
};

} // namespace quorvane::dashboard
