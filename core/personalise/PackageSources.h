#pragma once

#include <QString>

#include <cstdint>

namespace quorvane {

// Selection bits, shared by "sysfile", both packages and package requests.
enum SelectionBit : std::uint8_t {
    kSelectMac = 0x01,
    kSelectBootLoader = 0x02,
    kSelectConfig = 0x04,
    kSelectRoot = 0x08,
};

// The three source files as the operator entered their paths.
struct PackageSources {
    QString bootLoaderPath;
    QString configPath;
    QString rootPath;
};

} // namespace quorvane
