#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace ListCtrlEx {

// What the list keeps per cell beside its own texts.
struct ListCellData {
    enum : quint32 { FlagEnabled = 0x1, FlagChecked = 0x2 };

    explicit ListCellData(int column = 0) : m_nRadioGroup(column) {}

    quint32 m_dwFlags = FlagEnabled;
    int m_nImage = -1;     // index into the list's image list; negative: none
    int m_nRadioGroup;     // radio cells with equal group exclude each other
    QStringList m_options; // entries of the in-place drop-down
    QString m_strAllowed;  // characters the in-place edit box accepts; empty: all
    quint32 m_dwProgress = 0;
    quint32 m_dwProgressMax = 100;

    bool IsEnabled() const { return m_dwFlags & FlagEnabled; }
    bool IsChecked() const { return m_dwFlags & FlagChecked; }
    void SetFlag(quint32 flag, bool on) {
        m_dwFlags = on ? (m_dwFlags | flag) : (m_dwFlags & ~flag);
    }
};

} // namespace ListCtrlEx
