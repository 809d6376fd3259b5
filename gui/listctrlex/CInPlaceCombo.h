#pragma once

#include <QComboBox>
#include <QPointer>

namespace ListCtrlEx {

class CListCtrlEx;

// The drop-down laid over a drop-down cell; one object serves every edit of
// the process, like CInPlaceEdit.
class CInPlaceCombo : public QComboBox {
    Q_OBJECT
public:
    static CInPlaceCombo* GetInstance();
    static CInPlaceCombo* Instance() { return s_pInstance; }
    static void DeleteInstance(CListCtrlEx* dying);
    static void FinishEditOn(CListCtrlEx* list, int fromRow);

    ~CInPlaceCombo() override;

    bool Open(CListCtrlEx* list, int row, int column);
    void EndEdit();

    bool IsEditing() const { return m_bEditing; }
    bool HasWindow() const { return m_bWindowOpen; }
    int Row() const { return m_nRow; }
    int Column() const { return m_nColumn; }

    void hidePopup() override;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    CInPlaceCombo();
    void FinishByKey();
    void CloseWindow();

    static CInPlaceCombo* s_pInstance;

    int m_nRow = -1;
    int m_nColumn = -1;
    QString m_strStart;
    QStringList m_options;
    bool m_bCancelled = false;
    QPointer<CListCtrlEx> m_pList;
    bool m_bEditing = false;
    bool m_bWindowOpen = false;
    quint64 m_nGeneration = 0;
};

} // namespace ListCtrlEx
