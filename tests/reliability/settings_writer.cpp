// Rewrites "sysfile" over and over, alternating between two records, until it
// is killed: the crash-safety test's victim.
#include "core/settings/SettingsRecord.h"

#include <QCoreApplication>
#include <QString>

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
    if (args.size() == 3 && args[1] == u"--print") {
        // The bytes of one generation, for the test to compare with.
        const SettingsRecord record = Generation(args[2].toInt());
        const auto& bytes = record.bytes();
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return 0;
    }
    if (args.size() != 2) {
        std::fputs("usage: settings-writer PATH | --print 0|1\n", stderr);
        return 2;
    }
    std::fputs("writing\n", stdout);
    std::fflush(stdout);
    for (int generation = 1;; generation ^= 1) {
        if (!Generation(generation).Write(args[1]))
            return 1;
    }
}
