#include "gui/listctrlex/SysColors.h"

namespace ListCtrlEx {

QPalette::ColorRole SysColorRole(SysColor index) {
    switch (index) {
    case ColorWindow:
        return QPalette::Base;
    case ColorWindowText:
        return QPalette::Text;
    case ColorHighlight:
        return QPalette::Highlight;
    case ColorHighlightText:
        return QPalette::HighlightedText;
    case ColorBtnFace:
        return QPalette::Button;
    case ColorBtnShadow:
        return QPalette::Dark;
    case ColorBtnHighlight:
        return QPalette::Light;
    case ColorHotLight:
        return QPalette::Link;
    }
    return QPalette::Base;
}

} // namespace ListCtrlEx
