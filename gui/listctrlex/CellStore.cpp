#include "gui/listctrlex/CellStore.h"

#include <QSignalBlocker>
#include <QTreeWidget>

namespace ListCtrlEx {

namespace {
constexpr int kCellsRole = Qt::UserRole + 3;
}

CellStore::CellStore(QTreeWidget& list) : QObject(&list), m_list(list) {
    QAbstractItemModel* model = list.model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (!parent.isValid())
                    OnRowsInserted(first, last);
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { m_waiting.clear(); });
}

int CellStore::RowCount() const {
    return m_list.topLevelItemCount();
}

CellStore::RowCells* CellStore::CellsOf(int row) const {
    const auto held = m_list.topLevelItem(row)->data(0, kCellsRole);
    return held.value<std::shared_ptr<RowCells>>().get();
}

void CellStore::Adopt(QTreeWidgetItem* item) {
    const auto held = item->data(0, kCellsRole).value<std::shared_ptr<RowCells>>();
    if (held && held->owner == item)
        return;
    auto own = held ? std::make_shared<RowCells>(*held) : std::make_shared<RowCells>();
    own->owner = item;
    // Records are no change of the row that the view or an owner should hear of.
    const QSignalBlocker quiet(m_list.model());
    item->setData(0, kCellsRole, QVariant::fromValue(own));
}

void CellStore::OnRowsInserted(int first, int last) {
    for (int row = first; row <= last; ++row)
        Adopt(m_list.topLevelItem(row));
    const int count = RowCount();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        const auto [row, column] = it->first;
        if (row >= 0 && row < count) {
            CellsOf(row)->cells.try_emplace(column, std::move(it->second));
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
}

const ListCellData* CellStore::Find(int row, int column) const {
    if (row >= 0 && row < RowCount()) {
        const RowCells* own = CellsOf(row);
        if (!own)
            return nullptr;
        auto it = own->cells.find(column);
        return it == own->cells.end() ? nullptr : &it->second;
    }
    auto it = m_waiting.find({row, column});
    return it == m_waiting.end() ? nullptr : &it->second;
}

ListCellData& CellStore::Touch(int row, int column) {
    if (row >= 0 && row < RowCount()) {
        // Rows get their records as they come in; a caller reaching a row
        // before that (from a slot of its own on the insertion) gets them now.
        Adopt(m_list.topLevelItem(row));
        return CellsOf(row)->cells.try_emplace(column, column).first->second;
    }
    return m_waiting.try_emplace({row, column}, column).first->second;
}

void CellStore::Shift(Row& cells, int from, int to, int delta) {
    Row moved;
    for (auto it = cells.begin(); it != cells.end();) {
        if (it->first >= from && it->first < to) {
            moved.insert_or_assign(it->first + delta, std::move(it->second));
            it = cells.erase(it);
        } else {
            ++it;
        }
    }
    // A moved record belongs to a real column and wins over one stored
    // earlier for an index the list did not have.
    for (auto& [column, data] : moved)
        cells.insert_or_assign(column, std::move(data));
}

void CellStore::MoveColumns(std::optional<int> dropped, int from, int to, int delta) {
    for (int row = 0; row < RowCount(); ++row) {
        RowCells* own = CellsOf(row);
        if (!own)
            continue;
        if (dropped)
            own->cells.erase(*dropped);
        Shift(own->cells, from, to, delta);
    }
    std::map<int, Row> waiting;
    for (auto& [key, data] : m_waiting) {
        if (key.second != dropped)
            waiting[key.first].emplace(key.second, std::move(data));
    }
    m_waiting.clear();
    for (auto& [row, cells] : waiting) {
        Shift(cells, from, to, delta);
        for (auto& [column, data] : cells)
            m_waiting.emplace(std::pair{row, column}, std::move(data));
    }
}

void CellStore::OpenColumn(int column, int columnCount) {
    MoveColumns(std::nullopt, column, columnCount, 1);
}

void CellStore::DropColumn(int column, int columnCount) {
    MoveColumns(column, column + 1, columnCount, -1);
}

} // namespace ListCtrlEx
