#include "gui/listctrlex/CInPlaceCombo.h"

#include "gui/listctrlex/CListCtrlEx.h"

#include <QAbstractItemView>
#include <QKeyEvent>

namespace ListCtrlEx {

CInPlaceCombo* CInPlaceCombo::s_pInstance = nullptr;

CInPlaceCombo* CInPlaceCombo::GetInstance() {
    if (!s_pInstance)
        s_pInstance = new CInPlaceCombo;
    return s_pInstance;
}

void CInPlaceCombo::DeleteInstance(CListCtrlEx* dying) {
    CInPlaceCombo* combo = s_pInstance;
    if (!combo)
        return;
    s_pInstance = nullptr;
    if (combo->m_bEditing && combo->m_pList == dying)
        combo->m_bEditing = false;
    delete combo;
}

void CInPlaceCombo::FinishEditOn(CListCtrlEx* list, int fromRow) {
    if (s_pInstance && s_pInstance->m_bEditing && s_pInstance->m_pList == list &&
        s_pInstance->m_nRow >= fromRow)
        s_pInstance->EndEdit();
}

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
    if (s_pInstance == this)
        s_pInstance = nullptr;
    EndEdit();
    CloseWindow();
}

bool CInPlaceCombo::Open(CListCtrlEx* list, int row, int column) {
    if (!list || row < 0 || row >= list->GetItemCount() || column < 0 ||
        column >= list->GetColumnCount())
        return false;
    QRect cell;
    if (!list->GetCellRect(row, column, cell))
        return false;
    if (m_bEditing)
        EndEdit();
    if (row >= list->GetItemCount() || column >= list->GetColumnCount() ||
        !list->GetCellRect(row, column, cell))
        return false;
    emit list->CellBeforeEdit({row, column});
    m_pList = list;
    m_nRow = row;
    m_nColumn = column;
    m_options = list->GetCellOptions(row, column);
    m_bCancelled = false;
    m_strStart = list->GetItemText(row, column);
    ++m_nGeneration;
    if (parentWidget() != list->viewport())
        setParent(list->viewport());
    setFont(list->font());
    setGeometry(cell);
    show();
    m_bWindowOpen = true;
    m_bEditing = true;
    setFocus(Qt::OtherFocusReason);
    clear();
    addItems(m_options);
    // An empty cell starts with nothing chosen rather than the first entry.
    setCurrentIndex(m_strStart.isEmpty() ? -1 : findText(m_strStart, Qt::MatchStartsWith));
    return true;
}

void CInPlaceCombo::EndEdit() {
    if (!m_bEditing)
        return;
    m_bEditing = false;
    EndEditRecord record;
    record.source = m_pList;
    record.sourceId = EndEditRecord::IdInPlaceCombo;
    record.row = m_nRow;
    record.column = m_nColumn;
    record.text = m_bCancelled ? m_strStart : currentText();
    record.textLength = int(record.text.size());
    if (m_pList)
        m_pList->OnEndLabelEdit(record);
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_nGeneration] {
            if (generation == m_nGeneration && !m_bEditing)
                CloseWindow();
        },
        Qt::QueuedConnection);
}

void CInPlaceCombo::CloseWindow() {
    if (!m_bWindowOpen)
        return;
    m_bWindowOpen = false;
    hide();
    setParent(nullptr);
}

void CInPlaceCombo::FinishByKey() {
    if (m_pList)
        m_pList->setFocus(Qt::OtherFocusReason);
    EndEdit();
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
