#pragma once

#include <QtGlobal>

namespace quorvane {

// Room the routers' boot loaders reserve for each piece.
inline constexpr qsizetype kBootLoaderImageMax = 131072;
inline constexpr qsizetype kConfigBlockSize = 16384;
inline constexpr qsizetype kConfigEntriesMax = kConfigBlockSize - 4;
inline constexpr qsizetype kRootAlignment = 65536;
// The station's work buffer: no package body and no source file is larger.
inline constexpr qsizetype kPackageBodyMax = 52428800;

inline constexpr quint32 kDevicePackageFormat = 5;

} // namespace quorvane
