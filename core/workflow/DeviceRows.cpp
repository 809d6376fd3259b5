#include "core/workflow/DeviceRows.h"

namespace quorvane {

namespace {
const QString kWaitingText = QStringLiteral("请连接新设备...");
const QString kWrittenText = QStringLiteral("设备写入完成，可以移除");
} // namespace

DeviceRows::DeviceRows(RowTimerService& timers, QObject* parent)
    : QObject(parent), m_timers(timers) {
    m_timers.setTickHandler([this](int id) { OnTimer(id); });
    appendWaitingRow();
}

QString DeviceRows::text(int row, int column) const {
    if (!valid(row) || column < 0 || column >= 4)
        return {};
    return m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

int DeviceRows::progress(int row) const {
    return valid(row) ? m_rows[static_cast<std::size_t>(row)].progress : 0;
}

int DeviceRows::progressMax(int row) const {
    return valid(row) ? m_rows[static_cast<std::size_t>(row)].maximum : 100;
}

void DeviceRows::setText(int row, int column, const QString& text) {
    if (!valid(row) || column < 0 || column >= 4)
        return;
    m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = text;
    emit textChanged(row, column, text);
}

void DeviceRows::setProgress(int row, int value) {
    if (!valid(row))
        return;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    r.progress = value;
    emit progressChanged(row, r.progress, r.maximum);
}

void DeviceRows::setProgressMax(int row, int maximum) {
    if (!valid(row))
        return;
    Row& r = m_rows[static_cast<std::size_t>(row)];
    r.maximum = maximum;
    emit progressChanged(row, r.progress, r.maximum);
}

int DeviceRows::appendWaitingRow() {
    const int n = rowCount();
    Row row;
    row.texts[NumColumn] = QString::number(n + 1);
    m_rows.push_back(row);
    emit rowInserted(n);
    setText(n, MacColumn, kWaitingText);
    return n;
}

int DeviceRows::findMacFromEnd(const QString& macText) const {
    for (int i = rowCount() - 1; i >= 0; --i) {
        if (text(i, MacColumn).compare(macText, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void DeviceRows::completeRow(int row, int timerId) {
    m_timers.KillTimer(timerId);
    setText(row, StatusColumn, kWrittenText);
    setProgress(row, 100);
}

void DeviceRows::OnTimer(int id) {
    const int n = rowCount();
    const auto advance = [this](int row, int timerId) {
        const int p = progress(row);
        if (p < 100) {
            setProgress(row, p + 1);
            return;
        }
        completeRow(row, timerId);
        emit rowFinishedByTimer(row, timerId);
    };
    // The last row is the one waiting for a board: its first-family timer
    // never runs.
    for (int i = n - 2; i >= 0; --i) {
        if (id == i)
            advance(i, i);
    }
    if (id >= kSecondTimerFamily) {
        for (int j = n - 1; j >= 0; --j) {
            if (id == j + kSecondTimerFamily)
                advance(j, id);
        }
    }
}

} // namespace quorvane
