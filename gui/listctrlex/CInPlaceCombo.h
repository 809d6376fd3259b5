#pragma once

#include "gui/listctrlex/InPlaceEditor.h"

#include <QComboBox>

namespace ListCtrlEx {

// The drop-down laid over a drop-down cell; one object serves every edit of
// the process, like CInPlaceEdit.
class CInPlaceCombo : public InPlaceEditor<CInPlaceCombo, QComboBox> {
    Q_OBJECT
public:
    static constexpr int kSourceId = EndEditRecord::IdInPlaceCombo;

    ~CInPlaceCombo() override;

    bool Open(CListCtrlEx* list, int row, int column);
    QString CurrentText() const { return currentText(); }

    void hidePopup() override;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    friend class InPlaceEditor<CInPlaceCombo, QComboBox>;
    CInPlaceCombo();

    QStringList m_options;
};

} // namespace ListCtrlEx
