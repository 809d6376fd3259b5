#pragma once

#include "gui/listctrlex/ListCellData.h"

#include <QObject>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QTreeWidget;
class QTreeWidgetItem;

namespace ListCtrlEx {

// Records created on first touch. A row's records live in the row's own item,
// so they go wherever the item goes: sorted, taken out and put back, deleted,
// whether through the list's own calls or QTreeWidget's. Records of rows the
// list does not have (yet) wait under their index and pass to the row that
// comes to stand there, unless it has its own.
class CellStore : public QObject {
public:
    explicit CellStore(QTreeWidget& list);

    const ListCellData* Find(int row, int column) const;
    ListCellData& Touch(int row, int column);

    // A column was opened at (or closed at) `column` in a list of columnCount
    // columns; records follow their column.
    void OpenColumn(int column, int columnCount);
    void DropColumn(int column, int columnCount);

    template <typename F>
    void ForEach(F&& f) {
        for (int row = 0; row < RowCount(); ++row) {
            if (RowCells* own = CellsOf(row)) {
                for (auto& [column, data] : own->cells)
                    f(row, column, data);
            }
        }
        for (auto& [key, data] : m_waiting)
            f(key.first, key.second, data);
    }

private:
    using Row = std::map<int, ListCellData>;
    struct RowCells {
        const QTreeWidgetItem* owner = nullptr;
        Row cells;
    };

    int RowCount() const;
    RowCells* CellsOf(int row) const; // nullptr until the row has its own
    // Gives a row its own records; a cloned item gets a copy, never a share.
    void Adopt(QTreeWidgetItem* item);
    void OnRowsInserted(int first, int last);
    // Moves the records of columns [from, to) by delta, after dropping those
    // of column `dropped`.
    void MoveColumns(std::optional<int> dropped, int from, int to, int delta);
    static void Shift(Row& cells, int from, int to, int delta);

    QTreeWidget& m_list;
    std::map<std::pair<int, int>, ListCellData> m_waiting;
};

} // namespace ListCtrlEx
