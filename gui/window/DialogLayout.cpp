#include "gui/window/DialogLayout.h"

#include "gui/widgets/DialogUnits.h"

#include <algorithm>
#include <array>

namespace quorvane::window {

namespace {

using K = ControlKind;

// The scan field and its caption were laid out for controls nobody saw (a
// field six units wide); shown, they take the free stretch of the first row.
constexpr std::array<ControlTemplate, 21> kControls{{
    {1000, K::CheckBox, "写MAC地址:", {2, 4, 46, 8}, false, true},
    {1001, K::CheckBox, "升级Uboot:", {2, 17, 46, 8}, false, true},
    {1002, K::CheckBox, "升级Root_uImage:", {2, 30, 70, 8}, true, true},
    {1003, K::CheckBox, "恢复出厂设置:", {2, 43, 80, 8}, true, true},
    {1026, K::Label, "0E7D40", {148, 5, 35, 8}, false, true},
    {1004, K::Edit, "", {118, 2, 6, 12}, false, false},
    {1023, K::Label, "8", {187, 5, 8, 8}, false, true},
    {1005, K::Edit, "", {94, 15, 249, 12}, false, true},
    {1006, K::Edit, "", {94, 28, 249, 12}, true, true},
    {1007, K::Edit, "", {94, 41, 249, 12}, true, true},
    {1008, K::Button, "...", {344, 14, 21, 13}, false, true},
    {1009, K::Button, "...", {344, 27, 21, 13}, true, true},
    {1010, K::Button, "...", {344, 40, 21, 13}, true, true},
    {1011, K::List, "", {60, 55, 271, 15}, false, true},
    {1016, K::ToggleButton, "烧录", {218, 2, 48, 11}, false, true},
    {1017, K::ToggleButton, "连续烧录", {263, 2, 35, 11}, false, true},
    {1012, K::ScanEdit, "", {118, 2, 90, 12}, true, true},
    {1025, K::Label, "扫描：", {94, 5, 23, 8}, true, true},
    {1024, K::DefaultButton, "Default Button", {266, 67, 37, 9}, false, true},
    {1030, K::List, "", {2, 54, 260, 21}, true, true},
    {1031, K::ToggleButton, "启动", {311, 1, 54, 13}, true, true},
}};

constexpr DialogBaseUnits kBaseUnits{10, 20};

// A window narrower than the rules assume squeezes a control to nothing
// rather than turning it inside out.
QRect WithLeftRight(const QRect& r, int left, int right) {
    return QRect(left, r.top(), std::max(0, right - left), r.height());
}

} // namespace

std::span<const ControlTemplate> MainWindowControls() {
    return kControls;
}

const ControlTemplate* FindControl(int id) {
    for (const ControlTemplate& c : kControls) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

QRect TemplateToPixels(const QRect& dlu) {
    return DluToPixels(dlu, kBaseUnits);
}

QSize TemplateToPixels(const QSize& dlu) {
    return DluToPixels(dlu, kBaseUnits);
}

QRect ResizedGeometry(int id, const QRect& current, const QSize& client) {
    const int r = client.width();
    const int b = client.height();
    switch (id) {
    case 1031:
        return WithLeftRight(current, r - 160, r - 10);
    case 1008:
    case 1009:
    case 1010:
        return WithLeftRight(current, r - 48, r - 10);
    case 1005:
    case 1006:
    case 1007:
        return WithLeftRight(current, current.left(), r - 50);
    case 1030:
        return QRect(current.left(), current.top(), std::max(0, r - 10 - current.left()),
                     std::max(0, b - 20 - current.top()));
    default:
        return current;
    }
}

int SharedColumnWidth(int listWidth) {
    return std::max(0, (listWidth - 48) / 3);
}

} // namespace quorvane::window
