#include "gui/listctrlex/CellStore.h"

namespace ListCtrlEx {

const ListCellData* CellStore::Find(int row, int column) const {
    auto it = m_cells.find({row, column});
    return it == m_cells.end() ? nullptr : &it->second;
}

ListCellData& CellStore::Touch(int row, int column) {
    auto it = m_cells.find({row, column});
    if (it == m_cells.end())
        it = m_cells.emplace(Key{row, column}, ListCellData(column)).first;
    return it->second;
}

void CellStore::Shift(bool rows, int from, int to, int delta) {
    std::map<Key, ListCellData> moved;
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        const int c = rows ? it->first.first : it->first.second;
        if (c >= from && c < to) {
            Key k = it->first;
            (rows ? k.first : k.second) += delta;
            moved.insert_or_assign(k, std::move(it->second));
            it = m_cells.erase(it);
        } else {
            ++it;
        }
    }
    // A moved record belongs to a real row or column and wins over a record
    // stored earlier for an index the list did not have.
    for (auto& [k, d] : moved)
        m_cells.insert_or_assign(k, std::move(d));
}

void CellStore::OpenRow(int row, int rowCount) {
    Shift(true, row, rowCount, 1);
}

void CellStore::DropRow(int row, int rowCount) {
    std::erase_if(m_cells, [row](const auto& e) { return e.first.first == row; });
    Shift(true, row + 1, rowCount, -1);
}

void CellStore::OpenColumn(int column, int columnCount) {
    Shift(false, column, columnCount, 1);
}

void CellStore::DropColumn(int column, int columnCount) {
    std::erase_if(m_cells, [column](const auto& e) { return e.first.second == column; });
    Shift(false, column + 1, columnCount, -1);
}

void CellStore::Reorder(const QList<int>& formerRow) {
    std::map<int, int> newIndexOf;
    for (int i = 0; i < formerRow.size(); ++i)
        newIndexOf[formerRow[i]] = i;
    std::map<Key, ListCellData> rebuilt;
    for (auto& [k, d] : m_cells) {
        auto it = newIndexOf.find(k.first);
        const int row = it == newIndexOf.end() ? k.first : it->second;
        rebuilt.insert_or_assign(Key{row, k.second}, std::move(d));
    }
    m_cells = std::move(rebuilt);
}

} // namespace ListCtrlEx
