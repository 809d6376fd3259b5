#pragma once

#include "core/personalise/MacAddress.h"

#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace quorvane {

enum class PackageKind { Device, Mac };

// A device package section or a MAC package piece.
struct PackageSection {
    std::uint32_t type = 0;  // 1 MAC, 2 boot loader, 4 configuration, 8 root image
    std::uint32_t word4 = 0; // device package only: 0 for MAC, else 1
    std::uint32_t word8 = 0; // device package only: 0
    qsizetype headerOffset = 0;
    qsizetype dataOffset = 0; // where the data starts in the inspected bytes
    qsizetype length = 0;     // as the length word says
    bool complete = false;    // the whole data lies within the bytes
};

struct PackageReport {
    PackageKind kind = PackageKind::Device;
    std::uint8_t flags = 0;         // MAC: its first byte; device: the section types present
    std::uint32_t formatWord = 0;   // device
    std::uint32_t sectionCount = 0; // device: as the header says
    std::uint32_t storedCrc = 0;    // device: header CRC of the body
    std::uint32_t computedCrc = 0;
    QList<PackageSection> sections;
    std::optional<MacTriple> triple;
    // CRC-32 of the boot loader piece's 131,072 image bytes: what a router
    // that has written this image reports in its requests.
    std::optional<std::uint32_t> bootLoaderChecksum;
    std::optional<std::uint32_t> configStoredCrc;   // device: block CRC
    std::optional<std::uint32_t> configComputedCrc; // device
    QByteArrayList configEntries; // device: the block's entries; MAC: the text's lines
    QByteArray configText;        // MAC: the configuration piece as sent
    QStringList problems;         // every length, value or checksum that does not match
    bool ok() const { return problems.isEmpty(); }
};

// Decodes a package from its bytes alone; never reads outside them.
// A file starting with the format word 5 and long enough for its header is
// a device package, anything else a MAC package.
PackageReport InspectPackage(QByteArrayView bytes);
PackageReport InspectDevicePackage(QByteArrayView bytes);
PackageReport InspectMacPackage(QByteArrayView bytes);

QString SectionName(std::uint32_t type);

} // namespace quorvane
