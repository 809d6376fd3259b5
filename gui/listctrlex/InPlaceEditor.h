#pragma once

#include "gui/listctrlex/CListCtrlEx.h"
#include "gui/listctrlex/ListNotify.h"

#include <QMetaObject>
#include <QPointer>
#include <QRect>

namespace ListCtrlEx {

// What the edit box and the drop-down share: one object per process, laid
// over one cell at a time, handing its text back to the list when the edit
// ends and taken down by a queued close. Derived gives kSourceId and
// CurrentText().
template <class Derived, class Widget>
class InPlaceEditor : public Widget {
public:
    static Derived* GetInstance() {
        if (!s_pInstance)
            s_pInstance = new Derived;
        return s_pInstance;
    }
    static Derived* Instance() { return s_pInstance; }
    // Deletes the shared object; an edit still open on a list other than
    // `dying` is finished first, one on `dying` is dropped with it.
    static void DeleteInstance(CListCtrlEx* dying) {
        Derived* editor = s_pInstance;
        if (!editor)
            return;
        s_pInstance = nullptr;
        if (editor->m_bEditing && editor->m_pList == dying)
            editor->m_bEditing = false;
        if (editor->m_nBusy > 0) {
            // An owner's handler destroyed a list while the editor was
            // telling it something: the editor's own call is still running.
            editor->Shutdown();
            editor->deleteLater();
            return;
        }
        delete editor;
    }
    // Finishes an open edit of `list` at row fromRow or below.
    static void FinishEditOn(CListCtrlEx* list, int fromRow) {
        if (s_pInstance && s_pInstance->m_bEditing && s_pInstance->m_pList == list &&
            s_pInstance->m_nRow >= fromRow)
            s_pInstance->EndEdit();
    }

    // Ends the open edit: the starting text when cancelled, else the
    // editor's own, goes back to the list.
    void EndEdit() {
        if (!m_bEditing)
            return;
        m_bEditing = false;
        EndEditRecord record;
        record.source = m_pList;
        record.sourceId = Derived::kSourceId;
        record.row = m_nRow;
        record.column = m_nColumn;
        record.text = m_bCancelled ? m_strStart : static_cast<Derived*>(this)->CurrentText();
        record.textLength = int(record.text.size());
        if (m_pList) {
            const Busy busy(this);
            m_pList->OnEndLabelEdit(record);
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation = m_nGeneration] {
                if (generation == m_nGeneration && !m_bEditing)
                    CloseWindow();
            },
            Qt::QueuedConnection);
    }

    bool IsEditing() const { return m_bEditing; }
    bool HasWindow() const { return m_bWindowOpen; }
    int Row() const { return m_nRow; }
    int Column() const { return m_nColumn; }

protected:
    // Refuses a cell that does not exist; finishes an edit still open (its
    // handler may change the list, so the cell is checked again); sends 9033
    // and takes the cell.
    bool BeginEdit(CListCtrlEx* list, int row, int column, QRect& cell) {
        if (!CellExists(list, row, column, cell))
            return false;
        const QPointer<CListCtrlEx> alive(list);
        // Either handler may destroy lists, this one or the one that takes
        // this editor along.
        const auto stillThere = [&] {
            return alive && s_pInstance == this && CellExists(list, row, column, cell);
        };
        {
            const Busy busy(this);
            if (m_bEditing)
                EndEdit();
            if (!stillThere())
                return false;
            Q_EMIT list->CellBeforeEdit({row, column});
            if (!stillThere())
                return false;
        }
        m_pList = list;
        m_nRow = row;
        m_nColumn = column;
        m_strStart = list->GetItemText(row, column);
        m_bCancelled = false;
        ++m_nGeneration;
        return true;
    }

    // A window still waiting for its close is taken over for the new cell.
    void PlaceOver(const QRect& cell) {
        if (this->parentWidget() != m_pList->viewport())
            this->setParent(m_pList->viewport());
        this->setFont(m_pList->font());
        this->setGeometry(cell);
        this->show();
        m_bWindowOpen = true;
        m_bEditing = true;
    }

    // The edit ends before the focus moves: the end's handler may destroy
    // the list, and setFocus() must not be under way on a list that dies.
    void FinishByKey() {
        const QPointer<CListCtrlEx> list = m_pList;
        EndEdit();
        if (list)
            list->setFocus(Qt::OtherFocusReason);
    }

    void CloseWindow() {
        if (!m_bWindowOpen)
            return;
        m_bWindowOpen = false;
        this->hide();
        this->setParent(nullptr);
    }

    // For the destructor of Derived, while CurrentText() still works: an
    // open edit still reports its text, then the window goes.
    void Shutdown() {
        if (s_pInstance == this)
            s_pInstance = nullptr;
        EndEdit();
        CloseWindow();
    }

    int m_nRow = -1;
    int m_nColumn = -1;
    QString m_strStart;
    bool m_bCancelled = false;
    QPointer<CListCtrlEx> m_pList;
    bool m_bEditing = false;
    bool m_bWindowOpen = false;
    quint64 m_nGeneration = 0; // a queued close of an older edit is void
    int m_nBusy = 0;           // calls into the owner's handlers under way

private:
    struct Busy {
        explicit Busy(InPlaceEditor* editor) : m_editor(editor) { ++m_editor->m_nBusy; }
        ~Busy() { --m_editor->m_nBusy; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;
        InPlaceEditor* m_editor;
    };

    static bool CellExists(CListCtrlEx* list, int row, int column, QRect& cell) {
        return list && row >= 0 && row < list->GetItemCount() && column >= 0 &&
               column < list->GetColumnCount() && list->GetCellRect(row, column, cell);
    }

    static inline Derived* s_pInstance = nullptr;
};

} // namespace ListCtrlEx
