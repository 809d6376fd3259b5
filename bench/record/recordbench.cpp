// quorvane-record-bench: figures for the production record, run by hand
// (bench/record/README.md). Not a test: it asserts nothing, it prints.
#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacAddress.h"
#include "core/record/ProductionRecord.h"
#include "core/record/RecordStore.h"
#include "core/record/RecordSummary.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QStorageInfo>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <unistd.h>

using namespace quorvane;
using namespace quorvane::record;

namespace {

const char kUsage[] = "usage:\n"
                      "  quorvane-record-bench perboard FOLDER [BOARDS]\n"
                      "  quorvane-record-bench generate FILE|URL [ROWS] [SEED]\n"
                      "  quorvane-record-bench summary FILE|URL [HOURS] [REPEAT]\n";

double Nearest(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

void Report(const char* what, const std::vector<double>& ms) {
    std::printf("%-34s median %7.3f ms   p90 %7.3f ms   (%zu boards)\n", what, Nearest(ms, 0.5),
                Nearest(ms, 0.9), ms.size());
}

// What one durable commit cannot go below on this disk: a small write and
// its fdatasync.
void ReportSync(const QString& folder) {
    QFile file(folder + "sync-probe");
    if (!file.open(QIODevice::ReadWrite))
        return;
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        file.seek((i % 16) * 4096);
        file.write(QByteArray(4096, 'x'));
        file.flush();
        QElapsedTimer timer;
        timer.start();
        ::fdatasync(file.handle());
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    file.remove();
    std::printf("%-34s median %7.3f ms   p90 %7.3f ms\n", "4 KiB write + fdatasync",
                Nearest(ms, 0.5), Nearest(ms, 0.9));
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Times {
    std::vector<double> board;  // the whole board, ms
    std::vector<double> record; // the record's calls in it
    std::vector<double> steps[6];
    std::vector<double> committed; // from the last event until all is on disk
};
const char* const kSteps[] = {"claimed", "label checked", "scanned",
                              "built",   "transferred",   "written"};

// One board as the station moves it: claimed, label checked and scanned,
// package built, transferred, written. Without a record only the package;
// without the package only the record's events.
bool Board(const QString& folder, ProductionRecord* record, bool package, int n, Times& times) {
    const QString label = QStringLiteral("5E3A71%1").arg(n, 6, 16, QLatin1Char('0')).toUpper();
    const int row = n % 8;
    DevicePackageRequest request;
    request.programDir = folder;
    request.scanText = label;
    request.flags = kSelectMac | kSelectBootLoader | kSelectConfig | kSelectRoot;
    request.sources = {folder + "uboot.bin", folder + "factory.cfg", folder + "root.bin"};
    request.model = 5;
    QElapsedTimer total;
    QElapsedTimer part;
    qint64 inRecord = 0;
    int step = 0;
    const auto event = [&](auto call) {
        if (!record)
            return;
        part.start();
        call();
        const qint64 ns = part.nsecsElapsed();
        inRecord += ns;
        times.steps[step++].push_back(static_cast<double>(ns) / 1e6);
    };
    total.start();
    const QString id = QUuid::createUuid().toString();
    event([&] { record->Claimed(id, QStringLiteral("192.168.1.10"), 2000 + row); });
    event([&] { (void)record->Check(label); });
    event([&] { record->Scanned(id, label); });
    DevicePackageResult built;
    if (package) {
        built = BuildDevicePackage(request);
        if (!built.ok()) {
            std::fprintf(stderr, "package: %s\n", qPrintable(built.message));
            return false;
        }
    }
    event([&] {
        BurnFacts facts;
        facts.label = label;
        facts.triple = built.triple;
        facts.macWritten = true;
        facts.modelCode = 5;
        facts.modelName = QStringLiteral("AX1800");
        facts.selection = request.flags;
        facts.bootLoaderPath = request.sources.bootLoaderPath;
        facts.rootPath = request.sources.rootPath;
        facts.configPath = request.sources.configPath;
        record->Built(id, facts);
    });
    event([&] { record->Transferred(id, false); });
    event([&] { record->SetOutcome(id, Outcome::WrittenDone); });
    times.board.push_back(static_cast<double>(total.nsecsElapsed()) / 1e6);
    times.record.push_back(static_cast<double>(inRecord) / 1e6);
    if (record && !package) {
        // The commits run on the record's writer thread; the station does not
        // wait for them, but a board is on disk only once they are done.
        part.start();
        record->flush();
        times.committed.push_back(static_cast<double>(part.nsecsElapsed()) / 1e6);
    }
    if (package)
        QFile::remove(built.outputPath);
    return true;
}

// The record's events alone, then the station's own disk work per board (its
// package) with and without them, alternating in blocks so that a noisy
// machine treats both alike.
int PerBoard(const QString& parent, int boards) {
    const QString folder =
        QDir(parent).filePath(
            QStringLiteral("record-bench-%1").arg(QDateTime::currentMSecsSinceEpoch())) +
        QLatin1Char('/');
    if (!QDir().mkpath(folder + "alone") || !QDir().mkpath(folder + "station")) {
        std::fprintf(stderr, "cannot make folders in %s\n", qPrintable(parent));
        return 1;
    }
    const QStorageInfo storage(folder);
    std::printf("folder %s on %s (%s)\n", qPrintable(folder), storage.device().constData(),
                storage.fileSystemType().constData());
    if (storage.fileSystemType() == "tmpfs")
        std::printf("warning: tmpfs is not where a station keeps its record\n");
    WriteFile(folder + "uboot.bin", QByteArray(65536, 'u'));
    WriteFile(folder + "root.bin", QByteArray(4 * 1024 * 1024, 'r'));
    WriteFile(folder + "factory.cfg", "SSID1=Office\r\nWPAPSK1=\r\nWAN_MAC_ADDR=\r\n");

    ProductionRecord alone(folder + "alone");
    ProductionRecord station(folder + "station");
    if (!alone.isOpen() || !station.isOpen()) {
        std::fprintf(stderr, "the record cannot be opened in %s\n", qPrintable(folder));
        return 1;
    }
    Times events;
    for (int n = 0; n < boards; ++n) {
        if (!Board(folder, &alone, false, n, events))
            return 1;
    }
    Times with;
    Times without;
    const int block = std::max(1, boards / 20);
    for (int n = 0; n < 2 * boards; ++n) {
        const bool useRecord = (n / block) % 2 == 0;
        if (!Board(folder, useRecord ? &station : nullptr, true, n, useRecord ? with : without))
            return 1;
    }
    Report("record's events alone (station's thread)", events.board);
    for (int i = 0; i < 6; ++i)
        std::printf("  %-32s median %7.3f ms   p90 %7.3f ms\n", kSteps[i],
                    Nearest(events.steps[i], 0.5), Nearest(events.steps[i], 0.9));
    Report("then until committed (writer thread)", events.committed);
    Report("package only", without.board);
    Report("package and the record's events", with.board);
    Report("  of which the record's events", with.record);
    ReportSync(folder);
    return 0;
}

// Rows as a line makes them over months: mostly written boards, a few of
// every other outcome, board times of about a minute with a long tail.
int Generate(const QString& where, int rows, unsigned seed) {
    QString error;
    auto store = RecordStore::Open(where, &error);
    if (!store) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(where), qPrintable(error));
        return 1;
    }
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::lognormal_distribution<double> boardSeconds(std::log(55.0), 0.25);
    std::exponential_distribution<double> gapSeconds(1.0 / 15.0);
    const struct {
        Outcome outcome;
        double share;
    } kShares[] = {
        {Outcome::WrittenDone, 0.86},    {Outcome::WrittenTimer, 0.06},
        {Outcome::Released, 0.02},       {Outcome::Stopped, 0.01},
        {Outcome::ScanCancelled, 0.025}, {Outcome::ReburnRefused, 0.005},
        {Outcome::Delivered, 0.01},      {Outcome::Prepared, 0.005},
        {Outcome::FetchedAgain, 0.002},  {Outcome::InProgress, 0.003},
    };
    const QString stations[] = {QStringLiteral("line1-a"), QStringLiteral("line1-b"),
                                QStringLiteral("line1-c"), QStringLiteral("line1-d")};
    // Starts far enough back that the newest rows end about now.
    qint64 at = QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(rows) * 15000;
    QElapsedTimer timer;
    timer.start();
    QSqlDatabase& db = store->database();
    db.transaction();
    for (int i = 0; i < rows; ++i) {
        at += static_cast<qint64>(gapSeconds(random) * 1000.0);
        double pick = unit(random);
        Outcome outcome = Outcome::WrittenDone;
        for (const auto& share : kShares) {
            if ((pick -= share.share) < 0) {
                outcome = share.outcome;
                break;
            }
        }
        BoardAttempt a;
        a.id = QStringLiteral("bench-%1-%2").arg(seed).arg(i);
        a.station = stations[i % 4];
        a.folder = QStringLiteral("/home/line/.local/share/Quorvane/");
        a.routerAddress = QStringLiteral("192.168.1.%1").arg(10 + i % 8);
        a.routerPort = 2000 + i % 50000;
        // One label in 200 comes round again: a re-burn.
        const int serial = unit(random) < 0.005 ? std::max(0, i - 50) : i;
        a.label = QStringLiteral("5E3A71%1").arg(serial, 6, 16, QLatin1Char('0')).toUpper();
        a.modelCode = 5;
        a.modelName = QStringLiteral("AX1800");
        a.selection = 0x0F;
        a.bootLoader = {QStringLiteral("uboot.bin"), 65536, 0x1c291ca3};
        a.rootImage = {QStringLiteral("root.bin"), 8388608, 0x2e3f4a5b};
        a.configTemplate = {QStringLiteral("factory.cfg"), 412, 0x99aabbcc};
        a.claimedAt = at;
        a.outcome = outcome;
        const qint64 ms = static_cast<qint64>(boardSeconds(random) * 1000.0);
        if (outcome != Outcome::Prepared)
            a.scannedAt = at + 3000;
        a.builtAt = at + 3200;
        if (unit(random) < 0.03 || outcome == Outcome::FetchedAgain)
            a.refetches = 1 + static_cast<int>(unit(random) * 2);
        if (IsWritten(outcome) || outcome == Outcome::Delivered)
            a.transferredAt = at + ms / 2;
        if (outcome == Outcome::WrittenTimer)
            a.finishedAt = at + 90000 + ms / 4;
        else if (outcome == Outcome::WrittenDone)
            a.finishedAt = at + ms;
        if (!store->save(a, &error)) {
            std::fprintf(stderr, "row %d: %s\n", i, qPrintable(error));
            db.rollback();
            return 1;
        }
        if (i % 20000 == 19999) {
            db.commit();
            db.transaction();
            std::fprintf(stderr, "\r%d rows", i + 1);
        }
    }
    db.commit();
    std::fprintf(stderr, "\r%d rows in %.1f s\n", rows, static_cast<double>(timer.elapsed()) / 1e3);
    return 0;
}

int Summary(const QString& where, double hours, int repeat) {
    QString error;
    QElapsedTimer timer;
    timer.start();
    auto store = RecordStore::Open(where, &error, OpenMode::ReadOnly);
    if (!store) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(where), qPrintable(error));
        return 1;
    }
    std::printf("open: %.1f ms\n", static_cast<double>(timer.nsecsElapsed()) / 1e6);
    const qint64 since =
        hours > 0 ? QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(hours * 3.6e6) : 0;
    std::vector<double> ms;
    RecordSummary s;
    for (int i = 0; i < repeat; ++i) {
        timer.start();
        s = Summarise(*store, since, &error);
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("Summarise: median %.1f ms, best %.1f ms over %d runs\n", Nearest(ms, 0.5),
                *std::min_element(ms.begin(), ms.end()), repeat);
    std::printf("written %d failed %d fetched again %d cancelled %d median %lld p90 %lld "
                "per hour %.1f last %lld\n",
                s.written, s.failed, s.fetchedAgain, s.cancelled, s.medianMs, s.p90Ms, s.perHour,
                s.lastBoardMs);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString command = args.value(1);
    if (command == u"perboard" && args.size() >= 3)
        return PerBoard(args[2], args.value(3, QStringLiteral("1000")).toInt());
    if (command == u"generate" && args.size() >= 3)
        return Generate(args[2], args.value(3, QStringLiteral("1000000")).toInt(),
                        args.value(4, QStringLiteral("1")).toUInt());
    if (command == u"summary" && args.size() >= 3)
        return Summary(args[2], args.value(3, QStringLiteral("0")).toDouble(),
                       args.value(4, QStringLiteral("5")).toInt());
    std::fputs(kUsage, stderr);
    return 2;
}
