#pragma once

#include "core/workflow/BoardPhase.h"
#include "core/workflow/RowTimerService.h"

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <vector>

namespace quorvane {

// The device list as a table model: one row per board, columns Num, Mac,
// progress and status, each row's progress (of 100) and its board's phase.
// Rows are only appended. Owns the row timers' tick; what a timer that ran
// out means is its owner's (timerRanOut).
class DeviceRows : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NumColumn = 0, MacColumn = 1, ProgressColumn = 2, StatusColumn = 3 };
    enum Role { ProgressRole = Qt::UserRole + 1, PhaseRole };

    // Starts with the waiting row "1" / "请连接新设备...".
    explicit DeviceRows(RowTimerService& timers, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    QString text(int row, int column) const;
    int progress(int row) const;
    BoardPhase phase(int row) const;

    void setText(int row, int column, const QString& text);
    void setProgress(int row, int value);
    void setPhase(int row, BoardPhase phase);
    // Appends the waiting row numbered rowCount() + 1; returns its index.
    int appendWaitingRow();
    // Last row whose Mac column equals macText ignoring case, or -1.
    int findMacFromEnd(const QString& macText) const;

    RowTimerService& timers() { return m_timers; }
    // One tick of timer id: rows i (the waiting row's never runs) and
    // kPackageTimerOffset + i advance; one found at 100 stops that timer.
    void OnTimer(int id);

Q_SIGNALS:
    // Scroll the board just served into view; partialOk: a partly visible row
    // will do (after a completion that answered the read request itself).
    void ensureVisible(int row, bool partialOk);
    // Timer timerId found the row at 100 and has stopped.
    void timerRanOut(int row, int timerId);

private:
    struct Row {
        std::array<QString, 4> texts;
        int progress = 0;
        BoardPhase phase = BoardPhase::Waiting;
    };
    bool valid(int row) const { return row >= 0 && row < rowCount(); }
    void changed(int row, int column, const QList<int>& roles);

    RowTimerService& m_timers;
    std::vector<Row> m_rows;
};

} // namespace quorvane
