// quorvane-tftp-serve: the station's transfer server alone, serving every
// file of a folder, for benchmarks against other TFTP servers.

#include "core/log/StationLog.h"
#include "core/tftp/TransferServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        QTextStream(stderr) << "usage: quorvane-tftp-serve FOLDER PORT LOGDIR\n";
        return 2;
    }
    bool ok = false;
    const auto port = args[2].toUShort(&ok);
    if (!ok) {
        QTextStream(stderr) << "quorvane-tftp-serve: bad port " << args[2] << '\n';
        return 2;
    }
    quorvane::StationLog log(args[3]);
    quorvane::tftp::TransferServer server(log, QDir(args[1]).absolutePath() + QLatin1Char('/'));
    if (!server.start(port, false))
        return 1;
    QTextStream(stdout) << "listening " << server.port() << Qt::endl;
    return app.exec();
}
