#pragma once

#include "core/record/RecordChanges.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace quorvane::record {
class RecordStore;
}

namespace quorvane::dashboard {

// The dashboard's one connection to the record, read-only, and the watch
// that tells of every row inserted or changed: on PostgreSQL the NOTIFY of
// the change counter's trigger (and a look every few seconds, which also
// finds a server that went away); on SQLite PRAGMA data_version, which moves
// when another connection commits.
class RecordSource final : public QObject {
    Q_OBJECT
public:
    // where: a file or URL; shown: the same as the user may see it.
    RecordSource(const QString& where, const QString& shown, QObject* parent = nullptr);
    ~RecordSource() override;

    bool open(QString* error);
    // Null while the record cannot be reached (tried again at the next look).
    record::RecordStore* store();
    const QString& where() const { return m_where; }
    const QString& shown() const { return m_shown; }
    // The highest change number read so far.
    qint64 cursor() const { return m_cursor; }
    record::ChangeOrder order() const { return m_order; }

Q_SIGNALS:
    // Rows changed since the last batch, oldest first.
    void changed(const QList<record::ChangedBoard>& rows);
    // The record went away or came back, for the log.
    void reachable(bool up, const QString& text);

private:
    void look();
    void readNew();
    bool reopen();

    QString m_where;
    QString m_shown;
    std::unique_ptr<record::RecordStore> m_store;
    record::ChangeOrder m_order = record::ChangeOrder::None;
    qint64 m_cursor = 0;
    qint64 m_dataVersion = -1;
    bool m_down = false;
    QTimer m_timer;
};

} // namespace quorvane::dashboard
