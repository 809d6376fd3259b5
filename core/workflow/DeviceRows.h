#pragma once

#include "core/workflow/RowTimerService.h"

#include <QObject>
#include <QString>

#include <array>
#include <vector>

namespace quorvane {

inline constexpr int kSecondTimerFamily = 60000;

// The device list as data: one row per board, columns Num, Mac, progress and
// status, a progress value and maximum per row (0 and 100 until set). Rows are
// only appended. Owns the row-timer tick of the list; the views listen.
class DeviceRows : public QObject {
    Q_OBJECT
public:
    enum Column { NumColumn = 0, MacColumn = 1, ProgressColumn = 2, StatusColumn = 3 };

    // Starts with the waiting row "1" / "请连接新设备...".
    explicit DeviceRows(RowTimerService& timers, QObject* parent = nullptr);

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    QString text(int row, int column) const;
    int progress(int row) const;
    int progressMax(int row) const;

    void setText(int row, int column, const QString& text);
    void setProgress(int row, int value);
    void setProgressMax(int row, int maximum);
    // Appends the waiting row numbered rowCount() + 1; returns its index.
    int appendWaitingRow();
    // Last row whose Mac column equals macText ignoring case, or -1.
    int findMacFromEnd(const QString& macText) const;

    RowTimerService& timers() { return m_timers; }
    // WM_TIMER: one tick of timer id (rows i and 60000 + i).
    void OnTimer(int id);
    // Stops the row's timer of the first family, status "设备写入完成，可以移除",
    // progress 100 (the caller counts the device and plays the sound).
    void completeRow(int row, int timerId);

Q_SIGNALS:
    void rowInserted(int row);
    void textChanged(int row, int column, const QString& text);
    void progressChanged(int row, int value, int maximum);
    // Scroll the board just served into view; partialOk: a partly visible row
    // will do (after a completion that answered the read request itself).
    void ensureVisible(int row, bool partialOk);
    // Timer timerId found the row at 100 and completed it: play 136.
    void rowFinishedByTimer(int row, int timerId);

private:
    struct Row {
        std::array<QString, 4> texts;
        int progress = 0;
        int maximum = 100;
    };
    bool valid(int row) const { return row >= 0 && row < rowCount(); }

    RowTimerService& m_timers;
    std::vector<Row> m_rows;
};

} // namespace quorvane
