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
        for (const QString& id : ids) {
            if (m_line)
                m_line->rowSaved(id);
            // An end on disk is found there; no event changes it.
            const auto it = m_attempts.constFind(id);
            if (it != m_attempts.constEnd() && IsFinal(it->outcome))
                m_attempts.erase(it);
        }
        Q_EMIT committed();
    });
    connect(this, &ProductionRecord::failed, this, [this](const QString& text) {
        if (m_notice)
            m_notice(text, true);
    });
    connect(this, &ProductionRecord::lineChanged, this,
            [this](bool reachable, const QString& text) {
                if (m_notice)
                    m_notice(text, !reachable);
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

BoardAttempt ProductionRecord::newAttempt(const AttemptId& id) const {
    BoardAttempt a;
    a.id = id.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : id;
    a.station = m_host;
    a.folder = m_folder;
    a.claimedAt = m_clock();
    return a;
}

BoardAttempt* ProductionRecord::find(const AttemptId& id) {
    const auto it = m_attempts.find(id);
    return it == m_attempts.end() ? nullptr : &*it;
}

void ProductionRecord::save(const BoardAttempt& attempt) {
    m_writer->save(attempt);
}

void ProductionRecord::Claimed(const AttemptId& id, const QString& routerAddress, int routerPort) {
    BoardAttempt a = newAttempt(id);
    a.routerAddress = routerAddress;
    a.routerPort = routerPort;
    m_attempts.insert(a.id, a);
    save(a);
}

void ProductionRecord::Scanned(const AttemptId& id, const QString& label) {
    if (BoardAttempt* a = find(id)) {
        a->label = label.toUpper();
        a->scannedAt = m_clock();
        save(*a);
    }
}

void ProductionRecord::ReburnAnswered(const AttemptId& id, bool confirmed) {
    if (BoardAttempt* a = find(id)) {
        a->reburn = confirmed ? QStringLiteral("confirmed") : QStringLiteral("refused");
        save(*a);
    }
}

void ProductionRecord::Built(const AttemptId& id, const BurnFacts& facts) {
    BoardAttempt prepared;
    BoardAttempt* a = find(id);
    if (!a) {
        prepared = newAttempt({});
        prepared.outcome = Outcome::Prepared;
        a = &prepared;
    }
    a->label = facts.label.toUpper();
    if (facts.macWritten) {
        a->baseMac = LabelText(facts.triple.base);
        a->modelMac = LabelText(facts.triple.model);
        a->wanMac = LabelText(facts.triple.wan);
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

void ProductionRecord::Transferred(const AttemptId& id, bool fetchAgain) {
    BoardAttempt* a = find(id);
    if (!a || IsFinal(a->outcome))
        return;
    a->transferredAt = m_clock();
    if (fetchAgain)
        ++a->refetches;
    save(*a);
}

void ProductionRecord::SetOutcome(const AttemptId& id, Outcome outcome) {
    BoardAttempt* a = find(id);
    // A final outcome stays, and only a board whose files went out can have
    // written them.
    if (!a || IsFinal(a->outcome) || (IsWritten(outcome) && a->transferredAt == 0))
        return;
    a->outcome = outcome;
    if (IsWritten(outcome))
        a->finishedAt = m_clock();
    save(*a);
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
    for (const BoardAttempt& a : std::as_const(m_attempts)) {
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
