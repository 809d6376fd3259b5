#pragma once

#include <QMetaType>
#include <QString>

namespace ListCtrlEx {

class CListCtrlEx;

// The numbers the owner notifications have always carried; the list sends
// them as the signals named beside each.
enum Notification {
    NotifyLButtonDown = 9025,   // CellLButtonDown
    NotifyLButtonDblClk = 9026, // CellLButtonDblClk (queued)
    NotifyRButtonDown = 9027,   // CellRButtonDown (queued)
    NotifyCheckChanged = 9028,  // CellCheckChanged
    NotifyCheckClicked = 9030,  // CellCheckClicked
    NotifyEnableChanged = 9031, // CellEnableChanged
    NotifyEndEdit = 9032,       // CellEndEdit
    NotifyBeforeEdit = 9033,    // CellBeforeEdit
};

struct CellHit {
    int row = -1;
    int column = -1;
    bool operator==(const CellHit&) const = default;
};

struct CellFlagRecord {
    int row = -1;
    int column = -1;
    bool on = false; // checked for 9028/9030, enabled for 9031
    bool operator==(const CellFlagRecord&) const = default;
};

// What an in-place editor hands back when its edit ends.
struct EndEditRecord {
    enum : int { CodeEndLabelEdit = -176 };
    enum : unsigned { MaskText = 0x1 };
    enum : int { IdInPlaceEdit = 1000001, IdInPlaceCombo = 1000002 };

    CListCtrlEx* source = nullptr; // the list the edit belongs to
    int sourceId = 0;              // the editor's control identifier
    int code = CodeEndLabelEdit;
    unsigned mask = MaskText;
    int row = -1;
    int column = -1;
    QString text;
    int textLength = 0;
};

} // namespace ListCtrlEx

Q_DECLARE_METATYPE(ListCtrlEx::CellHit)
Q_DECLARE_METATYPE(ListCtrlEx::CellFlagRecord)
Q_DECLARE_METATYPE(ListCtrlEx::EndEditRecord)
