#include "core/workflow/DeviceRows.h"

namespace quorvane {

namespace {
const QString kWaitingText = QStringLiteral("请连接新设备...");
const char* const kHeadings[] = {"Num", "Mac", "进度", "状态"};
} // namespace

DeviceRows::DeviceRows(RowTimerService& timers, QObject* parent)
    : QAbstractTableModel(parent), m_timers(timers) {
    m_timers.setTickHandler([this](int id) { OnTimer(id); });
    appendWaitingRow();
}

int DeviceRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DeviceRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant DeviceRows::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& r = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == ProgressColumn
                   ? QVariant(r.progress)
                   : QVariant(r.texts[static_cast<std::size_t>(index.column())]);
    case ProgressRole:
        return r.progress;
    case PhaseRole:
        return static_cast<int>(r.phase);
    default:
        return {};
    }
}

QVariant DeviceRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 4)
        return {};
    return QString::fromUtf8(kHeadings[section]);
}

QString DeviceRows::text(int row, int column) const {
    if (!valid(row) || column < 0 || column >= 4)
        return {};
    return m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

int DeviceRows::progress(int row) const {
    return valid(row) ? m_rows[static_cast<std::size_t>(row)].progress : 0;
}

BoardPhase DeviceRows::phase(int row) const {
    return valid(row) ? m_rows[static_cast<std::size_t>(row)].phase : BoardPhase::Waiting;
}

void DeviceRows::changed(int row, int column, const QList<int>& roles) {
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, roles);
}

void DeviceRows::setText(int row, int column, const QString& text) {
    if (!valid(row) || column < 0 || column >= 4 || column == ProgressColumn)
        return;
    m_rows[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = text;
    changed(row, column, {Qt::DisplayRole});
}

void DeviceRows::setProgress(int row, int value) {
    if (!valid(row))
        return;
    m_rows[static_cast<std::size_t>(row)].progress = value;
    changed(row, ProgressColumn, {Qt::DisplayRole, ProgressRole});
}

void DeviceRows::setPhase(int row, BoardPhase phase) {
    if (!valid(row) || m_rows[static_cast<std::size_t>(row)].phase == phase)
        return;
    m_rows[static_cast<std::size_t>(row)].phase = phase;
    const QModelIndex first = index(row, 0), last = index(row, StatusColumn);
    emit dataChanged(first, last, {PhaseRole});
}

int DeviceRows::appendWaitingRow() {
    const int n = rowCount();
    beginInsertRows({}, n, n);
    Row row;
    row.texts[NumColumn] = QString::number(n + 1);
    row.texts[MacColumn] = kWaitingText;
    m_rows.push_back(row);
    endInsertRows();
    return n;
}

int DeviceRows::findMacFromEnd(const QString& macText) const {
    for (int i = rowCount() - 1; i >= 0; --i) {
        if (text(i, MacColumn).compare(macText, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void DeviceRows::OnTimer(int id) {
    const int n = rowCount();
    const auto advance = [this](int row, int timerId) {
        const int p = progress(row);
        if (p < 100) {
            setProgress(row, p + 1);
            return;
        }
        m_timers.KillTimer(timerId);
        emit timerRanOut(row, timerId);
    };
    // The last row is the one waiting for a board: its own timer never runs.
    for (int i = n - 2; i >= 0; --i) {
        if (id == i)
            advance(i, i);
    }
    if (id >= kPackageTimerOffset) {
        for (int j = n - 1; j >= 0; --j) {
            if (id == j + kPackageTimerOffset)
                advance(j, id);
        }
    }
}

} // namespace quorvane
