#include "gui/listctrlex/CListCtrlEx.h"

#include "gui/listctrlex/CInPlaceCombo.h"
#include "gui/listctrlex/CInPlaceEdit.h"
#include "gui/listctrlex/CListCtrlExSortHead.h"
#include "gui/listctrlex/CellPainter.h"
#include "gui/listctrlex/SortRule.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QThread>
#include <algorithm>
#include <numeric>

namespace ListCtrlEx {

namespace {
constexpr int kItemDataRole = Qt::UserRole + 1;
constexpr int kAlignRole = Qt::UserRole + 2;
} // namespace

CListCtrlEx::CListCtrlEx(QWidget* parent)
    : QTreeWidget(parent), m_cells(*new CellStore(*this)),
      m_pSortHead(std::make_unique<CListCtrlExSortHead>(Qt::Horizontal)) {
    setColumnCount(0);
    setRootIsDecorated(false);
    setIndentation(0);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    setItemDelegate(new CellPainter(this));
    connect(header(), &QHeaderView::sectionClicked, this, &CListCtrlEx::OnHeaderClicked);
}

CListCtrlEx::~CListCtrlEx() {
    // The shared editors go with any list; an edit open on another list is
    // finished first so that its text is not lost.
    CInPlaceEdit::DeleteInstance(this);
    CInPlaceCombo::DeleteInstance(this);
}

bool CListCtrlEx::OnMainThread() const {
    return QThread::currentThread() == thread();
}

bool CListCtrlEx::IsValidCell(int row, int column) const {
    return row >= 0 && row < GetItemCount() && column >= 0 && column < columnCount();
}

void CListCtrlEx::FinishInPlaceEdits(int fromRow) {
    CInPlaceEdit::FinishEditOn(this, fromRow);
    CInPlaceCombo::FinishEditOn(this, fromRow);
}

// ---- columns ----

// QTreeWidget keeps a column's texts at fixed indices; opening or closing a
// column in the middle moves them by hand, with the widths.
void CListCtrlEx::MoveColumnTexts(int column, int count, bool open) {
    auto move = [&](QTreeWidgetItem* item, bool head) {
        auto copy = [&](int to, int from) {
            item->setText(to, item->text(from));
            item->setTextAlignment(to, Qt::Alignment(item->textAlignment(from)));
            if (head)
                item->setData(to, kAlignRole, item->data(from, kAlignRole));
        };
        if (open) {
            for (int c = count; c > column; --c)
                copy(c, c - 1);
            item->setText(column, QString());
            if (head)
                item->setData(column, kAlignRole, QVariant());
        } else {
            for (int c = column; c + 1 < count; ++c)
                copy(c, c + 1);
        }
    };
    move(headerItem(), true);
    for (int r = 0; r < GetItemCount(); ++r)
        move(topLevelItem(r), false);
}

int CListCtrlEx::InsertColumnEx(int column, const QString& heading, int width, int kind, int align,
                                int sortRule, int subItem) {
    Q_UNUSED(subItem);
    if (column < 0)
        return -1;
    const int count = columnCount();
    column = std::min(column, count);
    if (column < count)
        FinishInPlaceEdits(0);
    QList<int> widths;
    for (int c = 0; c < count; ++c)
        widths << columnWidth(c);
    setColumnCount(count + 1);
    if (column < count) {
        MoveColumnTexts(column, count, true);
        ShiftColumnSettings(column, 1);
        m_cells.OpenColumn(column, count);
        for (int c = column; c < count; ++c)
            setColumnWidth(c + 1, widths[c]);
    }
    m_columnKinds[column] = kind;
    m_sortSettings[column] = SortSetting{sortRule, true};
    QTreeWidgetItem* head = headerItem();
    head->setText(column, heading);
    head->setData(column, kAlignRole, align);
    head->setTextAlignment(column, align == AlignLeft    ? Qt::AlignLeft | Qt::AlignVCenter
                                   : align == AlignRight ? Qt::AlignRight | Qt::AlignVCenter
                                                         : Qt::AlignCenter);
    setColumnWidth(column, width);
    viewport()->update();
    return column;
}

bool CListCtrlEx::DeleteColumn(int column) {
    const int count = columnCount();
    if (column < 0 || column >= count)
        return false;
    FinishInPlaceEdits(0);
    QList<int> widths;
    for (int c = 0; c < count; ++c)
        widths << columnWidth(c);
    MoveColumnTexts(column, count, false);
    setColumnCount(count - 1);
    widths.removeAt(column);
    for (int c = 0; c < widths.size(); ++c)
        setColumnWidth(c, widths[c]);
    m_columnKinds.remove(column);
    m_sortSettings.remove(column);
    ShiftColumnSettings(column + 1, -1);
    m_cells.DropColumn(column, count);
    viewport()->update();
    return true;
}

void CListCtrlEx::ShiftColumnSettings(int from, int delta) {
    auto shift = [&](auto& map) {
        std::remove_reference_t<decltype(map)> moved;
        for (auto it = map.begin(); it != map.end();) {
            if (it.key() >= from) {
                moved.insert(it.key() + delta, it.value());
                it = map.erase(it);
            } else {
                ++it;
            }
        }
        map.insert(moved);
    };
    shift(m_columnKinds);
    shift(m_sortSettings);
}

int CListCtrlEx::GetColumnKind(int column) const {
    return m_columnKinds.value(column, KindText);
}
void CListCtrlEx::SetColumnKind(int column, int kind) {
    m_columnKinds[column] = kind;
}

int CListCtrlEx::GetColumnSortRule(int column) const {
    return m_sortSettings.value(column).rule;
}
void CListCtrlEx::SetColumnSortRule(int column, int rule) {
    m_sortSettings[column].rule = rule;
}

bool CListCtrlEx::GetColumnSortAscending(int column) const {
    return m_sortSettings.value(column).ascending;
}
void CListCtrlEx::SetColumnSortAscending(int column, bool ascending) {
    m_sortSettings[column].ascending = ascending;
}

int CListCtrlEx::GetColumnAlignment(int column) const {
    if (column < 0 || column >= columnCount())
        return AlignCentre;
    bool ok = false;
    const int align = headerItem()->data(column, kAlignRole).toInt(&ok);
    return ok && (align == AlignLeft || align == AlignRight) ? align : AlignCentre;
}

// ---- options ----

void CListCtrlEx::SetShowProgressText(bool show) {
    m_dwOptions = show ? (m_dwOptions | OptionShowProgressText)
                       : (m_dwOptions & ~unsigned(OptionShowProgressText));
}

void CListCtrlEx::SetSortOnHeaderClick(bool sort) {
    m_dwOptions = sort ? (m_dwOptions | OptionSortOnHeaderClick)
                       : (m_dwOptions & ~unsigned(OptionSortOnHeaderClick));
}

void CListCtrlEx::SetGridLines(bool on) {
    m_bGridLines = on;
    viewport()->update();
}

// ---- cells ----

void CListCtrlEx::RepaintCell(int row, int column) {
    QRect rect;
    if (GetCellRect(row, column, rect))
        viewport()->repaint(rect);
}

void CListCtrlEx::SetCellProgress(int row, int column, quint32 value) {
    if (!OnMainThread()) {
        QMetaObject::invokeMethod(
            this, [this, row, column, value] { SetCellProgress(row, column, value); },
            Qt::QueuedConnection);
        return;
    }
    m_cells.Touch(row, column).m_dwProgress = value;
    RepaintCell(row, column);
}

void CListCtrlEx::SetCellProgressMax(int row, int column, quint32 maximum) {
    if (!OnMainThread()) {
        QMetaObject::invokeMethod(
            this, [this, row, column, maximum] { SetCellProgressMax(row, column, maximum); },
            Qt::QueuedConnection);
        return;
    }
    m_cells.Touch(row, column).m_dwProgressMax = maximum;
    RepaintCell(row, column);
}

int CListCtrlEx::GetCellProgress(int row, int column) {
    return int(m_cells.Touch(row, column).m_dwProgress);
}

int CListCtrlEx::GetCellProgressMax(int row, int column) {
    return int(m_cells.Touch(row, column).m_dwProgressMax);
}

void CListCtrlEx::SetCellEnabled(int row, int column, bool enabled) {
    m_cells.Touch(row, column).SetFlag(ListCellData::FlagEnabled, enabled);
    QRect rect;
    if (!GetCellRect(row, column, rect))
        return;
    viewport()->repaint(rect);
    emit CellEnableChanged({row, column, enabled});
}

bool CListCtrlEx::GetCellEnabled(int row, int column) {
    return m_cells.Touch(row, column).IsEnabled();
}

void CListCtrlEx::SetCellChecked(int row, int column, bool checked) {
    const int kind = GetColumnKind(column);
    if (kind == KindCheckBox) {
        m_cells.Touch(row, column).SetFlag(ListCellData::FlagChecked, checked);
        QRect rect;
        if (!GetCellRect(row, column, rect))
            return;
        viewport()->repaint(rect);
        emit CellCheckChanged({row, column, checked});
    } else if (kind == KindRadio) {
        const int group = m_cells.Touch(row, column).m_nRadioGroup;
        QList<std::pair<int, int>> cleared;
        m_cells.ForEach([&](int r, int c, ListCellData& d) {
            if (GetColumnKind(c) == KindRadio && d.m_nRadioGroup == group && d.IsChecked()) {
                d.SetFlag(ListCellData::FlagChecked, false);
                cleared.append({r, c});
            }
        });
        for (const auto& [r, c] : cleared)
            RepaintCell(r, c);
        m_cells.Touch(row, column).SetFlag(ListCellData::FlagChecked, true);
        RepaintCell(row, column);
        emit CellCheckChanged({row, column, true});
    }
}

bool CListCtrlEx::GetCellChecked(int row, int column) {
    return m_cells.Touch(row, column).IsChecked();
}

void CListCtrlEx::SetCellImage(int row, int column, int image) {
    m_cells.Touch(row, column).m_nImage = image;
}
int CListCtrlEx::GetCellImage(int row, int column) {
    return m_cells.Touch(row, column).m_nImage;
}

void CListCtrlEx::SetCellRadioGroup(int row, int column, int group) {
    m_cells.Touch(row, column).m_nRadioGroup = group;
}
int CListCtrlEx::GetCellRadioGroup(int row, int column) {
    return m_cells.Touch(row, column).m_nRadioGroup;
}

void CListCtrlEx::SetCellAllowedChars(int row, int column, const QString& allowed) {
    m_cells.Touch(row, column).m_strAllowed = allowed;
}
QString CListCtrlEx::GetCellAllowedChars(int row, int column) {
    return m_cells.Touch(row, column).m_strAllowed;
}

void CListCtrlEx::SetCellOptions(int row, int column, const QStringList& options) {
    m_cells.Touch(row, column).m_options = options;
}
void CListCtrlEx::AddCellOption(int row, int column, const QString& option) {
    m_cells.Touch(row, column).m_options.append(option);
}
QStringList CListCtrlEx::GetCellOptions(int row, int column) {
    return m_cells.Touch(row, column).m_options;
}

void CListCtrlEx::EditCell(int row, int column) {
    if (!IsValidCell(row, column) || !EnsureVisible(row, true))
        return;
    const int kind = GetColumnKind(column);
    if (kind == KindCombo)
        CInPlaceCombo::GetInstance()->Open(this, row, column);
    else if (kind == KindEdit)
        CInPlaceEdit::GetInstance()->Open(this, row, column);
}

void CListCtrlEx::OnEndLabelEdit(const EndEditRecord& record) {
    // Only a result that landed in its cell is announced.
    if (SetItemText(record.row, record.column, record.text))
        emit CellEndEdit(m_nControlId, record);
}

// ---- rows ----

int CListCtrlEx::InsertItem(int row, const QString& text) {
    const int count = GetItemCount();
    if (row < 0)
        return -1;
    row = std::min(row, count);
    FinishInPlaceEdits(row);
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    insertTopLevelItem(row, item);
    return row;
}

bool CListCtrlEx::SetItemText(int row, int column, const QString& text) {
    if (!IsValidCell(row, column))
        return false;
    topLevelItem(row)->setText(column, text);
    return true;
}

QString CListCtrlEx::GetItemText(int row, int column) const {
    return IsValidCell(row, column) ? topLevelItem(row)->text(column) : QString();
}

bool CListCtrlEx::DeleteItem(int row) {
    const int count = GetItemCount();
    if (row < 0 || row >= count)
        return false;
    FinishInPlaceEdits(row);
    delete takeTopLevelItem(row);
    return true;
}

bool CListCtrlEx::DeleteAllItems() {
    FinishInPlaceEdits(0);
    clear();
    return true;
}

bool CListCtrlEx::EnsureVisible(int row, bool partialOK) {
    if (row < 0 || row >= GetItemCount())
        return false;
    const QModelIndex index = indexFromItem(topLevelItem(row), 0);
    const QRect rect = visualRect(index);
    const QRect view = viewport()->rect();
    const bool partly = rect.bottom() >= view.top() && rect.top() <= view.bottom();
    const bool fully = rect.top() >= view.top() && rect.bottom() <= view.bottom();
    if (fully || (partialOK && partly))
        return true;
    // Only the rows scroll, as the list has always done.
    const int across = horizontalScrollBar()->value();
    scrollTo(index, QAbstractItemView::EnsureVisible);
    horizontalScrollBar()->setValue(across);
    return true;
}

bool CListCtrlEx::SetItemData(int row, quintptr data) {
    if (row < 0 || row >= GetItemCount())
        return false;
    topLevelItem(row)->setData(0, kItemDataRole, QVariant::fromValue(data));
    return true;
}

quintptr CListCtrlEx::GetItemData(int row) const {
    if (row < 0 || row >= GetItemCount())
        return 0;
    return topLevelItem(row)->data(0, kItemDataRole).value<quintptr>();
}

bool CListCtrlEx::SetItemState(int row, unsigned state, unsigned mask) {
    if (row < 0 || row >= GetItemCount())
        return false;
    const QModelIndex index = indexFromItem(topLevelItem(row), 0);
    if (mask & StateSelected) {
        QItemSelectionModel::SelectionFlags how = QItemSelectionModel::Rows;
        if (!(state & StateSelected))
            how |= QItemSelectionModel::Deselect;
        else if (selectionMode() == QAbstractItemView::SingleSelection)
            how |= QItemSelectionModel::ClearAndSelect;
        else
            how |= QItemSelectionModel::Select;
        selectionModel()->select(index, how);
    }
    if ((mask & StateFocused) && (state & StateFocused))
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    return true;
}

unsigned CListCtrlEx::GetItemState(int row, unsigned mask) const {
    if (row < 0 || row >= GetItemCount())
        return 0;
    const QTreeWidgetItem* item = topLevelItem(row);
    unsigned state = 0;
    if (item->isSelected())
        state |= StateSelected;
    if (currentItem() == item)
        state |= StateFocused;
    return state & mask;
}

bool CListCtrlEx::IsRowSelected(int row) const {
    const QTreeWidgetItem* item = row >= 0 ? topLevelItem(row) : nullptr;
    return item && item->isSelected();
}

void CListCtrlEx::SetImageList(const QList<QPixmap>& images, int type) {
    m_nImageListType = type;
    m_imageLists[type] = images;
    viewport()->update();
}

const QPixmap* CListCtrlEx::GetCellPixmap(int image) const {
    auto it = m_imageLists.constFind(m_nImageListType);
    if (it == m_imageLists.constEnd() || image < 0 || image >= it->size())
        return nullptr;
    return &(*it)[image];
}

// ---- geometry ----

bool CListCtrlEx::GetCellRect(int row, int column, QRect& rect) const {
    if (!IsValidCell(row, column))
        return false;
    const QTreeWidgetItem* item = topLevelItem(row);
    const QRect cell = visualRect(indexFromItem(item, column));
    if (cell.isNull())
        return false;
    if (column > 0 || columnCount() == 1) {
        rect = cell;
    } else {
        // From the row's left edge to where column 1 begins.
        const int left = header()->sectionViewportPosition(0);
        const int right = header()->sectionViewportPosition(1);
        rect = QRect(QPoint(left, cell.top()), QPoint(right - 1, cell.bottom()));
    }
    return true;
}

bool CListCtrlEx::GetColumnRect(int column, QRect& rect) const {
    QRect all;
    for (int row = 0; row < GetItemCount(); ++row) {
        QRect cell;
        if (!GetCellRect(row, column, cell))
            return false;
        all = all.united(cell);
    }
    if (all.isNull())
        return false;
    rect = all;
    return true;
}

CellHit CListCtrlEx::CellHitTest(const QPoint& point) const {
    const QTreeWidgetItem* item = itemAt(point);
    const int row = item ? indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
    if (row < 0)
        return {};
    for (int column = 0; column < columnCount(); ++column) {
        QRect cell;
        if (GetCellRect(row, column, cell) && cell.contains(point))
            return {row, column};
    }
    return {};
}

// ---- mouse ----

void CListCtrlEx::mousePressEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    const CellHit hit = CellHitTest(point);
    if (event->button() == Qt::RightButton) {
        QMetaObject::invokeMethod(
            this, [this, hit] { emit CellRButtonDown(hit); }, Qt::QueuedConnection);
        QTreeWidget::mousePressEvent(event);
        return;
    }
    QTreeWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))
        return;
    // An owner may close the list from any of the handlers below.
    const QPointer<CListCtrlEx> alive(this);
    if (IsValidCell(hit.row, hit.column) && GetCellEnabled(hit.row, hit.column)) {
        const int kind = GetColumnKind(hit.column);
        if (kind == KindCombo || kind == KindEdit) {
            EditCell(hit.row, hit.column);
        } else if (kind == KindCheckBox || kind == KindRadio) {
            QRect cell;
            GetCellRect(hit.row, hit.column, cell);
            const QRect square(cell.left() + 7, cell.top(), cell.height(), cell.height());
            if (square.contains(point)) {
                SetCellChecked(hit.row, hit.column, !GetCellChecked(hit.row, hit.column));
                if (alive)
                    emit CellCheckClicked(
                        {hit.row, hit.column, GetCellChecked(hit.row, hit.column)});
            }
        }
    }
    if (alive)
        emit CellLButtonDown(hit);
}

void CListCtrlEx::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const CellHit hit = CellHitTest(event->position().toPoint());
        if (IsValidCell(hit.row, hit.column) && GetCellEnabled(hit.row, hit.column)) {
            QRect cell;
            if (GetCellRect(hit.row, hit.column, cell))
                viewport()->repaint(0, cell.top(), viewport()->width(), cell.height());
        }
        QMetaObject::invokeMethod(
            this, [this, hit] { emit CellLButtonDblClk(hit); }, Qt::QueuedConnection);
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CListCtrlEx::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    // Every cell is painted whole by the cell painter; the style's row panel
    // and its tinted focus frame would paint over the cells' colours.
    QRect rowRect;
    for (int column = 0; column < columnCount(); ++column) {
        if (isColumnHidden(column))
            continue;
        const QModelIndex cell = index.sibling(index.row(), column);
        QStyleOptionViewItem opt = option;
        opt.rect = visualRect(cell);
        if (opt.rect.isEmpty())
            continue;
        rowRect |= opt.rect;
        itemDelegateForIndex(cell)->paint(painter, opt, cell);
    }
    painter->save();
    if (m_bGridLines) {
        painter->setPen(palette().color(QPalette::Active, QPalette::Mid));
        for (int column = 0; column < columnCount(); ++column) {
            const QRect cell = visualRect(index.sibling(index.row(), column));
            painter->drawLine(cell.topRight(), cell.bottomRight());
            painter->drawLine(cell.bottomLeft(), cell.bottomRight());
        }
    }
    if (hasFocus() && currentIndex().row() == index.row() && !rowRect.isEmpty()) {
        painter->setPen(QPen(palette().color(QPalette::Active, QPalette::Text), 1, Qt::DotLine));
        painter->drawRect(rowRect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

// ---- sorting ----

void CListCtrlEx::OnHeaderClicked(int column) {
    if (GetSortOnHeaderClick())
        SortByColumn(column);
}

void CListCtrlEx::SortByColumn(int column) {
    if (column < 0 || column >= columnCount())
        return;
    FinishInPlaceEdits(0);
    SortSetting& setting = m_sortSettings[column];
    setting.ascending = !setting.ascending;
    const int count = GetItemCount();
    QList<QString> texts(count);
    QList<QByteArray> keys(count);
    for (int row = 0; row < count; ++row) {
        texts[row] = topLevelItem(row)->text(column);
        keys[row] = TextSortKey(texts[row]);
    }
    QList<int> former(count);
    std::iota(former.begin(), former.end(), 0);
    std::stable_sort(former.begin(), former.end(), [&](int a, int b) {
        return CompareCellTexts(texts[a], keys[a], texts[b], keys[b], setting.rule,
                                setting.ascending) < 0;
    });

    QTreeWidgetItem* current = currentItem();
    QList<bool> selected(count);
    for (int row = 0; row < count; ++row)
        selected[row] = topLevelItem(row)->isSelected();
    QList<QTreeWidgetItem*> items = invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> ordered;
    for (int k : former)
        ordered << items[k];
    addTopLevelItems(ordered);
    for (int row = 0; row < count; ++row)
        ordered[row]->setSelected(selected[former[row]]);
    if (current)
        setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    viewport()->update();
}

} // namespace ListCtrlEx
