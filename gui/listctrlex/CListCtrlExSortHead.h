#pragma once

#include <QHeaderView>
#include <QSet>

namespace ListCtrlEx {

// A header that draws a sort arrow in the section given to SetSortArrow.
class CListCtrlExSortHead : public QHeaderView {
    Q_OBJECT
public:
    explicit CListCtrlExSortHead(Qt::Orientation orientation, QWidget* parent = nullptr);

    // direction non-zero points the arrow down, zero up.
    void SetSortArrow(int column, int direction);
    int SortColumn() const { return m_nSortColumn; }
    int ArrowDirection() const { return m_nArrowDirection; }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int m_nSortColumn = -1;
    int m_nArrowDirection = 0;
    QSet<int> m_ownerDrawn;
    int m_nPressed = -1;
};

} // namespace ListCtrlEx
