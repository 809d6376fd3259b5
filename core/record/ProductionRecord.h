#pragma once

#include "core/record/BoardAttempt.h"
#include "core/record/BoardRecord.h"
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
// happen (on the writer's thread: a commit waits for the disk). A row that
// cannot be written or read is told through the notice and holds nothing up.
class ProductionRecord : public QObject, public BoardRecord {
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

    void setNotice(Notice notice) override { m_notice = std::move(notice); }
    void Claimed(const AttemptId& id, const QString& routerAddress, int routerPort) override;
    void Scanned(const AttemptId& id, const QString& label) override;
    void ReburnAnswered(const AttemptId& id, bool confirmed) override;
    void Built(const AttemptId& id, const BurnFacts& facts) override;
    void Transferred(const AttemptId& id, bool fetchAgain) override;
    void SetOutcome(const AttemptId& id, Outcome outcome) override;
    LabelCheck Check(const QString& label) override;

    // The boards claimed since this station started.
    RecordSummary ShiftSummary();

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
    BoardAttempt* find(const AttemptId& id);
    BoardAttempt newAttempt(const AttemptId& id) const;
    void save(const BoardAttempt& attempt);
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
    // Open attempts, and ended ones until their end is on disk.
    QHash<AttemptId, BoardAttempt> m_attempts;
    SourceFacts m_sources;
    bool m_failing = false;
    Notice m_notice;
};

} // namespace quorvane::record
