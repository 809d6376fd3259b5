// quorvane: the station's window.
#include "core/record/LineRecord.h"
#include "core/settings/StationFolder.h"
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
    parser.process(app);
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
    return station.Run();
}
