#include "core/record/ProductionRecord.h"

#include "core/record/RecordStore.h"
#include "core/record/RecordWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSysInfo>
#include <QUuid>

namespace quorvane::record {

namespace {

QString MacText(const MacAddress& mac) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(mac.bytes.data()), 6).toHex().toUpper());
}

// A record that could not be read is tried again at most this often.
constexpr qint64 kReadRetryMs = 5000;

} // namespace

ProductionRecord::ProductionRecord(const QString& stationFolder, Clock clock, QObject* parent)
    : QObject(parent), m_folder(stationFolder), m_host(QSysInfo::machineHostName()),
      m_clock(clock ? std::move(clock) : [] { return QDateTime::currentMSecsSinceEpoch(); }) {
    m_startedAt = m_clock();
    const QString path = QDir(stationFolder).filePath(FileName());
    m_readTriedAt = m_startedAt - kReadRetryMs;
    reader();
    m_writer = std::make_unique<RecordWriter>(path);
    connect(m_writer.get(), &RecordWriter::committed, this, [this](const QStringList& ids) {
        m_failing = false;
        if (m_line) {
            for (const QString& id : ids)
                m_line->rowSaved(id);
        }
        Q_EMIT committed();
    });
    connect(m_writer.get(), &RecordWriter::failed, this, [this](const QString& error) {
        if (m_failing)
            return;
        m_failing = true;
        Q_EMIT failed(QStringLiteral("生产记录%1写入失败: %2")
                          .arg(QDir(m_folder).filePath(FileName()), error));
    });
}

void ProductionRecord::flush() {
    m_writer->flush();
    // What the writer said on its way is told here too.
    QCoreApplication::sendPostedEvents(this);
}

ProductionRecord::~ProductionRecord() {
    // The writer's last rows reach the file before the line looks for them
    // there one last time.
    m_writer.reset();
    m_line.reset();
}

void ProductionRecord::setLineLink(std::unique_ptr<LineLink> line) {
    m_line = std::move(line);
    if (m_line)
        m_line->setNotice(
            [this](bool reachable, const QString& text) { Q_EMIT lineChanged(reachable, text); });
}

BoardAttempt ProductionRecord::newAttempt() const {
    BoardAttempt a;
    a.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    a.station = m_host;
    a.folder = m_folder;
    a.claimedAt = m_clock();
    return a;
}

BoardAttempt* ProductionRecord::onRow(int row) {
    const auto it = m_rows.find(row);
    return it == m_rows.end() ? nullptr : &*it;
}

QString ProductionRecord::attemptIdOnRow(int row) const {
    const auto it = m_rows.constFind(row);
    return it == m_rows.constEnd() ? QString() : it->id;
}

std::optional<BoardAttempt> ProductionRecord::attemptOnRow(int row) const {
    const auto it = m_rows.constFind(row);
    if (it == m_rows.constEnd())
        return std::nullopt;
    return *it;
}

void ProductionRecord::save(const BoardAttempt& attempt) {
    m_writer->save(attempt);
}

void ProductionRecord::close(BoardAttempt& attempt, Outcome outcome) {
    attempt.outcome = outcome;
    if (IsWritten(outcome))
        attempt.finishedAt = m_clock();
    save(attempt);
}

void ProductionRecord::Claimed(int row, const QString& routerAddress, int routerPort) {
    if (BoardAttempt* old = onRow(row); old && !IsFinal(old->outcome))
        close(*old, old->transferredAt > 0 ? Outcome::Delivered : Outcome::Released);
    BoardAttempt a = newAttempt();
    a.routerAddress = routerAddress;
    a.routerPort = routerPort;
    m_rows.insert(row, a);
    save(a);
}

void ProductionRecord::Scanned(int row, const QString& label) {
    if (BoardAttempt* a = onRow(row)) {
        a->label = label.toUpper();
        a->scannedAt = m_clock();
        save(*a);
    }
}

void ProductionRecord::ScanCancelled(int row) {
    if (BoardAttempt* a = onRow(row); a && !IsFinal(a->outcome))
        close(*a, Outcome::ScanCancelled);
}

void ProductionRecord::ReburnAnswered(int row, bool confirmed) {
    BoardAttempt* a = onRow(row);
    if (!a)
        return;
    a->reburn = confirmed ? QStringLiteral("confirmed") : QStringLiteral("refused");
    if (confirmed)
        save(*a);
    else
        close(*a, Outcome::ReburnRefused);
}

void ProductionRecord::Built(int row, const BurnFacts& facts) {
    BoardAttempt prepared;
    BoardAttempt* a = row >= 0 ? onRow(row) : nullptr;
    if (!a) {
        prepared = newAttempt();
        prepared.outcome = Outcome::Prepared;
        a = &prepared;
    }
    a->label = facts.label.toUpper();
    if (facts.macWritten) {
        a->baseMac = MacText(facts.triple.base);
        a->modelMac = MacText(facts.triple.model);
        a->wanMac = MacText(facts.triple.wan);
    }
    a->modelCode = facts.modelCode;
    a->modelName = facts.modelName;
    a->selection = facts.selection;
    a->bootLoader = m_sources.of(facts.bootLoaderPath);
    a->rootImage = m_sources.of(facts.rootPath);
    a->configTemplate = m_sources.of(facts.configPath);
    a->builtAt = m_clock();
    save(*a);
}

void ProductionRecord::Transferred(int row, bool fetchAgain) {
    BoardAttempt* a = onRow(row);
    if (!a || IsFinal(a->outcome))
        return;
    a->transferredAt = m_clock();
    if (fetchAgain)
        ++a->refetches;
    a->outcome = fetchAgain ? Outcome::FetchedAgain : Outcome::InProgress;
    save(*a);
}

void ProductionRecord::written(BoardAttempt& attempt, Outcome outcome) {
    // The first word of a finish counts, a final outcome stays, and only a
    // board whose files went out can have written them.
    if (!IsFinal(attempt.outcome) && attempt.transferredAt > 0)
        close(attempt, outcome);
}

void ProductionRecord::Written(int row) {
    if (BoardAttempt* a = onRow(row))
        written(*a, Outcome::WrittenDone);
}

void ProductionRecord::TimerFinished(const QString& attemptId) {
    for (BoardAttempt& a : m_rows) {
        if (a.id == attemptId)
            written(a, Outcome::WrittenTimer);
    }
}

void ProductionRecord::Released(int row) {
    if (BoardAttempt* a = onRow(row); a && !IsFinal(a->outcome))
        close(*a, Outcome::Released);
}

void ProductionRecord::Stopped() {
    for (BoardAttempt& a : m_rows) {
        // A board that has its files writes on; its row timer still runs.
        const bool writing = a.transferredAt > 0 && a.outcome == Outcome::InProgress;
        if (!IsFinal(a.outcome) && !writing)
            close(a, Outcome::Stopped);
    }
}

void ProductionRecord::ShutDown() {
    Stopped();
    for (BoardAttempt& a : m_rows) {
        if (!IsFinal(a.outcome))
            close(a, Outcome::Delivered);
    }
}

RecordStore* ProductionRecord::reader() {
    const qint64 now = m_clock();
    if (m_store || qAbs(now - m_readTriedAt) < kReadRetryMs)
        return m_store.get();
    m_readTriedAt = now;
    QString error;
    m_store = RecordStore::Open(QDir(m_folder).filePath(FileName()), &error);
    if (m_store)
        m_readFailing = false;
    else
        readFailed(error);
    return m_store.get();
}

void ProductionRecord::readFailed(const QString& error) {
    m_store.reset();
    m_readTriedAt = m_clock();
    if (m_readFailing)
        return;
    m_readFailing = true;
    // Queued: the station connects to failed() after the constructor's try.
    const QString text =
        QStringLiteral("生产记录%1读取失败: %2").arg(QDir(m_folder).filePath(FileName()), error);
    QMetaObject::invokeMethod(
        this, [this, text] { Q_EMIT failed(text); }, Qt::QueuedConnection);
}

LabelCheck ProductionRecord::Check(const QString& label) {
    LabelCheck check;
    if (RecordStore* store = reader()) {
        QString error;
        check.written = store->latestWritten(label, &error);
        if (!error.isEmpty())
            readFailed(error);
    }
    check.localUnreadable = !m_store;
    // A finish on its way to the disk counts already.
    for (const BoardAttempt& a : std::as_const(m_rows)) {
        if (IsWritten(a.outcome) && a.label.compare(label, Qt::CaseInsensitive) == 0 &&
            (!check.written || a.finishedAt > check.written->finishedAt))
            check.written = a;
    }
    if (!m_line)
        return check;
    const LabelCheck line = m_line->check(label);
    check.localOnly = line.localOnly;
    if (line.written && (!check.written || line.written->finishedAt > check.written->finishedAt))
        check.written = line.written;
    return check;
}

RecordSummary ProductionRecord::ShiftSummary() {
    RecordStore* store = reader();
    if (!store)
        return {};
    QString error;
    const RecordSummary summary = Summarise(*store, m_startedAt, &error);
    if (!error.isEmpty())
        readFailed(error);
    return summary;
}

} // namespace quorvane::record
