#pragma once

#include "gui/listctrlex/InPlaceEditor.h"

#include <QLineEdit>

namespace ListCtrlEx {

// The edit box laid over an edit cell. One object serves every edit of the
// process; it is shown over a cell while an edit is open and taken down again
// by a queued close once the edit has ended.
class CInPlaceEdit : public InPlaceEditor<CInPlaceEdit, QLineEdit> {
    Q_OBJECT
public:
    static constexpr int kSourceId = EndEditRecord::IdInPlaceEdit;

    ~CInPlaceEdit() override;

    // Starts an edit of (row, column). An edit still open is finished first,
    // and a window still waiting for its close is taken over for the new
    // cell. False when the cell does not exist.
    bool Open(CListCtrlEx* list, int row, int column);

    QString CurrentText() const { return text(); }
    QString AllowedChars() const { return m_strAllowed; }
    // True when every character of text may be typed into the cell.
    bool IsAllowed(const QString& text) const;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    friend class InPlaceEditor<CInPlaceEdit, QLineEdit>;
    CInPlaceEdit();
    void PasteFiltered();

    QString m_strAllowed;
};

} // namespace ListCtrlEx
