#pragma once

#include "core/personalise/MacAddress.h"
#include "core/record/BoardAttempt.h"
#include "core/record/RecordSummary.h"
#include "core/record/SourceFacts.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace quorvane::record {

class RecordStore;
class RecordWriter;

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
    bool localUnreadable = false;        // this station's own record could not be read
};

// The line-wide database beside the station's own file.
class LineLink {
public:
    using Notice = std::function<void(bool reachable, const QString& text)>;
    virtual ~LineLink() = default;
    // A row was committed locally and waits for delivery.
    virtual void rowSaved(const QString& id) = 0;
    // The newest written row of the label on the line; nothing in
    // LabelCheck::written and localOnly set when the line could not be asked
    // in a short, bounded time.
    virtual LabelCheck check(const QString& label) = 0;
    // Told on the station's thread when the line becomes unreachable or
    // reachable again, once per change, with a text for the operator.
    virtual void setNotice(Notice notice) { (void)notice; }
};

// The production record of one station: a row per board attempt in
// "production.db" in the station folder, committed as the board's events
// happen (on the writer's thread: a commit waits for the disk). The station
// calls these at the points where it acts anyway; a row that cannot be
// written is reported through failed() and holds nothing up.
class ProductionRecord : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // ms since the epoch

    ProductionRecord(const QString& stationFolder, Clock clock = {}, QObject* parent = nullptr);
    ~ProductionRecord() override;

    static QString FileName() { return QStringLiteral("production.db"); }
    bool isOpen() const { return m_store != nullptr; }
    // Returns once every row saved so far is committed (or has failed).
    void flush();
    void setLineLink(std::unique_ptr<LineLink> line);
    LineLink* lineLink() const { return m_line.get(); }

    // row: the device row the board is on.
    void Claimed(int row, const QString& routerAddress, int routerPort);
    void Scanned(int row, const QString& label);
    void ScanCancelled(int row);
    void ReburnAnswered(int row, bool confirmed);
    // row < 0: a burn with no router (the scan field, continuous burning).
    void Built(int row, const BurnFacts& facts);
    void Transferred(int row, bool fetchAgain);
    // The router's DONE for the board on the row.
    void Written(int row);
    // A row timer ran out: it finishes the attempt that started it, if that
    // one is still open, never the next board on the row.
    void TimerFinished(const QString& attemptId);
    void Released(int row);
    // The service stopped: boards whose files are not out yet are over.
    void Stopped();
    // The station closes: boards still writing are left as delivered.
    void ShutDown();

    LabelCheck Check(const QString& label);
    // The boards claimed since this station started.
    RecordSummary ShiftSummary();
    // The attempt on a device row, if any (for tests and views).
    std::optional<BoardAttempt> attemptOnRow(int row) const;
    QString attemptIdOnRow(int row) const;

Q_SIGNALS:
    // A row could not be stored: emitted once, and again only after a row
    // has been stored since. The same for the record that cannot be read
    // (the guard's history, the shift's figures).
    void failed(const QString& text);
    // Rows reached the disk: the shift's figures may have moved.
    void committed();
    // The line-wide database went away or came back (LineLink's notice).
    void lineChanged(bool reachable, const QString& text);

private:
    BoardAttempt* onRow(int row);
    BoardAttempt newAttempt() const;
    void save(const BoardAttempt& attempt);
    void close(BoardAttempt& attempt, Outcome outcome);
    void written(BoardAttempt& attempt, Outcome outcome);
    // The read connection, opened again when it is down and the last try is
    // a while ago; null while the record cannot be read.
    RecordStore* reader();
    void readFailed(const QString& error);

    QString m_folder;
    QString m_host;
    Clock m_clock;
    qint64 m_startedAt = 0;
    std::unique_ptr<RecordStore> m_store; // this thread's reads: the guard, the summary
    std::unique_ptr<RecordWriter> m_writer;
    qint64 m_readTriedAt = 0;
    bool m_readFailing = false;
    std::unique_ptr<LineLink> m_line;
    QHash<int, BoardAttempt> m_rows;
    SourceFacts m_sources;
    bool m_failing = false;
};

} // namespace quorvane::record
