// Writers killed with SIGKILL at random moments: afterwards each file is the
// old one or the new one, byte for byte, never a mixture or a stump.
//
// QUORVANE_KILL_ROUNDS and QUORVANE_KILL_ROOT_MIB make the long run
// (bench/reliability/kill.sh); the defaults keep this test short.

#include "tests/support/LiveStation.h"

#include "core/record/RecordStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace quorvane::testing;

namespace {

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

const QString kLabel = QStringLiteral("5E3A71ABCDE8");

// Sources of two generations and the package each one gives.
struct PackageGenerations {
    QTemporaryDir dir;
    QByteArray packages[2];
    qint64 buildMs = 0;

    QStringList arguments(int generation, const QString& out) const {
        const QString g = dir.filePath(QString::number(generation));
        return {"device",        "--label",        kLabel,     "--flags",          "0x0f",
                "--bootloader",  g + "/uboot.bin", "--config", g + "/default.cfg", "--root",
                g + "/root.bin", "--out",          out};
    }
};

bool Prepare(PackageGenerations& gens, int rootMiB) {
    for (int g = 0; g < 2; ++g) {
        const QString folder = gens.dir.filePath(QString::number(g));
        QDir().mkpath(folder + "/out");
        WriteBytes(folder + "/uboot.bin", RandomBytes(64 * 1024, 10 + g));
        WriteBytes(folder + "/root.bin", RandomBytes(qsizetype(rootMiB) * 1024 * 1024, 20 + g));
        WriteBytes(folder + "/default.cfg",
                   QByteArray("Default\nSSID1=Gen") + QByteArray::number(g) + "\nWPAPSK1=\n");
        QElapsedTimer timer;
        timer.start();
        if (QProcess::execute(ToolPath("quorvane-pack"), gens.arguments(g, folder + "/out")) != 0)
            return false;
        gens.buildMs = std::max(gens.buildMs, timer.elapsed());
        gens.packages[g] = ReadBytes(folder + "/out/" + kLabel);
    }
    return gens.packages[0] != gens.packages[1] && !gens.packages[0].isEmpty();
}

void KillAfter(QProcess& process, qint64 microseconds) {
    QThread::usleep(static_cast<unsigned long>(microseconds));
    process.kill(); // SIGKILL
    process.waitForFinished(10000);
}

// Leftover temporary files of killed writers; removed so they do not fill
// the disk, counted for the log.
int SweepLeftovers(const QString& folder, const QStringList& keep) {
    int count = 0;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        if (keep.contains(name))
            continue;
        QFile::remove(folder + QLatin1Char('/') + name);
        ++count;
    }
    return count;
}

} // namespace

class CrashSafetyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesOldOrNew_data();
    void killedWriterLeavesOldOrNew();
    void killedRecordKeepsEveryCommittedRow();
};

// The production record killed in the middle of a burst of 1,000 boards: the
// file opens, is whole, and holds every board whose finish was committed.
void CrashSafetyTest::killedRecordKeepsEveryCommittedRow() {
    QRandomGenerator random(EnvInt("QUORVANE_KILL_SEED", 4711));
    for (int round = 0; round < EnvInt("QUORVANE_KILL_ROUNDS", 3); ++round) {
        QTemporaryDir folder;
        QProcess victim;
        victim.start(QCoreApplication::applicationDirPath() + "/record-writer",
                     {folder.path(), "1000"});
        QVERIFY(victim.waitForStarted());
        const int killAt = random.bounded(20, 900);
        QByteArray printed;
        while (printed.count('\n') < killAt && victim.state() == QProcess::Running) {
            victim.waitForReadyRead(10000);
            printed += victim.readAllStandardOutput();
        }
        victim.kill();
        victim.waitForFinished(10000);
        printed += victim.readAllStandardOutput();
        const QList<QByteArray> committed = printed.split('\n').mid(0, printed.count('\n'));
        QVERIFY2(committed.size() >= killAt, "the writer ended before the kill");

        const auto store =
            quorvane::record::RecordStore::Open(folder.filePath("production.db"), nullptr);
        QVERIFY(store);
        QSqlQuery check(store->database());
        QVERIFY(check.exec("PRAGMA integrity_check") && check.next());
        QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
        QSet<QString> written;
        for (const auto& row : store->list({}))
            if (row.outcome == quorvane::record::Outcome::WrittenDone)
                written.insert(row.label);
        for (const QByteArray& label : committed)
            QVERIFY2(written.contains(QString::fromLatin1(label)), label.constData());
        qInfo("killed after %lld committed boards; %lld written rows stored",
              qlonglong(committed.size()), qlonglong(written.size()));
    }
}

void CrashSafetyTest::killedWriterLeavesOldOrNew_data() {
    QTest::addColumn<bool>("package"); // else "sysfile"
    QTest::newRow("device package") << true;
    QTest::newRow("sysfile") << false;
}

void CrashSafetyTest::killedWriterLeavesOldOrNew() {
    QFETCH(bool, package);
    const int rounds = EnvInt("QUORVANE_KILL_ROUNDS", package ? 12 : 30);
    QRandomGenerator random(EnvInt("QUORVANE_KILL_SEED", 4711));
    QTemporaryDir target;
    QByteArray generations[2];
    PackageGenerations gens;
    QString file;

    if (package) {
        QVERIFY(Prepare(gens, EnvInt("QUORVANE_KILL_ROOT_MIB", 8)));
        generations[0] = gens.packages[0];
        generations[1] = gens.packages[1];
        file = target.filePath(kLabel);
    } else {
        const QString writer = QCoreApplication::applicationDirPath() + "/settings-writer";
        for (int g = 0; g < 2; ++g) {
            QProcess print;
            print.start(writer, {"--print", QString::number(g)});
            QVERIFY(print.waitForFinished(10000));
            generations[g] = print.readAllStandardOutput();
            QCOMPARE(generations[g].size(), qsizetype(789));
        }
        file = target.filePath("sysfile");
    }
    QVERIFY(WriteBytes(file, generations[0]));

    int asNew = 0;
    int leftovers = 0;
    int current = 0;
    for (int round = 0; round < rounds; ++round) {
        QProcess victim;
        if (package) {
            victim.start(ToolPath("quorvane-pack"), gens.arguments(current ^ 1, target.path()));
            QVERIFY(victim.waitForStarted());
            // Anywhere from before the first byte to just after the rename.
            KillAfter(victim, random.bounded(qint64(1), gens.buildMs * 1200 + 2));
        } else {
            victim.start(QCoreApplication::applicationDirPath() + "/settings-writer", {file});
            QVERIFY(victim.waitForStarted());
            QVERIFY(victim.waitForReadyRead(10000)); // writing from now on
            KillAfter(victim, random.bounded(qint64(1), qint64(20000)));
        }
        const QByteArray now = ReadBytes(file);
        const bool isOld = now == generations[current];
        const bool isNew = now == generations[current ^ 1];
        QVERIFY2(isOld || isNew,
                 qPrintable(QStringLiteral("round %1: %2 bytes, neither old nor new")
                                .arg(round)
                                .arg(now.size())));
        if (isNew) {
            ++asNew;
            current ^= 1;
        }
        leftovers += SweepLeftovers(target.path(), {kLabel, "sysfile"});
    }
    qInfo("%d kills: %d left the new file, %d the old one; %d temporary files left behind", rounds,
          asNew, rounds - asNew, leftovers);
}

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "tst_crashsafety.moc"
