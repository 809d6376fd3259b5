// quorvane-headless: the station without a window, for a terminal with a
// bar-code scanner.
#include "core/log/StationLog.h"
#include "core/record/LineRecord.h"
#include "core/settings/StationFolder.h"
#include "core/tftp/OptionNegotiation.h"
#include "core/workflow/Models.h"
#include "core/workflow/Station.h"
#include "headless/ConsoleInput.h"
#include "headless/StopSignals.h"
#include "headless/TerminalOperator.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

using namespace quorvane;

namespace {

struct Options {
    QString folder;
    std::uint16_t port = 69;
    int model = kDefaultModel;
    QString record; // the line-wide database's URL
    std::uint32_t maxBlockSize = tftp::DefaultMaxBlockSize;
};

const char kUsage[] =
    "usage: quorvane-headless [--folder DIR] [--port N] [--model CODE] [--record URL]\n"
    "                         [--max-blksize N]\n";

bool ParseOptions(const QStringList& args, Options& o, QString& error) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (i + 1 >= args.size()) {
            error = QStringLiteral("%1: unknown option or missing value").arg(arg);
            return false;
        }
        const QString value = args[++i];
        bool ok = false;
        if (arg == u"--folder") {
            o.folder = value;
        } else if (arg == u"--port") {
            const uint port = value.toUInt(&ok);
            if (!ok || port > 65535) {
                error = QStringLiteral("--port %1: not a port").arg(value);
                return false;
            }
            o.port = static_cast<std::uint16_t>(port);
        } else if (arg == u"--model") {
            const int code = value.toInt(&ok);
            if (!ok || !IsModelCode(code)) {
                error = QStringLiteral("--model %1: one of 0 1 2 5 9 10 12 13").arg(value);
                return false;
            }
            o.model = code;
        } else if (arg == u"--record") {
            error = record::LineUrlOptionProblem(value);
            if (!error.isEmpty())
                return false;
            o.record = value;
        } else if (arg == u"--max-blksize") {
            const auto size = tftp::MaxBlockSizeFromText(value);
            if (!size) {
                error = tftp::MaxBlockSizeProblem(value);
                return false;
            }
            o.maxBlockSize = *size;
        } else {
            error = QStringLiteral("%1: unknown option").arg(arg);
            return false;
        }
    }
    return true;
}

void PrintLine(std::FILE* out, const QString& text) {
    std::fputs(text.toUtf8().constData(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

} // namespace

int main(int argc, char* argv[]) {
    UseUtf8ConsoleOutput();
    QCoreApplication app(argc, argv);
    // Names the user's own station folder, the same for the window.
    QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
    Options options;
    QString error;
    if (!ParseOptions(app.arguments(), options, error)) {
        PrintLine(stderr, error);
        std::fputs(kUsage, stderr);
        return 2;
    }
    const StationFolder folder =
        ChooseStationFolder(options.folder, QCoreApplication::applicationDirPath());
    if (folder.path.isEmpty()) {
        PrintLine(stderr, (options.folder.isEmpty() ? QString() : QStringLiteral("--folder ")) +
                              folder.error);
        return 2;
    }
    // "Log" is found from the working directory and "log" in the folder:
    // both meet here.
    if (!QDir::setCurrent(folder.path)) {
        PrintLine(stderr, QStringLiteral("%1: cannot work in this folder").arg(folder.path));
        return 2;
    }
    const QString programDir = folder.path;
    PrintLine(stderr, QStringLiteral("station folder: %1").arg(programDir));

    StationLog log(QDir::currentPath());
    QObject::connect(&log, &StationLog::lineLogged,
                     [](const QString& line) { PrintLine(stdout, line); });
    QObject::connect(&log, &StationLog::writeFailed, [](const QString& path) {
        PrintLine(stderr, QStringLiteral("%1写入失败").arg(path));
    });

    record::ProductionRecord production(programDir);
    if (const QString line = record::LineRecordUrl(options.record, programDir); !line.isEmpty())
        production.setLineLink(std::make_unique<record::LineRecord>(line, programDir));
    std::unique_ptr<Station> station;
    TerminalOperator terminal(
        [&station](std::uint64_t id, const std::optional<QString>& label) {
            station->OnMacAnswer(id, label);
        },
        [&station](std::uint64_t id) { station->OnMessageAcknowledged(id); },
        [&station](std::uint64_t id, bool yes) { station->OnReburnAnswer(id, yes); });
    station = std::make_unique<Station>(log, programDir, options.port, terminal, production);
    station->SelectModel(options.model);
    station->state().maxBlockSize = options.maxBlockSize;

    station->Initialise();
    const StartOutcome outcome = station->StartService(station->ControlsFromState());
    if (!outcome.started) {
        PrintLine(stderr, outcome.message);
        station->Shutdown();
        return 2;
    }

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [&] {
        station->StopService(station->ControlsFromState());
        station->Shutdown();
        production.flush();
        PrintLine(stdout, record::SummaryLine(production.ShiftSummary()));
        stopSignals.stopped();
        app.exit(0);
    });
    return app.exec();
}
