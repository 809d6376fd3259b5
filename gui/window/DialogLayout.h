#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <span>

namespace quorvane::window {

enum class ControlKind {
    CheckBox,
    Label,
    Edit,
    Button,
    ToggleButton,
    DefaultButton,
    List,
    ScanEdit,
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    QRect dlu; // x, y, width, height in dialog units
    bool shown;
    bool enabled;
};

// Every control of the main window, in creation order.
std::span<const ControlTemplate> MainWindowControls();
const ControlTemplate* FindControl(int id);

// Client area of the window as first opened, in dialog units. Taller than the
// old 78 units so that the device list has room for a few boards.
inline constexpr QSize kClientDlu{365, 150};

// The one mapping from dialog units to pixels: fixed base units of 10 x 20
// pixels (the template's 14-point face at 96 dpi), so that the layout does not
// depend on which fallback face a machine has. 2.5 pixels per unit each way,
// edges rounded half away from zero.
QRect TemplateToPixels(const QRect& dlu);
QSize TemplateToPixels(const QSize& dlu);

// Where a control goes when the client area takes a new size: `current` is
// its geometry now, the result its geometry after the window's resize rules.
// Controls without a rule keep `current`.
QRect ResizedGeometry(int id, const QRect& current, const QSize& client);

// Device list column widths for a list `listWidth` pixels wide: Num 45, the
// other three share the rest.
inline constexpr int kNumColumnWidth = 45;
int SharedColumnWidth(int listWidth);

} // namespace quorvane::window
