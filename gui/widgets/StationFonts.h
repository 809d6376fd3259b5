#pragma once

#include <QFont>

namespace quorvane {

// Fonts named after the line PCs' faces, with fallbacks for machines that lack them.
QFont SansSerifFont(int pointSize);   // "Microsoft Sans Serif"
QFont SongTiPointFont(int pointSize); // "宋体"
QFont SongTiPixelFont(int pixelSize); // "宋体"

} // namespace quorvane
