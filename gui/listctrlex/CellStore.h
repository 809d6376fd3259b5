#pragma once

#include "gui/listctrlex/ListCellData.h"

#include <QList>
#include <map>
#include <utility>

namespace ListCtrlEx {

// Records keyed by (row, column), created on first touch. Row moves keep every
// existing row's records with that row; records of rows the list does not
// have (yet) keep their index.
class CellStore {
public:
    const ListCellData* Find(int row, int column) const;
    ListCellData& Touch(int row, int column);

    // A row was inserted at `row` into a list that had rowCount rows.
    void OpenRow(int row, int rowCount);
    // Row `row` of a list of rowCount rows was deleted.
    void DropRow(int row, int rowCount);
    // Same for columns, so that records follow their column.
    void OpenColumn(int column, int columnCount);
    void DropColumn(int column, int columnCount);
    // Rows were reordered: new row i is former row formerRow[i].
    void Reorder(const QList<int>& formerRow);
    void Clear() { m_cells.clear(); }
    int Size() const { return int(m_cells.size()); }

    template <typename F>
    void ForEach(F&& f) {
        for (auto& [key, data] : m_cells)
            f(key.first, key.second, data);
    }

private:
    using Key = std::pair<int, int>;
    // Moves every record whose chosen coordinate lies in [from, to) by delta.
    void Shift(bool rows, int from, int to, int delta);

    std::map<Key, ListCellData> m_cells;
};

} // namespace ListCtrlEx
