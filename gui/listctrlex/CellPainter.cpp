#include "gui/listctrlex/CellPainter.h"

#include "gui/listctrlex/CListCtrlEx.h"
#include "gui/listctrlex/ProgressMath.h"
#include "gui/listctrlex/SysColors.h"

#include <QPainter>
#include <QRadialGradient>
#include <qdrawutil.h>

namespace ListCtrlEx {

namespace {
const QColor kBar(51, 102, 153);
const QColor kDisabled(192, 192, 192);
const QColor kTick(51, 255, 153);
const QColor kButtonEdge(177, 203, 250);
const QColor kButtonArrow(77, 97, 133);
const ListCellData kDefaults;

Qt::Alignment HorizontalAlignment(int align) {
    switch (align) {
    case AlignLeft:
        return Qt::AlignLeft;
    case AlignRight:
        return Qt::AlignRight;
    default:
        return Qt::AlignHCenter;
    }
}

// Texts sit on the top of their rectangle, on one line.
void DrawCellText(QPainter* p, const QRect& r, Qt::Alignment h, const QColor& color,
                  const QString& text) {
    if (r.width() <= 0 || text.isEmpty())
        return;
    const QPen old = p->pen();
    p->setPen(color);
    p->drawText(r, int(h | Qt::AlignTop | Qt::TextSingleLine), text);
    p->setPen(old);
}
} // namespace

CellPainter::CellPainter(CListCtrlEx* list) : QStyledItemDelegate(list), m_pList(list) {}

void CellPainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    Cell c;
    c.row = index.row();
    c.column = index.column();
    if (index.parent().isValid() || !m_pList->GetCellRect(c.row, c.column, c.rect)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    c.text = index.data(Qt::DisplayRole).toString();
    c.selected = m_pList->IsRowSelected(c.row);
    c.palette = option.palette;
    c.textColor = SysColorOf(c.palette, c.selected ? ColorHighlightText : ColorWindowText);
    c.background = SysColorOf(c.palette, c.selected ? ColorHighlight : ColorWindow);
    c.data = m_pList->FindCell(c.row, c.column);
    if (!c.data)
        c.data = &kDefaults;

    painter->save();
    painter->setClipRect(c.rect, Qt::IntersectClip);
    switch (m_pList->GetColumnKind(c.column)) {
    case KindCheckBox:
        PaintCheckBox(painter, c);
        break;
    case KindRadio:
        PaintRadio(painter, c);
        break;
    case KindCombo:
        PaintCombo(painter, c);
        break;
    case KindEdit:
        PaintText(painter, c, true);
        break;
    case KindProgress:
        PaintProgress(painter, c);
        break;
    default:
        PaintText(painter, c, false);
        break;
    }
    painter->restore();
}

int CellPainter::PaintImageSquare(QPainter* p, const Cell& c) const {
    const QPixmap* image =
        c.data->m_nImage >= 0 ? m_pList->GetCellPixmap(c.data->m_nImage) : nullptr;
    if (!image)
        return c.rect.left() + 3;
    const QRect square(c.rect.left(), c.rect.top(), c.rect.height(), c.rect.height());
    p->fillRect(square, c.background);
    const QPixmap scaled =
        image->size().boundedTo(square.size()) == image->size()
            ? *image
            : image->scaled(square.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QRect target(QPoint(), scaled.size());
    target.moveCenter(square.center());
    p->drawPixmap(target, scaled);
    return square.right() + 1 + 3;
}

void CellPainter::PaintText(QPainter* p, const Cell& c, bool editKind) const {
    p->fillRect(c.rect, c.background);
    const int left = PaintImageSquare(p, c);
    QColor color = c.textColor;
    if (editKind && !c.data->IsEnabled() && !c.selected)
        color = kDisabled;
    const QRect area(QPoint(left, c.rect.top()), c.rect.bottomRight());
    DrawCellText(p, area, HorizontalAlignment(m_pList->GetColumnAlignment(c.column)), color,
                 c.text);
}

void CellPainter::PaintProgress(QPainter* p, const Cell& c) const {
    const QColor trough = SysColorOf(c.palette, c.selected ? ColorHotLight : ColorBtnFace);
    p->fillRect(c.rect, c.background);
    const int left = PaintImageSquare(p, c);
    const QRect t(QPoint(left, c.rect.top()), c.rect.bottomRight());
    if (t.width() <= 0)
        return;
    p->fillRect(t, trough);
    QPalette edge = c.palette;
    edge.setCurrentColorGroup(QPalette::Active);
    qDrawWinPanel(p, t, edge, true, nullptr);
    const float f = ProgressFraction(c.data->m_dwProgress, c.data->m_dwProgressMax);
    const QRect bar = ProgressBarRect(t, f);
    if (!bar.isEmpty())
        p->fillRect(bar, kBar);
    const QString text = m_pList->GetShowProgressText() ? ProgressText(f) : c.text;
    DrawCellText(p, t, Qt::AlignHCenter, c.textColor, text);
}

void CellPainter::PaintTextArea(QPainter* p, const Cell& c, const QRect& area) const {
    if (area.width() <= 0)
        return;
    p->fillRect(area, c.background);
    DrawCellText(p, area, Qt::AlignLeft, c.textColor, c.text);
}

void CellPainter::PaintCheckBox(QPainter* p, const Cell& c) const {
    const QRect& r = c.rect;
    const int side = std::max(0, r.height() - 4);
    const QRect box(r.left() + 7, r.top() + 2, side, side);
    const bool enabled = c.data->IsEnabled();
    p->fillRect(r, c.background);
    p->fillRect(box, SysColorOf(c.palette, ColorWindow));
    p->setPen(QPen(enabled ? kBar : kDisabled, 2));
    p->drawRect(box.adjusted(1, 1, -1, -1));
    if (c.data->IsChecked() && side >= 8) {
        // A tick of short vertical strokes: down for a third, then up.
        p->setPen(QPen(enabled ? kTick : kDisabled, 1));
        const int x0 = box.left() + 3, base = box.top() + side / 2 - 1;
        const int n = side - 6, low = n / 3;
        for (int i = 0; i < n; ++i) {
            const int y = i <= low ? base + i : base + 2 * low - i;
            p->drawLine(x0 + i, y, x0 + i, y + 2);
        }
    }
    PaintTextArea(p, c, QRect(QPoint(box.right() + 1 + 3, r.top()), r.bottomRight()));
}

void CellPainter::PaintRadio(QPainter* p, const Cell& c) const {
    const QRect& r = c.rect;
    const int side = std::max(0, r.height() - 2);
    const QRect square(r.left() + 7, r.top() + 1, side, side);
    const bool enabled = c.data->IsEnabled();
    p->fillRect(r, c.background);
    p->setRenderHint(QPainter::Antialiasing);
    p->setPen(Qt::NoPen);
    const QPointF centre = QRectF(square).center();
    auto dot = [&](int diameter, const QColor& colour) {
        if (diameter > 0) {
            p->setBrush(colour);
            p->drawEllipse(centre, diameter / 2.0, diameter / 2.0);
        }
    };
    dot(side, enabled ? kBar : kDisabled);
    dot(side - 4, SysColorOf(c.palette, ColorWindow));
    if (c.data->IsChecked())
        dot(side - 8, enabled ? QColor(Qt::black) : kDisabled);
    p->setRenderHint(QPainter::Antialiasing, false);
    PaintTextArea(p, c, QRect(QPoint(square.right() + 1 + 3, r.top()), r.bottomRight()));
}

void CellPainter::PaintCombo(QPainter* p, const Cell& c) const {
    const QRect& r = c.rect;
    const int side = r.height();
    const QRect button(r.right() - 2 - side + 1, r.top() + 1, side, side - 1);
    const bool enabled = c.data->IsEnabled();
    p->fillRect(r, SysColorOf(c.palette, ColorWindow));
    QRadialGradient shade(button.topLeft(), side * 1.4);
    shade.setColorAt(0, enabled ? QColor(Qt::white) : kDisabled);
    shade.setColorAt(1, enabled ? kButtonEdge : kDisabled);
    p->fillRect(button, shade);
    p->setPen(enabled ? kButtonArrow : QColor(Qt::black));
    const int cx = button.center().x(), top = button.center().y() - 2;
    for (int i = 0; i < 4; ++i)
        p->drawLine(cx - 3 + i, top + i, cx + 3 - i, top + i);
    PaintTextArea(p, c,
                  QRect(QPoint(r.left() + 2, r.top()), QPoint(button.left() - 4, r.bottom())));
}

} // namespace ListCtrlEx
