#include "gui/window/DeviceListView.h"

#include "core/workflow/DeviceRows.h"
#include "gui/listctrlex/CListCtrlEx.h"

#include <algorithm>

namespace quorvane::window {

using ListCtrlEx::CListCtrlEx;

void SetUpDeviceList(CListCtrlEx& list) {
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    list.SetGridLines(true);
    list.InsertColumnEx(DeviceRows::NumColumn, QStringLiteral("Num"), 30, ListCtrlEx::KindText,
                        ListCtrlEx::AlignCentre, 1);
    list.InsertColumnEx(DeviceRows::MacColumn, QStringLiteral("Mac"), 290, ListCtrlEx::KindText,
                        ListCtrlEx::AlignCentre, 0);
    list.InsertColumnEx(DeviceRows::ProgressColumn, QStringLiteral("进度"), 290,
                        ListCtrlEx::KindProgress, ListCtrlEx::AlignCentre, 0);
    list.InsertColumnEx(DeviceRows::StatusColumn, QStringLiteral("状态"), 290, ListCtrlEx::KindText,
                        ListCtrlEx::AlignCentre, 0);
    list.SetShowProgressText(true);
}

DeviceListView::DeviceListView(DeviceRows& rows, CListCtrlEx& list, QObject* parent)
    : QObject(parent), m_rows(rows), m_list(list) {
    // The station starts with its waiting row; the list shows what is there now.
    for (int row = m_list.GetItemCount(); row < m_rows.rowCount(); ++row)
        InsertRow(row);

    connect(&m_rows, &DeviceRows::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row)
                    InsertRow(row);
            });
    connect(&m_rows, &DeviceRows::dataChanged, this, &DeviceListView::Update);
    connect(&m_rows, &DeviceRows::ensureVisible, this,
            [this](int row, bool partialOk) { m_list.EnsureVisible(row, partialOk); });
}

void DeviceListView::InsertRow(int row) {
    m_list.InsertItem(row, m_rows.text(row, DeviceRows::NumColumn));
    for (int column = DeviceRows::MacColumn; column <= DeviceRows::StatusColumn; ++column) {
        const QString text = m_rows.text(row, column);
        if (!text.isEmpty())
            m_list.SetItemText(row, column, text);
    }
    // A fresh row keeps the cell's defaults (0 of 100) without a record.
    if (m_rows.progress(row) != 0)
        SetProgress(row, m_rows.progress(row));
}

void DeviceListView::Update(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                            const QList<int>& roles) {
    // The board's phase alone changes nothing the list shows.
    if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole))
        return;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
            if (column == DeviceRows::ProgressColumn)
                SetProgress(row, m_rows.progress(row));
            else if (column != DeviceRows::NumColumn)
                m_list.SetItemText(row, column, m_rows.text(row, column));
        }
    }
}

void DeviceListView::SetProgress(int row, int value) {
    m_list.SetCellProgressMax(row, DeviceRows::ProgressColumn, 100);
    m_list.SetCellProgress(row, DeviceRows::ProgressColumn,
                           static_cast<quint32>(std::max(0, value)));
}

} // namespace quorvane::window
