#pragma once

#include "core/personalise/MacAddress.h"
#include "core/record/BoardAttempt.h"

#include <QString>

#include <functional>
#include <optional>

namespace quorvane::record {

// A board attempt's id: unique across stations, the row's key in every record.
using AttemptId = QString;

// What a board's burn used.
struct BurnFacts {
    QString label; // the label burned (for a MAC package: its base MAC), any case
    MacTriple triple;
    bool macWritten = false; // selection bit 1: the MACs go into the board
    int modelCode = 0;
    QString modelName;
    int selection = 0;
    QString bootLoaderPath; // each only when selected
    QString rootPath;
    QString configPath;
};

// What the MAC guard found for a label.
struct LabelCheck {
    std::optional<BoardAttempt> written; // the newest finished board of that label
    bool localOnly = false;              // the line-wide record could not be asked
    bool localUnreadable = false;        // the station's own record could not be read
};

// The production record as the station tells it: one row per board attempt,
// each event of the attempt as it happens. The station's file and the
// line-wide database stand behind it; the station never waits for a disk.
class BoardRecord {
public:
    // A text for the log; shown to the operator too when forOperator.
    using Notice = std::function<void(const QString& text, bool forOperator)>;

    virtual ~BoardRecord() = default;
    virtual void setNotice(Notice notice) = 0;

    virtual void Claimed(const AttemptId& id, const QString& routerAddress, int routerPort) = 0;
    virtual void Scanned(const AttemptId& id, const QString& label) = 0;
    virtual void ReburnAnswered(const AttemptId& id, bool confirmed) = 0;
    // An empty id: a burn with no router (the scan field, continuous burning).
    virtual void Built(const AttemptId& id, const BurnFacts& facts) = 0;
    // Its files went out whole; fetchAgain: its boot loader CRC differed.
    virtual void Transferred(const AttemptId& id, bool fetchAgain) = 0;
    // Where the attempt stands now. A final outcome never changes, and only
    // an attempt whose files went out can be written.
    virtual void SetOutcome(const AttemptId& id, Outcome outcome) = 0;

    virtual LabelCheck Check(const QString& label) = 0;
};

} // namespace quorvane::record
