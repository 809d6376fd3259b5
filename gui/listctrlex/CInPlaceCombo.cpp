#include "gui/listctrlex/CInPlaceCombo.h"

#include "gui/listctrlex/CListCtrlEx.h"

#include <QAbstractItemView>
#include <QKeyEvent>

namespace ListCtrlEx {

CInPlaceCombo::CInPlaceCombo() {
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    view()->installEventFilter(this);
    // Choosing an entry commits it at once.
    connect(this, &QComboBox::activated, this, [this] {
        if (m_bEditing)
            FinishByKey();
    });
}

CInPlaceCombo::~CInPlaceCombo() {
    Shutdown();
}

bool CInPlaceCombo::Open(CListCtrlEx* list, int row, int column) {
    QRect cell;
    if (!BeginEdit(list, row, column, cell))
        return false;
    m_options = list->GetCellOptions(row, column);
    PlaceOver(cell);
    setFocus(Qt::OtherFocusReason);
    clear();
    addItems(m_options);
    // An empty cell starts with nothing chosen rather than the first entry.
    setCurrentIndex(m_strStart.isEmpty() ? -1 : findText(m_strStart, Qt::MatchStartsWith));
    return true;
}

void CInPlaceCombo::hidePopup() {
    QComboBox::hidePopup();
    // The list closing up ends the edit; a chosen entry has ended it already
    // through activated(). Queued, so that the choice is in place first.
    if (m_bEditing)
        QMetaObject::invokeMethod(
            this,
            [this, generation = m_nGeneration] {
                if (generation == m_nGeneration && m_bEditing)
                    FinishByKey();
            },
            Qt::QueuedConnection);
}

bool CInPlaceCombo::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            e->accept();
            return true;
        }
    }
    return QComboBox::event(e);
}

bool CInPlaceCombo::eventFilter(QObject* watched, QEvent* e) {
    // Escape in the open list cancels the edit, not only the list.
    if (watched == view() && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape)
        m_bCancelled = true;
    return QComboBox::eventFilter(watched, e);
}

void CInPlaceCombo::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        if (key == Qt::Key_Escape)
            m_bCancelled = true;
        e->accept();
        FinishByKey();
        return;
    }
    QComboBox::keyPressEvent(e);
}

void CInPlaceCombo::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
    // Its own list opening takes the focus away without ending the edit.
    if (e->reason() == Qt::PopupFocusReason || view()->isVisible())
        return;
    EndEdit();
}

} // namespace ListCtrlEx
