// What the crash-safety test kills in the middle of its writing:
//   crash-victim sysfile PATH     rewrites PATH over and over, alternating
//                                 between two records, until it is killed
//   crash-victim print 0|1        the bytes of one of those records
//   crash-victim record FOLDER N  records N boards in FOLDER's production.db
//                                 and prints each label once its finish is
//                                 committed; fails when the record reads
//                                 fewer boards back
#include "core/record/ProductionRecord.h"
#include "core/settings/SettingsRecord.h"

#include <QCoreApplication>
#include <QUuid>

#include <cstdio>

using namespace quorvane;

// Two records that differ in every slot.
SettingsRecord Generation(int generation) {
    SettingsRecord record;
    record.setFlags(generation ? 0x0F : 0x09);
    const QString tag = generation ? QStringLiteral("new") : QStringLiteral("old");
    record.setBootLoaderPath(QStringLiteral("/line/%1/uboot.bin").arg(tag).repeated(8));
    record.setRootPath(QStringLiteral("/line/%1/root.bin").arg(tag).repeated(8));
    record.setConfigPath(QStringLiteral("/line/%1/default.cfg").arg(tag).repeated(8));
    record.setWpaByte(generation ? '1' : '0');
    return record;
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == u"print" && args.size() == 3) {
        const SettingsRecord record = Generation(args[2].toInt());
        std::fwrite(record.bytes().data(), 1, record.bytes().size(), stdout);
        return 0;
    }
    if (args.value(1) == u"sysfile" && args.size() == 3) {
        std::fputs("writing\n", stdout);
        std::fflush(stdout);
        for (int generation = 1; Generation(generation).Write(args[2]); generation ^= 1) {
        }
        return 1;
    }
    if (args.value(1) != u"record" || args.size() != 4) {
        std::fputs("usage: crash-victim sysfile PATH | print 0|1 | record FOLDER BOARDS\n", stderr);
        return 2;
    }
    record::ProductionRecord record(args[2]);
    bool failed = false;
    QObject::connect(&record, &record::ProductionRecord::failed, [&failed] { failed = true; });
    for (int i = 0; i < args[3].toInt() && !failed; ++i) {
        const QString label =
            QStringLiteral("5E3A71%1").arg(i, 5, 16, QLatin1Char('0')).toUpper() + '8';
        const QString id = QUuid::createUuid().toString();
        record.Claimed(id, QStringLiteral("192.168.1.10"), 2000 + i % 1000);
        record.Scanned(id, label);
        record::BurnFacts facts;
        facts.label = label;
        facts.selection = 1;
        record.Built(id, facts);
        record.Transferred(id, false);
        record.SetOutcome(id, record::Outcome::WrittenDone);
        record.flush(); // committed from here on
        std::printf("%s\n", qPrintable(label));
        std::fflush(stdout);
    }
    return failed || record.ShiftSummary().written < args[3].toInt() ? 1 : 0;
}
