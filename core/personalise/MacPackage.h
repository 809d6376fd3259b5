#pragma once

#include "core/personalise/MacAddress.h"
#include "core/personalise/PackageSources.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quorvane {

struct MacPackageRequest {
    QString programDir; // ends with a separator
    QString macField;   // m_strMac: a five-digit serial or a 12-character label text
    std::uint8_t flags = 0;
    PackageSources sources;
    int model = 5;
    bool hasWpaKey = false;
    MacTriple currentTriple; // gives the key text when bit 1 is clear
};

struct MacPackageResult {
    QString message; // empty when "MAC" was written, else the operator's message
    QString outputPath;
    MacTriple triple; // the station's current triple afterwards
    bool ok() const { return message.isEmpty(); }
};

MacPackageResult BuildMacPackage(const MacPackageRequest& request);

// CRC-32 of the image's first 131,072 bytes, zero-filled up to that size;
// nothing when the file cannot be opened.
std::optional<std::uint32_t> BootLoaderChecksum(const QString& path);

} // namespace quorvane
