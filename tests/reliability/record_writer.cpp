// Records a burst of boards in a station folder's production.db and prints
// each board's label once its finish is committed: the victim the crash
// test kills in the middle.
#include "core/record/ProductionRecord.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

using namespace quorvane;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fputs("usage: record-writer FOLDER BOARDS\n", stderr);
        return 2;
    }
    record::ProductionRecord record(args[1]);
    bool failed = false;
    QObject::connect(&record, &record::ProductionRecord::failed, [&failed] { failed = true; });
    const int boards = args[2].toInt();
    for (int i = 0; i < boards && !failed; ++i) {
        const QString label =
            QStringLiteral("5E3A71%1").arg(i, 5, 16, QLatin1Char('0')).toUpper() + '8';
        record.Claimed(i, QStringLiteral("192.168.1.10"), 2000 + i % 1000);
        record.Scanned(i, label);
        record::BurnFacts facts;
        facts.label = label;
        facts.selection = 1;
        record.Built(i, facts);
        record.Transferred(i, false);
        record.Written(i, true);
        record.flush(); // committed from here on
        std::printf("%s\n", qPrintable(label));
        std::fflush(stdout);
    }
    return failed ? 1 : 0;
}
