// quorvane: the station's window.
#include "core/record/LineRecord.h"
#include "core/settings/StationFolder.h"
#include "core/tftp/OptionNegotiation.h"
#include "gui/window/CQuorvaneApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Names the user's own station folder, the same for quorvane-headless.
    QApplication::setApplicationName(QStringLiteral("Quorvane"));

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption folderOption(
        QStringLiteral("folder"), QStringLiteral("The station folder (sysfile, packages, logs)."),
        QStringLiteral("DIR"));
    parser.addOption(folderOption);
    const QCommandLineOption recordOption(
        QStringLiteral("record"),
        QStringLiteral("The line-wide database, postgresql://user@host/database (else %1 in the "
                       "station folder).")
            .arg(QString::fromLatin1(quorvane::record::kLineSettingsFile)),
        QStringLiteral("URL"));
    parser.addOption(recordOption);
    const QCommandLineOption maxBlockOption(
        QStringLiteral("max-blksize"),
        QStringLiteral("The largest block a client that asks for one is given (8-65464; "
                       "default 1468, unfragmented on Ethernet)."),
        QStringLiteral("N"), QStringLiteral("1468"));
    parser.addOption(maxBlockOption);
    parser.process(app);
    const auto maxBlockSize = quorvane::tftp::MaxBlockSizeFromText(parser.value(maxBlockOption));
    if (!maxBlockSize) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvane"),
                              quorvane::tftp::MaxBlockSizeProblem(parser.value(maxBlockOption)));
        return 2;
    }
    const QString lineUrl = parser.value(recordOption);
    if (parser.isSet(recordOption)) {
        if (const QString problem = quorvane::record::LineUrlOptionProblem(lineUrl);
            !problem.isEmpty()) {
            QMessageBox::critical(nullptr, QStringLiteral("Quorvane"), problem);
            return 2;
        }
    }

    const QString requested = parser.value(folderOption);
    const quorvane::StationFolder folder =
        quorvane::ChooseStationFolder(requested, QCoreApplication::applicationDirPath());
    QString error = folder.error;
    if (folder.path.isEmpty() || !QDir::setCurrent(folder.path)) {
        if (error.isEmpty())
            error = QStringLiteral("%1: cannot work in this folder").arg(folder.path);
        QMessageBox::critical(nullptr, QStringLiteral("Quorvane"),
                              (requested.isEmpty() ? QString() : QStringLiteral("--folder ")) +
                                  error);
        return 2;
    }
    CQuorvaneApp station(quorvane::SingleInstance::kDefaultName, folder.path);
    station.setLineRecord(quorvane::record::LineRecordUrl(lineUrl, folder.path));
    station.setMaxBlockSize(*maxBlockSize);
    return station.Run();
}
