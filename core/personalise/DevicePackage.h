#pragma once

#include "core/personalise/MacAddress.h"
#include "core/personalise/PackageSources.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quorvane {

struct DevicePackageRequest {
    QString programDir; // ends with a separator
    QString scanText;   // the board's label text; its first 12 characters name the file
    std::uint8_t flags = 0;
    PackageSources sources;
    int model = 5;
    MacTriple currentTriple; // kept when neither bit 1 nor bit 4 replaces it
};

struct DevicePackageResult {
    QString message; // empty when the file was written, else the operator's message
    QString outputPath;
    MacTriple triple;              // the station's current triple afterwards (also after a failure)
    std::optional<bool> hasWpaKey; // decided when a configuration section was reached
    bool refreshTitle = false;     // the title must follow the new wireless-key mode
    bool ok() const { return message.isEmpty(); }
};

// Builds the board's package and replaces the file of that name atomically:
// on any failure the older file stays as it was.
DevicePackageResult BuildDevicePackage(const DevicePackageRequest& request);

} // namespace quorvane
