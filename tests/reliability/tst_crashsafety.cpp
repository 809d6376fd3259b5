// Writers killed with SIGKILL at random moments: afterwards each file is the
// old one or the new one, byte for byte, never a mixture or a stump.
//
// QUORVANE_KILL_ROUNDS and QUORVANE_KILL_ROOT_MIB make the long run
// (bench/reliability/kill.sh); the defaults keep this test short.

#include "tests/support/LiveStation.h"

#include "core/record/RecordSchema.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

using namespace quorvane::testing;
using namespace quorvane::record;

namespace {

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

const QString kLabel = QStringLiteral("5E3A71ABCDE8");

QString Victim() {
    return QCoreApplication::applicationDirPath() + "/crash-victim";
}

} // namespace

class CrashSafetyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The production record killed in the middle of a burst of 1,000 boards:
    // the file opens, is whole, and holds every board whose finish was committed.
    void killedRecordKeepsEveryCommittedRow() {
        QRandomGenerator random(EnvInt("QUORVANE_KILL_SEED", 4711));
        for (int round = 0; round < EnvInt("QUORVANE_KILL_ROUNDS", 3); ++round) {
            QTemporaryDir folder;
            QProcess victim;
            victim.start(Victim(), {"record", folder.path(), "1000"});
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

            const auto store = RecordStore::Open(folder.filePath("production.db"), nullptr);
            QVERIFY(store);
            QSqlQuery check(store->database());
            QVERIFY(check.exec("PRAGMA integrity_check") && check.next());
            QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
            QSet<QString> written;
            for (const auto& row : store->list({}))
                if (row.outcome == Outcome::WrittenDone)
                    written.insert(row.label);
            for (const QByteArray& label : committed)
                QVERIFY2(written.contains(QString::fromLatin1(label)), label.constData());
        }
    }

    // Two stations making the same record at once: the second waits while
    // the first is inside its schema step, then finds the record made.
    void twoStationsMakeOneRecord() {
        QTemporaryDir folder;
        const QString hold = folder.filePath("hold");
        QVERIFY(WriteBytes(hold, {}));
        qputenv("QUORVANE_HOLD_SCHEMA", QFile::encodeName(hold)); // holds only while it exists
        Program first({Victim(), "record", folder.path(), "1"});
        QVERIFY(RunUntil([&] { return QFile::exists(hold + ".held"); }, 30000));
        Program second({Victim(), "record", folder.path(), "1"});
        QTest::qWait(1500); // for it to reach the step: it waits there up to 5 s
        QVERIFY(QFile::remove(hold));
        QCOMPARE(first.wait() | second.wait(), 0);
        const auto store = RecordStore::Open(folder.filePath("production.db"), nullptr);
        QCOMPARE(SchemaVersion(store->database()), kSchemaVersion);
        QCOMPARE(store->list({}).size(), 2);
    }

    void killedWriterLeavesOldOrNew_data() {
        QTest::addColumn<bool>("package"); // else "sysfile"
        QTest::newRow("device package") << true;
        QTest::newRow("sysfile") << false;
    }
    void killedWriterLeavesOldOrNew() {
        QFETCH(bool, package);
        const int rounds = EnvInt("QUORVANE_KILL_ROUNDS", package ? 12 : 30);
        QRandomGenerator random(EnvInt("QUORVANE_KILL_SEED", 4711));
        QTemporaryDir sources, target;
        const QString file = target.filePath(package ? kLabel : QStringLiteral("sysfile"));
        // Sources of two generations for the packer, and the file each one gives.
        const auto pack = [&](int generation, const QString& out) {
            return QStringLiteral("device --label %1 --flags 0x0f --out %2 --root %3/root.bin "
                                  "--bootloader %3/uboot.bin --config %3/default.cfg")
                .arg(kLabel, out, sources.filePath(QString::number(generation)))
                .split(' ');
        };
        QByteArray generations[2];
        qint64 buildMs = 0;
        for (int g = 0; g < 2; ++g) {
            const QString folder = sources.filePath(QString::number(g));
            if (!package) {
                Program print({Victim(), "print", QString::number(g)});
                QCOMPARE(print.wait(), 0);
                generations[g] = print.output();
                continue;
            }
            QDir().mkpath(folder + "/out");
            WriteBytes(folder + "/uboot.bin", RandomBytes(64 * 1024, 10 + g));
            WriteBytes(folder + "/root.bin",
                       RandomBytes(qsizetype(EnvInt("QUORVANE_KILL_ROOT_MIB", 8)) << 20, 20 + g));
            WriteBytes(folder + "/default.cfg",
                       "Default\nSSID1=Gen" + QByteArray::number(g) + "\nWPAPSK1=\n");
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(QProcess::execute(ToolPath("quorvane-pack"), pack(g, folder + "/out")), 0);
            buildMs = std::max(buildMs, timer.elapsed());
            generations[g] = ReadBytes(folder + "/out/" + kLabel);
        }
        QVERIFY(!generations[0].isEmpty() && generations[0] != generations[1]);
        QVERIFY(WriteBytes(file, generations[0]));

        int asNew = 0;
        int leftovers = 0;
        int current = 0;
        for (int round = 0; round < rounds; ++round) {
            QProcess victim;
            victim.start(package ? ToolPath("quorvane-pack") : Victim(),
                         package ? pack(current ^ 1, target.path()) : QStringList{"sysfile", file});
            QVERIFY(victim.waitForStarted());
            // The package: anywhere from before the first byte to just after
            // the rename; sysfile: once it is writing.
            QVERIFY(package || victim.waitForReadyRead(10000));
            QThread::usleep(ulong(random.bounded(1, package ? buildMs * 1200 + 2 : 20000)));
            victim.kill(); // SIGKILL
            victim.waitForFinished(10000);
            const QByteArray now = ReadBytes(file);
            const bool isNew = now == generations[current ^ 1];
            QVERIFY2(isNew || now == generations[current],
                     qPrintable(QStringLiteral("round %1: %2 bytes, neither old nor new")
                                    .arg(round)
                                    .arg(now.size())));
            asNew += isNew;
            current ^= int(isNew);
            // Temporary files of killed writers: removed so they do not fill
            // the disk, counted for the log.
            for (const QString& name : QDir(target.path()).entryList(QDir::Files | QDir::Hidden))
                if (name != kLabel && name != u"sysfile")
                    leftovers += QFile::remove(target.filePath(name));
        }
        qInfo("%d kills: %d left the new file, %d the old one; %d temporary files left behind",
              rounds, asNew, rounds - asNew, leftovers);
    }
};

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "tst_crashsafety.moc"
