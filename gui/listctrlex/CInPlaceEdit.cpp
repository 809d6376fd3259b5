#include "gui/listctrlex/CInPlaceEdit.h"

#include "gui/listctrlex/CListCtrlEx.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace ListCtrlEx {

CInPlaceEdit::CInPlaceEdit() {
    setFrame(true);
    setAcceptDrops(false);
}

CInPlaceEdit::~CInPlaceEdit() {
    Shutdown();
}

bool CInPlaceEdit::Open(CListCtrlEx* list, int row, int column) {
    QRect cell;
    if (!BeginEdit(list, row, column, cell))
        return false;
    m_strAllowed = list->GetCellAllowedChars(row, column);
    PlaceOver(cell);
    setText(m_strStart);
    selectAll();
    setFocus(Qt::OtherFocusReason);
    return true;
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
