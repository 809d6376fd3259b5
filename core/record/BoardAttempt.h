#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace quorvane::record {

// Where a board attempt stands; the last known state is its outcome.
enum class Outcome {
    InProgress,    // claimed, and on its way
    FetchedAgain,  // its boot loader CRC differed: it is to fetch its files again
    WrittenDone,   // the router reported its flash written
    WrittenTimer,  // the row's timer finished it
    ScanCancelled, // the operator cancelled the scan dialog
    ReburnRefused, // its label had been written before and the operator said no
    Released,      // the hand-over watch gave up on it
    Stopped,       // the service stopped before its files were out
    Delivered,     // its files went out, then its row went to another board
    Prepared,      // a package built from the scan field, no router seen
};

QString OutcomeText(Outcome outcome);
std::optional<Outcome> OutcomeFromText(const QString& text);
bool IsWritten(Outcome outcome);
// No later event changes it.
bool IsFinal(Outcome outcome);

// A source file as burned: name, size and CRC-32; an empty name: not used.
struct SourceUse {
    QString name;
    qint64 size = 0;
    std::uint32_t crc = 0;
};

// One row of the record: one attempt of one board. Times are milliseconds
// since the epoch (UTC); 0 = not yet.
struct BoardAttempt {
    QString id; // unique across stations
    QString station;
    QString folder;
    QString routerAddress;
    int routerPort = 0;
    QString label; // 12 upper-case hex digits once known
    QString baseMac;
    QString modelMac;
    QString wanMac;
    int modelCode = 0;
    QString modelName;
    int selection = 0;
    SourceUse bootLoader;
    SourceUse rootImage;
    SourceUse configTemplate;
    qint64 claimedAt = 0;
    qint64 scannedAt = 0;
    qint64 builtAt = 0;
    qint64 transferredAt = 0;
    qint64 finishedAt = 0;
    Outcome outcome = Outcome::InProgress;
    int refetches = 0;
    QString reburn; // "", "confirmed" or "refused"
    qint64 elapsedMs() const { return finishedAt > 0 ? finishedAt - claimedAt : -1; }
};

} // namespace quorvane::record
