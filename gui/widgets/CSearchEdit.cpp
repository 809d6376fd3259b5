#include "gui/widgets/CSearchEdit.h"

#include "gui/widgets/StationFonts.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

CSearchEdit::CSearchEdit(QWidget* parent) : QLineEdit(parent) {}

CSearchEdit* CSearchEdit::create(QWidget* parent, int controlId) {
    auto* field = new CSearchEdit(parent);
    field->setControlId(controlId);
    field->setFont(ClassFont());
    field->setText(field->m_strCue);
    return field;
}

QFont CSearchEdit::ClassFont() {
    return quorvane::SongTiPixelFont(12);
}

void CSearchEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (m_bCueShown) {
        clear();
        m_bCueShown = false;
        if (parentWidget()) {
            parentWidget()->repaint(geometry());
        }
    }
    // A click that gave the focus would otherwise drop the selection again.
    m_bSelectAllPending = true;
    selectAll();
}

void CSearchEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    QString rest = text();
    rest.remove(QLatin1Char(' '));
    if (rest.isEmpty()) {
        m_bCueShown = true;
        setText(m_strCue);
    }
}

void CSearchEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_bSelectAllPending) {
        m_bSelectAllPending = false;
        selectAll();
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CSearchEdit::keyPressEvent(QKeyEvent* event) {
    if (parentWidget()) {
        parentWidget()->update(geometry());
    }
    QLineEdit::keyPressEvent(event);
}

void CSearchEdit::keyReleaseEvent(QKeyEvent* event) {
    // Only the real release counts: a held key must not repeat the scan.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !event->isAutoRepeat()) {
        emit scanEntered(m_nControlId);
    }
    QLineEdit::keyReleaseEvent(event);
}
