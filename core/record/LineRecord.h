#pragma once

#include "core/record/LineUrl.h"
#include "core/record/LineWorker.h"
#include "core/record/ProductionRecord.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace quorvane::record {

// The station's link to the line-wide PostgreSQL database. A thread of its
// own delivers every row committed to the station's file, by id and
// revision, and answers the guard's questions; the station's thread waits
// for an answer no longer than LineTiming::checkWait, and never while the
// line is known to be down.
class LineRecord final : public QObject, public LineLink {
    Q_OBJECT
public:
    // stationFolder holds "production.db".
    LineRecord(const QString& url, const QString& stationFolder, LineTiming timing = {},
               QObject* parent = nullptr);
    // Delivers what is still waiting when the line is up, then ends the thread.
    ~LineRecord() override;

    void rowSaved(const QString& id) override;
    LabelCheck check(const QString& label) override;
    void setNotice(Notice notice) override;

private Q_SLOTS:
    // The worker's news of the line going down or coming back.
    void takeNews();

private:
    LineTiming m_timing;
    std::unique_ptr<LineMailbox> m_box;
    std::unique_ptr<LineWorker> m_worker;
    Notice m_notice;
};

} // namespace quorvane::record
