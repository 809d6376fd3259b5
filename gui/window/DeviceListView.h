#pragma once

#include <QList>
#include <QModelIndex>
#include <QObject>

namespace ListCtrlEx {
class CListCtrlEx;
}

namespace quorvane {

class DeviceRows;

namespace window {

// Columns, options and looks of the device list 1030.
void SetUpDeviceList(ListCtrlEx::CListCtrlEx& list);

// Keeps the device list showing the station's rows: it follows the rows'
// model, so every row, text and progress change appears in the list as soon
// as the station makes it. The list keeps its own items.
class DeviceListView : public QObject {
    Q_OBJECT
public:
    DeviceListView(DeviceRows& rows, ListCtrlEx::CListCtrlEx& list, QObject* parent = nullptr);

private:
    void InsertRow(int row);
    void Update(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                const QList<int>& roles);
    void SetProgress(int row, int value);

    DeviceRows& m_rows;
    ListCtrlEx::CListCtrlEx& m_list;
};

} // namespace window
} // namespace quorvane
