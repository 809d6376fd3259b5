#pragma once

#include <QColor>
#include <QPalette>

namespace ListCtrlEx {

// The Windows system colour indices the painters are written against, and
// the palette roles that play their part here.
enum SysColor {
    ColorWindow = 5,         // Base: a list's background
    ColorWindowText = 8,     // Text: a list's text
    ColorHighlight = 13,     // Highlight
    ColorHighlightText = 14, // HighlightedText
    ColorBtnFace = 15,       // Button
    ColorBtnShadow = 16,     // Dark
    ColorBtnHighlight = 20,  // Light
    ColorHotLight = 26,      // Link
};

QPalette::ColorRole SysColorRole(SysColor index);

// Always the active group: the list shows its selection without focus too.
inline QColor SysColorOf(const QPalette& palette, SysColor index) {
    return palette.color(QPalette::Active, SysColorRole(index));
}

} // namespace ListCtrlEx
