#include "gui/widgets/StationFonts.h"

#include <QStringList>

namespace quorvane {

static QFont WithFallbacks(QStringList families, QFont::StyleHint hint) {
    QFont font;
    families << QStringLiteral("WenQuanYi Micro Hei") << QStringLiteral("Noto Sans CJK SC")
             << QStringLiteral("DejaVu Sans");
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setWeight(QFont::Normal);
    return font;
}

QFont SansSerifFont(int pointSize) {
    QFont font = WithFallbacks({QStringLiteral("Microsoft Sans Serif")}, QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

QFont SongTiPointFont(int pointSize) {
    QFont font = WithFallbacks({QStringLiteral("宋体"), QStringLiteral("SimSun")}, QFont::Serif);
    font.setPointSize(pointSize);
    return font;
}

QFont SongTiPixelFont(int pixelSize) {
    QFont font = WithFallbacks({QStringLiteral("宋体"), QStringLiteral("SimSun")}, QFont::Serif);
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace quorvane
