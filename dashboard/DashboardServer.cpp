#include "dashboard/DashboardServer.h"

#include "core/record/LineFacts.h"
#include "core/record/RecordStore.h"
#include "core/record/RecordSummary.h"
#include "dashboard/CsvExport.h"
#include "dashboard/DashboardJson.h"
#include "dashboard/RecordSource.h"
#include "dashboard/StaticPages.h"
#include "tools/record/RecordText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QSet>

namespace quorvane::dashboard {

namespace {

constexpr qint64 kSilentMs = 10 * 60 * 1000;
constexpr int kMaxLimit = 1000;
constexpr int kMaxText = 200;

const HeaderList kEveryResponse{
    {"Content-Security-Policy",
     "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
     "connect-src 'self'; object-src 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
};

} // namespace

DashboardServer::DashboardServer(const DashboardOptions& options, RecordSource& source, Clock clock,
                                 QObject* parent)
    : QObject(parent), m_options(options), m_source(source),
      m_clock(clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); }),
      m_http([this](const HttpRequest& r, ExchangeId id) { handle(r, id); }, kEveryResponse),
      m_streams(m_http, source) {}

DashboardServer::~DashboardServer() = default;

quint16 DashboardServer::listen(QString* error) {
    return m_http.listen(m_options.address, m_options.port, error);
}

void DashboardServer::json(ExchangeId id, const QJsonObject& body, int status) {
    m_http.respond(id, status, "application/json",
                   QJsonDocument(body).toJson(QJsonDocument::Compact));
}

void DashboardServer::fail(ExchangeId id, int status, const QString& reason) {
    json(id, {{"error", reason}}, status);
}

void DashboardServer::handle(const HttpRequest& request, ExchangeId id) {
    if (request.method != "GET")
        return fail(id, 405, QStringLiteral("only GET"));
    const QString& path = request.path;
    if (path == u"/api/boards")
        return boards(request, id);
    if (path == u"/api/summary")
        return summary(request, id);
    if (path == u"/api/stations")
        return stations(id);
    if (path == u"/api/alerts")
        return alerts(id);
    if (path == u"/export.csv")
        return exportCsv(request, id);
    if (path == u"/events")
        return m_streams.open(request, id);
    page(path, id);
}

void DashboardServer::page(const QString& path, ExchangeId id) {
    const QString resource = PageResource(path);
    QFile file(resource);
    if (resource.isEmpty() || !file.open(QIODevice::ReadOnly))
        return fail(id, 404, QStringLiteral("not found"));
    m_http.respond(id, 200, ContentType(resource), file.readAll());
}

void DashboardServer::boards(const HttpRequest& request, ExchangeId id) {
    const QUrlQuery& q = request.query;
    record::ChangeQuery query;
    if (q.hasQueryItem(QStringLiteral("since"))) {
        query.after = ChangeNumber(q.queryItemValue(QStringLiteral("since")).toLatin1());
        if (!query.after)
            return fail(id, 400, QStringLiteral("since takes a cursor (a change number)"));
    }
    if (q.hasQueryItem(QStringLiteral("limit"))) {
        bool ok = false;
        query.limit = q.queryItemValue(QStringLiteral("limit")).toInt(&ok);
        if (!ok || query.limit < 1 || query.limit > kMaxLimit)
            return fail(id, 400, QStringLiteral("limit takes 1 to %1").arg(kMaxLimit));
    }
    query.station = q.queryItemValue(QStringLiteral("station"), QUrl::FullyDecoded);
    query.label = q.queryItemValue(QStringLiteral("label"), QUrl::FullyDecoded);
    if (query.station.size() > kMaxText || query.label.size() > kMaxText)
        return fail(id, 400,
                    QStringLiteral("station and label take at most %1 characters").arg(kMaxText));
    record::RecordStore* store = m_source.store();
    QList<record::ChangedBoard> rows;
    QString error;
    if (!store || !record::ReadChanges(*store, query, &rows, &error))
        return fail(id, 503, QStringLiteral("the record cannot be read"));
    // Cut by the limit, the cursor is the last row given: asked again, it gives the rest.
    qint64 cursor = m_source.cursor();
    if (query.after && rows.size() == query.limit)
        cursor = rows.last().change;
    else
        for (const record::ChangedBoard& row : std::as_const(rows))
            cursor = std::max(cursor, row.change);
    QJsonArray boards;
    for (const record::ChangedBoard& row : std::as_const(rows)) {
        const QJsonObject board = BoardJson(row.change, row.board);
        query.after ? boards.prepend(board) : boards.append(board);
    }
    json(id, {{"cursor", cursor}, {"boards", boards}});
}

std::optional<qint64> DashboardServer::since(const HttpRequest& request, ExchangeId id) {
    const QString text = request.query.queryItemValue(QStringLiteral("since"), QUrl::FullyDecoded);
    if (!request.query.hasQueryItem(QStringLiteral("since")))
        return shiftStart();
    const std::optional<qint64> at = ParseSince(text, m_clock());
    if (!at)
        fail(id, 400, QStringLiteral("since takes an ISO 8601 time"));
    return at;
}

qint64 DashboardServer::shiftStart() const {
    return ShiftStart(m_options.shifts, m_clock()).toMSecsSinceEpoch();
}

bool DashboardServer::silent(qint64 lastFinishedAt) const {
    return m_clock().toMSecsSinceEpoch() - std::max(lastFinishedAt, shiftStart()) >= kSilentMs;
}

void DashboardServer::summary(const HttpRequest& request, ExchangeId id) {
    const std::optional<qint64> from = since(request, id);
    if (!from)
        return;
    record::RecordStore* store = m_source.store();
    QList<record::StationSeen> seen;
    QList<record::HourCount> hours;
    QMap<QString, record::RecordSummary> summaries;
    record::RecordSummary line;
    QStringList names;
    QString error;
    const bool listed = store && record::Stations(*store, &seen, &error);
    for (const record::StationSeen& station : std::as_const(seen))
        names.append(station.station);
    if (!listed || !record::HourlyWritten(*store, *from, &hours, &error) ||
        !record::SummariseStations(*store, *from, names, &summaries, &line, &error))
        return fail(id, 503, QStringLiteral("the record cannot be read"));
    const qint64 shift = shiftStart();
    QJsonArray stations;
    int active = 0;
    for (const record::StationSeen& station : std::as_const(seen)) {
        const record::RecordSummary s = summaries.value(station.station);
        if (station.lastFinishedAt >= shift)
            ++active;
        QJsonObject sum = SummaryJson(s, m_options.target);
        sum.insert("station", station.station);
        sum.insert("silent", silent(station.lastFinishedAt));
        stations.append(sum);
    }
    const std::optional<int> lineTarget =
        m_options.target ? std::optional(*m_options.target * active) : std::nullopt;
    QJsonArray hourly;
    for (const record::HourCount& h : std::as_const(hours))
        hourly.append(
            QJsonObject{{"hour", IsoTime(h.hour)}, {"station", h.station}, {"boards", h.boards}});
    json(id, {{"since", IsoTime(*from)},
              {"shiftStart", IsoTime(shift)},
              {"targetPerStation", m_options.target ? QJsonValue(*m_options.target) : QJsonValue()},
              {"line", SummaryJson(line, lineTarget)},
              {"stations", stations},
              {"hourly", hourly}});
}

void DashboardServer::stations(ExchangeId id) {
    record::RecordStore* store = m_source.store();
    QList<record::StationSeen> seen;
    if (!store || !record::Stations(*store, &seen))
        return fail(id, 503, QStringLiteral("the record cannot be read"));
    QJsonArray stations;
    for (const record::StationSeen& s : std::as_const(seen))
        stations.append(QJsonObject{{"station", s.station},
                                    {"lastBoardAt", IsoTime(s.lastFinishedAt)},
                                    {"silent", silent(s.lastFinishedAt)}});
    json(id, {{"stations", stations}});
}

void DashboardServer::alerts(ExchangeId id) {
    record::RecordStore* store = m_source.store();
    const qint64 from = shiftStart();
    QList<record::BoardAttempt> labelled;
    record::RowFilter repeated;
    repeated.since = from;
    repeated.repeated = true;
    QString error;
    QList<record::BoardAttempt> macs;
    if (!store || !record::RepeatedLabels(*store, from, &labelled, &error) ||
        (macs = store->list(repeated, &error), !error.isEmpty()))
        return fail(id, 503, QStringLiteral("the record cannot be read"));
    // Grouped in the order the rows come: by label, by claim time.
    const auto group = [](const QList<record::BoardAttempt>& rows, const char* key,
                          QString record::BoardAttempt::*field) {
        QMap<QString, QJsonArray> byKey;
        for (const record::BoardAttempt& row : rows)
            byKey[row.*field].append(AlertBoardJson(row));
        QJsonArray out;
        for (auto it = byKey.cbegin(); it != byKey.cend(); ++it)
            out.append(QJsonObject{{key, it.key()}, {"boards", it.value()}});
        return out;
    };
    json(id, {{"labels", group(labelled, "label", &record::BoardAttempt::label)},
              {"macs", group(macs, "baseMac", &record::BoardAttempt::baseMac)}});
}

void DashboardServer::exportCsv(const HttpRequest& request, ExchangeId id) {
    qint64 from = 0;
    if (request.query.hasQueryItem(QStringLiteral("since"))) {
        const std::optional<qint64> at = since(request, id);
        if (!at)
            return;
        from = *at;
    }
    CsvExport::Start(m_http, id, m_source.where(), from);
}

} // namespace quorvane::dashboard
