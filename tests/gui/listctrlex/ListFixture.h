#pragma once

#include "gui/listctrlex/CListCtrlEx.h"

#include <QTest>
#include <QWidget>
#include <memory>

// Pixels inside a rectangle of the image that pass the test (or have the colour).
template <typename Test>
int Count(const QImage& image, const QRect& area, Test test) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixel(x, y));
    return n;
}
inline int Count(const QImage& image, const QRect& area, QRgb colour) {
    return Count(image, area, [colour](QRgb p) { return p == colour; });
}

// A shown list inside an owner window, with plain colours that the pixel
// checks can tell apart.
struct ListFixture {
    std::unique_ptr<QWidget> owner = std::make_unique<QWidget>();
    ListCtrlEx::CListCtrlEx* list = new ListCtrlEx::CListCtrlEx(owner.get());

    ListFixture() {
        QPalette pal = list->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            pal.setColor(group, QPalette::Base, QColor(255, 255, 255));
            pal.setColor(group, QPalette::Text, QColor(0, 0, 0));
            pal.setColor(group, QPalette::Highlight, QColor(200, 0, 0));
            pal.setColor(group, QPalette::HighlightedText, QColor(255, 255, 0));
            pal.setColor(group, QPalette::Link, QColor(0, 200, 0));
            pal.setColor(group, QPalette::Button, QColor(0, 0, 200));
        }
        list->setPalette(pal);
        owner->resize(500, 300);
        list->setGeometry(0, 0, 500, 300);
    }

    bool Show() {
        owner->show();
        return QTest::qWaitForWindowExposed(owner.get());
    }

    QImage Grab() const { return list->viewport()->grab().toImage(); }

    QRect Cell(int row, int column) const {
        QRect r;
        list->GetCellRect(row, column, r);
        return r;
    }

    void Rows(const QStringList& firstColumn) {
        for (const QString& text : firstColumn)
            list->InsertItem(list->GetItemCount(), text);
    }
};
