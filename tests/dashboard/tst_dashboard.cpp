// quorvane-dashboard's HTTP API against its server on a loopback port: the
// routes and bad parameters, the event stream, its cap, oversized requests,
// and a line database read by a role that may only SELECT.
#include "tests/support/PgCluster.h"

#include "core/record/RecordExport.h"
#include "core/record/RecordSchema.h"
#include "core/record/RecordStore.h"
#include "dashboard/DashboardServer.h"
#include "dashboard/RecordSource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

const QString kHostile = QStringLiteral("<img src=x onerror=alert(1)>");

record::BoardAttempt Row(const QString& id, const QString& station, const QString& label,
                         bool written) {
    record::BoardAttempt b;
    b.id = id;
    b.station = station;
    b.folder = "/f/";
    b.label = label;
    b.baseMac = label.left(12);
    b.claimedAt = QDateTime::currentMSecsSinceEpoch() - 60000;
    b.finishedAt = written ? b.claimedAt + 30000 : 0;
    b.outcome = written ? record::Outcome::WrittenDone : record::Outcome::InProgress;
    return b;
}

struct Reply {
    int status = 0;
    QByteArray body;
    QNetworkReply* raw = nullptr;
};

// A server over one record, asked over loopback.
struct Rig {
    explicit Rig(const QString& where) : source(where, where) {
        QString error;
        QVERIFY2(source.open(&error), qPrintable(error));
        dashboard::DashboardOptions options;
        options.port = 0;
        options.target = 40;
        server.emplace(options, source);
        port = server->listen(&error);
        QVERIFY2(port != 0, qPrintable(error));
    }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
    }
    Reply get(const QString& path) {
        QNetworkReply* r = net.get(QNetworkRequest(url(path)));
        RunUntil([r] { return r->isFinished(); }, 20000);
        r->deleteLater();
        return {r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), r->readAll(), r};
    }
    // A raw request; what came back until it holds `until`, the server
    // closed, or 10 s passed.
    QByteArray raw(const QByteArray& request, const QByteArray& until) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write(request);
        QByteArray answer;
        RunUntil(
            [&] {
                answer += socket.readAll();
                return answer.contains(until) ||
                       socket.state() == QAbstractSocket::UnconnectedState;
            },
            10000);
        return answer + socket.readAll();
    }
    dashboard::RecordSource source;
    std::optional<dashboard::DashboardServer> server;
    quint16 port = 0;
    QNetworkAccessManager net;
};

} // namespace

class DashboardTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<PgCluster> m_cluster;

    void save(const QString& where, const record::BoardAttempt& board) {
        QString error;
        const auto store = record::RecordStore::Open(where, &error);
        QVERIFY2(store && store->save(board, &error), qPrintable(error));
    }

    // The throwaway cluster with a line database that a SELECT-only role reads.
    bool lineDatabase() {
        if (m_cluster)
            return true;
        if (PgCluster::BinDir().isEmpty()) {
            QTest::qSkip("PostgreSQL is not installed (package postgresql)", __FILE__, __LINE__);
            return false;
        }
        m_cluster = std::make_unique<PgCluster>();
        if (!m_cluster->create(
                {"CREATE DATABASE line", "CREATE DATABASE alike", "CREATE ROLE reader LOGIN"})) {
            QTest::qFail(qPrintable(m_cluster->error), __FILE__, __LINE__);
            m_cluster.reset();
            return false;
        }
        save(m_cluster->url("line"), Row("a", "s1", "5E3A71000128", true));
        record::RecordStore::Open(m_cluster->url("line"), nullptr)
            ->database()
            .exec("GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader");
        return true;
    }

private slots:
    void initTestCase() {
        m_file = m_dir.filePath("production.db");
        save(m_file, Row("a", "s1", "5E3A71000128", true));
        save(m_file, Row("b", "s2", "5E3A71000128", true));
        save(m_file, Row("c", "s2", kHostile, false));
    }

    void routes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("holds");
        QTest::newRow("latest boards") << "/api/boards?limit=2" << 200 << R"("cursor":3)";
        QTest::newRow("since a cursor") << "/api/boards?since=2" << 200 << R"("id":"c")";
        QTest::newRow("by station") << "/api/boards?station=s1" << 200 << R"("station":"s1")";
        QTest::newRow("hostile label as data")
            << "/api/boards?label=%3Cimg" << 200 << R"("boards":[])";
        QTest::newRow("limit 1") << "/api/boards?limit=1" << 200 << R"("id":"c")";
        QTest::newRow("limit 0") << "/api/boards?limit=0" << 400 << "limit takes";
        QTest::newRow("limit too high") << "/api/boards?limit=1001" << 400 << "limit takes";
        QTest::newRow("negative cursor") << "/api/boards?since=-1" << 400 << "cursor";
        QTest::newRow("cursor not a number") << "/api/boards?since=1e3" << 400 << "cursor";
        QTest::newRow("summary") << "/api/summary" << 200 << R"("targetPerStation":40)";
        QTest::newRow("summary, bad time") << "/api/summary?since=soon" << 400 << "ISO 8601";
        QTest::newRow("stations") << "/api/stations" << 200 << R"("station":"s2")";
        QTest::newRow("a label written twice")
            << "/api/alerts" << 200 << R"("label":"5E3A71000128")";
        QTest::newRow("events, bad cursor") << "/events?since=x" << 400 << "change number";
        QTest::newRow("the page") << "/" << 200 << "<html";
        QTest::newRow("up and out") << "/static/../../etc/passwd" << 404 << "not found";
        QTest::newRow("encoded dots") << "/static/%2e%2e/%2e%2e/etc/passwd" << 404 << "not found";
        QTest::newRow("no such route") << "/api/nothing" << 404 << "not found";
    }
    void routes() {
        QFETCH(QString, path);
        Rig rig(m_file);
        const Reply reply = rig.get(path);
        QTEST(reply.status, "status");
        QFETCH(QString, holds);
        QVERIFY2(reply.body.contains(holds.toUtf8()), reply.body.left(300).constData());
        QVERIFY(reply.raw->rawHeader("Content-Security-Policy").contains("script-src 'self'"));
        QCOMPARE(reply.raw->rawHeader("X-Content-Type-Options"), "nosniff");
    }

    // A bad option is told without quoting a password.
    void badOptions_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no port") << QStringList{"--listen", "127.0.0.1"} << "takes ADDR:PORT";
        QTest::newRow("a name") << QStringList{"--listen", "line:80"} << "not an IP address";
        QTest::newRow("target 0") << QStringList{"--target", "0"} << "--target takes";
        QTest::newRow("24:00") << QStringList{"--shifts", "06:00,24:00"} << "--shifts takes";
        QTest::newRow("bad URL") << QStringList{"--db", "postgresql://u:s3cret@h/db?x=%zz"}
                                 << "--db postgresql://u:***@h/db";
        QTest::newRow("URL alone") << QStringList{"postgresql://u:s3cret@h/db"}
                                   << "unknown argument: postgresql://u:***@h/db";
    }
    void badOptions() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const auto parsed = dashboard::ParseOptions(args);
        const QString* text = std::get_if<QString>(&parsed);
        QVERIFY(text);
        QVERIFY2(text->contains(message) && !text->contains("s3cret"), qPrintable(*text));
    }

    // A file of a station that knows no change counter still shows, by row
    // id, and stays as it was.
    void olderFileStillShows() {
        const QString path = m_dir.filePath("older.db");
        const auto additions = [&path](const char* sql) {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "older");
            db.setDatabaseName(path);
            QString error;
            const bool done = db.open() &&
                              record::MigrateSchema(db, &error, record::kSchemaVersion, 0) &&
                              QSqlQuery(db).exec(sql);
            const int n = done ? record::SchemaAdditions(db) : -1;
            db = {};
            QSqlDatabase::removeDatabase("older");
            return n;
        };
        QCOMPARE(additions("INSERT INTO boards (id, station, folder, claimed_at, outcome) VALUES "
                           "('o', 's1', '/f/', 42, 'written-done')"),
                 0);
        {
            Rig rig(path);
            QVERIFY(rig.get("/api/boards").body.contains(R"("change":1)"));
            QVERIFY(rig.get("/api/boards?since=0").body.contains(R"("id":"o")"));
        }
        // The program says what the supervisor misses, for that file only.
        for (const QString& db : {path, m_file}) {
            Program program(
                {ToolPath("quorvane-dashboard"), "--db", db, "--listen", "127.0.0.1:0"});
            QTRY_VERIFY(program.output().contains("serving"));
            QCOMPARE(program.errors().contains("has no change counter yet"), db == path);
        }
        QCOMPARE(additions("SELECT 1"), 0);
    }

    // The CSV is quorvane-record export's, byte for byte; nothing writes.
    void exportAndNoWrites() {
        Rig rig(m_file);
        QByteArray expected;
        record::ExportBoards(*record::RecordStore::Open(m_file, nullptr), {},
                             record::ExportFormat::Csv, [&](QByteArrayView chunk) {
                                 expected += chunk;
                                 return true;
                             });
        QCOMPARE(rig.get("/export.csv").body, expected);
        QNetworkReply* post = rig.net.post(QNetworkRequest(rig.url("/api/boards")), "x");
        QTRY_VERIFY(post->isFinished());
        QCOMPARE(post->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 405);
    }

    // A header or body of 200 kB is cut off, and the server answers on.
    void oversizedRequests_data() {
        QTest::addColumn<QByteArray>("request");
        const QByteArray big(200 * 1024, 'a');
        QTest::newRow("header") << "GET / HTTP/1.1\r\nX-Big: " + big + "\r\n\r\n";
        QTest::newRow("body") << "POST / HTTP/1.1\r\nContent-Length: 204800\r\n\r\n" + big;
    }
    void oversizedRequests() {
        QFETCH(QByteArray, request);
        Rig rig(m_file);
        QVERIFY(rig.raw(request, "too large").startsWith("HTTP/1.1 431"));
        QCOMPARE(rig.get("/api/stations").status, 200);
    }

    // 100 streams at once, the next refused; a row committed elsewhere
    // reaches an open stream, and one that comes back by its Last-Event-ID
    // gets what it missed.
    void eventStreams_data() {
        QTest::addColumn<bool>("server");
        QTest::newRow("station file") << false;
        QTest::newRow("line database, SELECT only") << true;
    }
    void eventStreams() {
        QFETCH(bool, server);
        if (server && !lineDatabase())
            return;
        const QString writer = server ? m_cluster->url("line") : m_file;
        Rig rig(server ? m_cluster->url("line", "reader") : m_file);
        std::vector<std::unique_ptr<QTcpSocket>> streams;
        for (int i = 0; i < dashboard::EventStreams::kMaxStreams; ++i) {
            auto& s = streams.emplace_back(std::make_unique<QTcpSocket>());
            s->connectToHost(QHostAddress::LocalHost, rig.port);
            s->write("GET /events HTTP/1.1\r\n\r\n");
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            std::ranges::all_of(streams, [](auto& s) { return s->peek(64).contains("200 OK"); }),
            20000);
        QVERIFY(rig.raw("GET /events HTTP/1.1\r\n\r\n", "too many").startsWith("HTTP/1.1 503"));
        const qint64 before = rig.source.cursor();
        save(writer, Row("d", "s3", "5E3A710001A8", true));
        QTRY_VERIFY_WITH_TIMEOUT(streams.back()->peek(1 << 16).contains(R"("id":"d")"), 10000);
        streams.clear();
        const QByteArray missed = rig.raw(
            "GET /events HTTP/1.1\r\nLast-Event-ID: " + QByteArray::number(before) + "\r\n\r\n",
            R"("id":"d")");
        QVERIFY2(missed.contains("event: board\ndata: {") && missed.contains(R"("id":"d")"),
                 missed.constData());
        QCOMPARE(rig.get("/api/summary").status, 200);
    }

    // The line database counts every station in one pass and its hours from a
    // table kept by trigger, a station's file each by its own index: the same
    // boards give the same summary, with the figures worked out by hand.
    void summaryAlike() {
        if (!lineDatabase())
            return;
        const qint64 t = QDateTime::currentMSecsSinceEpoch() - 4 * 3600000;
        const auto board = [t](const char* id, const char* station, record::Outcome outcome,
                               qint64 seconds, int refetches = 0) {
            record::BoardAttempt b = Row(id, station, "5E3A710002" + QString(id).right(2), true);
            b.claimedAt = t + 7200000 * (station == QStringLiteral("s2"));
            b.finishedAt = b.claimedAt + seconds * 1000;
            b.outcome = outcome;
            b.refetches = refetches;
            return b;
        };
        using record::Outcome;
        const QString file = m_dir.filePath("alike.db");
        for (const record::BoardAttempt& b :
             {board("a1", "s1", Outcome::WrittenDone, 30),
              board("b1", "s1", Outcome::WrittenTimer, 50, 1),
              board("c1", "s1", Outcome::Released, 20), board("d2", "s2", Outcome::WrittenDone, 40),
              board("e2", "s2", Outcome::ScanCancelled, 10),
              board("f2", "s2", Outcome::Stopped, 5)}) {
            save(file, b);
            save(m_cluster->url("alike"), b);
        }
        const auto summary = [](const QString& where) {
            Rig rig(where);
            return QJsonDocument::fromJson(rig.get("/api/summary?since=2000-01-01").body).object();
        };
        const QJsonObject local = summary(file);
        QCOMPARE(summary(m_cluster->url("alike")), local);
        const QJsonObject line = local["line"].toObject();
        QCOMPARE(QList<int>({line["written"].toInt(), line["failed"].toInt(),
                             line["cancelled"].toInt(), line["fetchedAgain"].toInt(),
                             line["medianMs"].toInt(), line["p90Ms"].toInt()}),
                 QList<int>({3, 2, 1, 1, 40000, 50000}));
        const QJsonObject s1 = local["stations"].toArray().at(0).toObject();
        QCOMPARE(QList<int>({s1["written"].toInt(), s1["failed"].toInt(), s1["medianMs"].toInt(),
                             s1["p90Ms"].toInt()}),
                 QList<int>({2, 1, 30000, 50000}));
        QCOMPARE(local["hourly"].toArray().size(), 2);
    }
};

QTEST_GUILESS_MAIN(DashboardTest)
#include "tst_dashboard.moc"
