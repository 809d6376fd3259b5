#include "gui/listctrlex/CInPlaceEdit.h"

#include "gui/listctrlex/CListCtrlEx.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace ListCtrlEx {

CInPlaceEdit* CInPlaceEdit::s_pInstance = nullptr;

CInPlaceEdit* CInPlaceEdit::GetInstance() {
    if (!s_pInstance)
        s_pInstance = new CInPlaceEdit;
    return s_pInstance;
}

void CInPlaceEdit::DeleteInstance(CListCtrlEx* dying) {
    CInPlaceEdit* edit = s_pInstance;
    if (!edit)
        return;
    s_pInstance = nullptr;
    if (edit->m_bEditing && edit->m_pList == dying)
        edit->m_bEditing = false;
    delete edit;
}

void CInPlaceEdit::FinishEditOn(CListCtrlEx* list, int fromRow) {
    if (s_pInstance && s_pInstance->m_bEditing && s_pInstance->m_pList == list &&
        s_pInstance->m_nRow >= fromRow)
        s_pInstance->EndEdit();
}

CInPlaceEdit::CInPlaceEdit() {
    setFrame(true);
    setAcceptDrops(false);
}

CInPlaceEdit::~CInPlaceEdit() {
    if (s_pInstance == this)
        s_pInstance = nullptr;
    // The window goes first; an open edit still reports its text.
    EndEdit();
    CloseWindow();
}

bool CInPlaceEdit::Open(CListCtrlEx* list, int row, int column) {
    if (!list || row < 0 || row >= list->GetItemCount() || column < 0 ||
        column >= list->GetColumnCount())
        return false;
    QRect cell;
    if (!list->GetCellRect(row, column, cell))
        return false;
    if (m_bEditing)
        EndEdit();
    // The old edit's handler may have changed the list under us.
    if (row >= list->GetItemCount() || column >= list->GetColumnCount() ||
        !list->GetCellRect(row, column, cell))
        return false;
    emit list->CellBeforeEdit({row, column});
    m_pList = list;
    m_nRow = row;
    m_nColumn = column;
    m_strAllowed = list->GetCellAllowedChars(row, column);
    m_strStart = list->GetItemText(row, column);
    m_bCancelled = false;
    ++m_nGeneration;
    if (parentWidget() != list->viewport())
        setParent(list->viewport());
    setFont(list->font());
    setGeometry(cell);
    show();
    setText(m_strStart);
    selectAll();
    m_bWindowOpen = true;
    m_bEditing = true;
    setFocus(Qt::OtherFocusReason);
    return true;
}

void CInPlaceEdit::EndEdit() {
    if (!m_bEditing)
        return;
    m_bEditing = false;
    EndEditRecord record;
    record.source = m_pList;
    record.sourceId = EndEditRecord::IdInPlaceEdit;
    record.row = m_nRow;
    record.column = m_nColumn;
    record.text = m_bCancelled ? m_strStart : text();
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

void CInPlaceEdit::CloseWindow() {
    if (!m_bWindowOpen)
        return;
    m_bWindowOpen = false;
    hide();
    setParent(nullptr);
}

void CInPlaceEdit::FinishByKey() {
    if (m_pList)
        m_pList->setFocus(Qt::OtherFocusReason);
    // Without an active window the focus move ends nothing.
    EndEdit();
}

bool CInPlaceEdit::IsAllowed(const QString& text) const {
    if (m_strAllowed.isEmpty())
        return true;
    for (QChar c : text)
        if (!m_strAllowed.contains(c))
            return false;
    return true;
}

bool CInPlaceEdit::event(QEvent* e) {
    // Enter and Escape belong to the edit, never to a shortcut of the window.
    if (e->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void CInPlaceEdit::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        if (key == Qt::Key_Escape)
            m_bCancelled = true;
        e->accept();
        FinishByKey();
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        PasteFiltered();
        e->accept();
        return;
    }
    if (key == Qt::Key_Backspace || e->matches(QKeySequence::Copy) ||
        e->matches(QKeySequence::Cut)) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    const QString typed = e->text();
    const bool inserts = !typed.isEmpty() && typed.at(0).isPrint() &&
                         !(e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    if (inserts && !IsAllowed(typed)) {
        QApplication::beep();
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void CInPlaceEdit::PasteFiltered() {
    if (isReadOnly())
        return;
    if (!m_strAllowed.isEmpty()) {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        const QString text = clipboard ? clipboard->text() : QString();
        if (text.isEmpty() || !IsAllowed(text))
            return;
    }
    paste();
}

void CInPlaceEdit::inputMethodEvent(QInputMethodEvent* e) {
    if (!IsAllowed(e->commitString())) {
        QApplication::beep();
        QInputMethodEvent stripped(e->preeditString(), e->attributes());
        QLineEdit::inputMethodEvent(&stripped);
        return;
    }
    QLineEdit::inputMethodEvent(e);
}

void CInPlaceEdit::contextMenuEvent(QContextMenuEvent* e) {
    // The menu's Paste goes through the same filter as Ctrl+V.
    QMenu* menu = createStandardContextMenu();
    if (QAction* pasteAction = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
        const QString text = QGuiApplication::clipboard()->text();
        if (!m_strAllowed.isEmpty() && (text.isEmpty() || !IsAllowed(text)))
            pasteAction->setEnabled(false);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

void CInPlaceEdit::mouseReleaseEvent(QMouseEvent* e) {
    // The X11 selection paste would bypass the filter.
    if (e->button() == Qt::MiddleButton && !m_strAllowed.isEmpty()) {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        if (!IsAllowed(clipboard->text(QClipboard::Selection))) {
            e->accept();
            return;
        }
    }
    QLineEdit::mouseReleaseEvent(e);
}

void CInPlaceEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    // A context menu or a popup borrows the focus without ending the edit.
    if (e->reason() == Qt::PopupFocusReason || QApplication::activePopupWidget())
        return;
    EndEdit();
}

} // namespace ListCtrlEx
