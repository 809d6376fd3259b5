#pragma once

#include <QStyledItemDelegate>

namespace ListCtrlEx {

class CListCtrlEx;
struct ListCellData;

// Paints every cell of a CListCtrlEx completely, by its column's kind.
class CellPainter : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CellPainter(CListCtrlEx* list);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

    // What one cell paint needs to know.
    struct Cell {
        QRect rect;
        QString text;
        bool selected = false;
        QColor textColor;
        QColor background;
        const ListCellData* data = nullptr;
        QPalette palette;
        int row = 0;
        int column = 0;
    };

private:
    int PaintImageSquare(QPainter* p, const Cell& c) const;
    void PaintText(QPainter* p, const Cell& c, bool editKind) const;
    void PaintProgress(QPainter* p, const Cell& c) const;
    void PaintCheckBox(QPainter* p, const Cell& c) const;
    void PaintRadio(QPainter* p, const Cell& c) const;
    void PaintCombo(QPainter* p, const Cell& c) const;
    void PaintTextArea(QPainter* p, const Cell& c, const QRect& area) const;

    CListCtrlEx* m_pList;
};

} // namespace ListCtrlEx
