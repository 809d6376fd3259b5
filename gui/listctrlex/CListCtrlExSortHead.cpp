#include "gui/listctrlex/CListCtrlExSortHead.h"

#include "gui/listctrlex/SysColors.h"

#include <QPainter>

namespace ListCtrlEx {

CListCtrlExSortHead::CListCtrlExSortHead(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {
    connect(this, &QHeaderView::sectionPressed, this, [this](int section) {
        m_nPressed = section;
        viewport()->update();
    });
}

void CListCtrlExSortHead::SetSortArrow(int column, int direction) {
    m_nSortColumn = column;
    m_nArrowDirection = direction;
    m_ownerDrawn.insert(column);
    viewport()->update();
}

void CListCtrlExSortHead::mouseReleaseEvent(QMouseEvent* e) {
    m_nPressed = -1;
    viewport()->update();
    QHeaderView::mouseReleaseEvent(e);
}

void CListCtrlExSortHead::paintSection(QPainter* painter, const QRect& rect,
                                       int logicalIndex) const {
    if (!m_ownerDrawn.contains(logicalIndex) || !model()) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    const QPalette& pal = palette();
    painter->save();
    painter->fillRect(rect, SysColorOf(pal, ColorBtnFace));
    const int o = 2 * fontMetrics().horizontalAdvance(QLatin1Char(' '));
    const bool sortColumn = logicalIndex == m_nSortColumn;

    const QString text = model()->headerData(logicalIndex, orientation()).toString();
    const auto align = Qt::Alignment(
        model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole).toInt());
    Qt::Alignment h = Qt::AlignLeft;
    if (align & Qt::AlignHCenter)
        h = Qt::AlignHCenter;
    else if (align & Qt::AlignRight)
        h = Qt::AlignRight;

    QRect textRect = rect;
    if (logicalIndex == m_nPressed)
        textRect.adjust(1, 2, 1, 0);
    textRect.adjust(o, 0, -o - (sortColumn ? 3 * o : 0), 0);
    if (textRect.width() > 0) {
        painter->setPen(pal.color(QPalette::Active, QPalette::ButtonText));
        painter->drawText(textRect, int(h | Qt::AlignVCenter | Qt::TextSingleLine),
                          fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
    }

    if (sortColumn) {
        const QColor light = SysColorOf(pal, ColorBtnHighlight);
        const QColor shadow = SysColorOf(pal, ColorBtnShadow);
        const int cx = rect.left() + rect.width() - 2 * o;
        const int top = rect.top() + o - 1, bottom = rect.top() + rect.height() - o;
        const int half = std::max(1, o / 2);
        if (m_nArrowDirection != 0) {
            painter->setPen(shadow);
            painter->drawLine(cx - half, top, cx + half, top);
            painter->drawLine(cx - half, top, cx, bottom);
            painter->setPen(light);
            painter->drawLine(cx + half, top, cx, bottom);
        } else {
            painter->setPen(shadow);
            painter->drawLine(cx, top, cx - half, bottom);
            painter->setPen(light);
            painter->drawLine(cx, top, cx + half, bottom);
            painter->drawLine(cx - half, bottom, cx + half, bottom);
        }
    }
    painter->restore();
}

} // namespace ListCtrlEx
