#pragma once

#include <QLineEdit>
#include <QPointer>

namespace ListCtrlEx {

class CListCtrlEx;

// The edit box laid over an edit cell. One object serves every edit of the
// process; it is shown over a cell while an edit is open and taken down again
// by a queued close once the edit has ended.
class CInPlaceEdit : public QLineEdit {
    Q_OBJECT
public:
    static CInPlaceEdit* GetInstance();
    static CInPlaceEdit* Instance() { return s_pInstance; }
    // Deletes the shared object; an edit still open on a list other than
    // `dying` is finished first, one on `dying` is dropped with it.
    static void DeleteInstance(CListCtrlEx* dying);
    // Finishes an open edit of `list` at row fromRow or below.
    static void FinishEditOn(CListCtrlEx* list, int fromRow);

    ~CInPlaceEdit() override;

    // Starts an edit of (row, column). An edit still open is finished first,
    // and a window still waiting for its close is taken over for the new
    // cell. False when the cell does not exist.
    bool Open(CListCtrlEx* list, int row, int column);
    // Ends the open edit: the starting text when cancelled, else the typed
    // one, goes back to the list.
    void EndEdit();

    bool IsEditing() const { return m_bEditing; }
    bool HasWindow() const { return m_bWindowOpen; }
    int Row() const { return m_nRow; }
    int Column() const { return m_nColumn; }
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
    CInPlaceEdit();
    void FinishByKey();
    void CloseWindow();
    void PasteFiltered();

    static CInPlaceEdit* s_pInstance;

    int m_nRow = -1;
    int m_nColumn = -1;
    QString m_strAllowed;
    QString m_strStart;
    bool m_bCancelled = false;
    QPointer<CListCtrlEx> m_pList;
    bool m_bEditing = false;
    bool m_bWindowOpen = false;
    quint64 m_nGeneration = 0; // a queued close of an older edit is void
};

} // namespace ListCtrlEx
