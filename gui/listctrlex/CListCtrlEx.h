#pragma once

#include "gui/listctrlex/CellStore.h"
#include "gui/listctrlex/ListNotify.h"

#include <QList>
#include <QMap>
#include <QPixmap>
#include <QTreeWidget>
#include <memory>

namespace ListCtrlEx {

class CListCtrlExSortHead;

enum ColumnKind {
    KindText = 0,
    KindCheckBox = 1,
    KindRadio = 2,
    KindCombo = 3,
    KindEdit = 4,
    KindProgress = 5,
};

enum ColumnAlign { AlignLeft = 0, AlignRight = 1, AlignCentre = 2 };

// Row states as the list has always named them.
enum ItemState : unsigned { StateFocused = 0x1, StateSelected = 0x2 };

// A report-view list that paints every cell by its column's kind (text, check
// box, radio, drop-down, edit, progress) and keeps a record per cell beside
// its texts. Rows are top-level items without children. Everything runs on
// the thread that owns the widget; only the two progress setters may be
// called from another thread, and are then carried over to it in order.
class CListCtrlEx : public QTreeWidget {
    Q_OBJECT
public:
    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // Columns. `subItem` is accepted for the familiar call shape; a column's
    // texts always live at its own index.
    int InsertColumnEx(int column, const QString& heading, int width, int kind = KindText,
                       int align = AlignLeft, int sortRule = 0, int subItem = -1);
    bool DeleteColumn(int column);
    int GetColumnCount() const { return columnCount(); }
    int GetColumnKind(int column) const;
    void SetColumnKind(int column, int kind);
    int GetColumnSortRule(int column) const;
    void SetColumnSortRule(int column, int rule);
    bool GetColumnSortAscending(int column) const;
    void SetColumnSortAscending(int column, bool ascending);
    void SetColumnWidth(int column, int width) { setColumnWidth(column, width); }
    int GetColumnWidth(int column) const { return columnWidth(column); }
    // Left, right or centre; centre when the column has none.
    int GetColumnAlignment(int column) const;

    // Options; neither repaints.
    void SetShowProgressText(bool show);
    bool GetShowProgressText() const { return m_dwOptions & OptionShowProgressText; }
    void SetSortOnHeaderClick(bool sort);
    bool GetSortOnHeaderClick() const { return m_dwOptions & OptionSortOnHeaderClick; }
    void SetGridLines(bool on);
    bool GetGridLines() const { return m_bGridLines; }

    // Progress cells: store, then repaint only that cell at once.
    void SetCellProgress(int row, int column, quint32 value);
    void SetCellProgressMax(int row, int column, quint32 maximum);
    int GetCellProgress(int row, int column);
    int GetCellProgressMax(int row, int column);

    void SetCellEnabled(int row, int column, bool enabled);
    bool GetCellEnabled(int row, int column);
    void SetCellChecked(int row, int column, bool checked);
    bool GetCellChecked(int row, int column);
    void SetCellImage(int row, int column, int image);
    int GetCellImage(int row, int column);
    void SetCellRadioGroup(int row, int column, int group);
    int GetCellRadioGroup(int row, int column);
    void SetCellAllowedChars(int row, int column, const QString& allowed);
    QString GetCellAllowedChars(int row, int column);
    void SetCellOptions(int row, int column, const QStringList& options);
    void AddCellOption(int row, int column, const QString& option);
    QStringList GetCellOptions(int row, int column);
    // Opens the in-place editor of a drop-down or edit cell.
    void EditCell(int row, int column);

    // Rows. Cell records follow their rows whatever moves them, the inherited
    // QTreeWidget calls (sortItems, clear, takeTopLevelItem, ...) included.
    int InsertItem(int row, const QString& text);
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    int GetItemCount() const { return topLevelItemCount(); }
    bool DeleteItem(int row);
    bool DeleteAllItems();
    bool EnsureVisible(int row, bool partialOK);
    bool SetItemData(int row, quintptr data);
    quintptr GetItemData(int row) const;
    bool SetItemState(int row, unsigned state, unsigned mask);
    unsigned GetItemState(int row, unsigned mask) const;

    // Images for the square at a cell's left; `type` is the image list's
    // kind (0 normal, 1 small, 2 state), the last one given is used.
    void SetImageList(const QList<QPixmap>& images, int type = 0);
    const QPixmap* GetCellPixmap(int image) const;

    // Geometry, in viewport coordinates.
    bool GetCellRect(int row, int column, QRect& rect) const;
    bool GetColumnRect(int column, QRect& rect) const;
    CellHit CellHitTest(const QPoint& point) const;

    // The identifier the end-of-edit notification names this list by.
    void SetControlId(int id) { m_nControlId = id; }
    int GetControlId() const { return m_nControlId; }

    // End of an in-place edit: the text goes into the cell, then 9032.
    void OnEndLabelEdit(const EndEditRecord& record);

    // For the painter: the record if the cell has one, never creating it.
    const ListCellData* FindCell(int row, int column) const { return m_cells.Find(row, column); }
    bool IsRowSelected(int row) const;
    CListCtrlExSortHead* SortHead() const { return m_pSortHead.get(); }

    // Rows reordered by a column, as a header click does.
    void SortByColumn(int column);

Q_SIGNALS:
    void CellLButtonDown(ListCtrlEx::CellHit hit);                // 9025
    void CellLButtonDblClk(ListCtrlEx::CellHit hit);              // 9026
    void CellRButtonDown(ListCtrlEx::CellHit hit);                // 9027
    void CellCheckChanged(ListCtrlEx::CellFlagRecord r);          // 9028
    void CellCheckClicked(ListCtrlEx::CellFlagRecord r);          // 9030
    void CellEnableChanged(ListCtrlEx::CellFlagRecord r);         // 9031
    void CellEndEdit(int controlId, ListCtrlEx::EndEditRecord r); // 9032
    void CellBeforeEdit(ListCtrlEx::CellHit hit);                 // 9033

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    friend class CInPlaceEdit;
    friend class CInPlaceCombo;

    enum : unsigned { OptionShowProgressText = 0x1, OptionSortOnHeaderClick = 0x2 };
    struct SortSetting {
        int rule = 0;
        bool ascending = true;
    };

    bool IsValidCell(int row, int column) const;
    void RepaintCell(int row, int column);
    bool OnMainThread() const;
    void OnHeaderClicked(int column);
    void ShiftColumnSettings(int from, int delta);
    void MoveColumnTexts(int column, int count, bool open);
    // Ends an open in-place edit of this list whose row is fromRow or below,
    // before rows or columns move under it.
    void FinishInPlaceEdits(int fromRow);

    CellStore& m_cells; // a child: it watches the rows from the start
    QMap<int, int> m_columnKinds;
    int m_nImageListType = 0;
    QMap<int, QList<QPixmap>> m_imageLists;
    unsigned m_dwOptions = 0;
    QMap<int, SortSetting> m_sortSettings;
    std::unique_ptr<CListCtrlExSortHead> m_pSortHead;
    bool m_bGridLines = false;
    int m_nControlId = 0;
};

} // namespace ListCtrlEx
