// quorvane-dashboard: a read-only web server over the production record, for
// the line's supervisor.
#include "core/record/LineUrl.h"
#include "core/record/ProductionRecord.h"
#include "core/settings/StationFolder.h"
#include "dashboard/DashboardOptions.h"
#include "dashboard/DashboardServer.h"
#include "dashboard/RecordSource.h"

#include <QCoreApplication>

#include <cstdio>

using namespace quorvane;
using namespace quorvane::dashboard;

namespace {

void Say(FILE* stream, const QString& text) {
    const QByteArray bytes = "quorvane-dashboard: " + text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
    const auto parsed = ParseOptions(QCoreApplication::arguments().mid(1));
    if (const QString* problem = std::get_if<QString>(&parsed)) {
        Say(stderr, *problem);
        std::fputs(kUsage, stderr);
        return 2;
    }
    DashboardOptions options = std::get<DashboardOptions>(parsed);
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.db.isEmpty())
        options.db = StationFileToRead(record::ProductionRecord::FileName(),
                                       QCoreApplication::applicationDirPath());
    const bool url = options.db.contains(QStringLiteral("://"));
    const QString shown = url ? record::LineUrlForDisplay(options.db) : options.db;

    RecordSource source(options.db, shown);
    QObject::connect(&source, &RecordSource::reachable, [&shown](bool up, const QString& text) {
        Say(stderr, up ? QStringLiteral("%1 is back").arg(shown)
                       : QStringLiteral("%1 cannot be read: %2").arg(shown, text));
    });
    QString error;
    if (!source.open(&error)) {
        Say(stderr, QStringLiteral("%1: %2").arg(shown, error.simplified()));
        return 1;
    }
    if (source.order() != record::ChangeOrder::Counter)
        Say(stderr, QStringLiteral("%1 has no change counter yet (made by an older station): %2")
                        .arg(shown, source.order() == record::ChangeOrder::RowId
                                        ? QStringLiteral("new boards show, later changes to a "
                                                         "board only on reload")
                                        : QStringLiteral("boards show on reload only; a "
                                                         "station of this version adds it")));
    DashboardServer server(options, source);
    const quint16 port = server.listen(&error);
    if (port == 0) {
        Say(stderr, QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(options.address.toString())
                        .arg(options.port)
                        .arg(error));
        return 1;
    }
    if (!options.address.isLoopback())
        Say(stderr, QStringLiteral("listening beyond this machine: the page has no login and "
                                   "shows every board's MACs to whoever reaches it"));
    const QString host = options.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(options.address.toString())
                             : options.address.toString();
    Say(stdout, QStringLiteral("serving %1 on http://%2:%3/").arg(shown, host).arg(port));
    return QCoreApplication::exec();
}
