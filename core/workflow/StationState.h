#pragma once

#include "core/personalise/MacAddress.h"
#include "core/tftp/Wire.h"

#include <QString>

#include <cstdint>

namespace quorvane {

// The main window's state, under the names every part of the station uses.
// One instance per station: several stations may live in one process.
struct StationState {
    // Options (check boxes 1000-1003), as last exchanged with the controls.
    bool m_bUpdateMAC = false;
    bool m_bUpdateUboot = false;
    bool m_bRestoreCfg = false;
    bool m_bUpdateRoot = false;

    QString m_strMac;    // serial text, or a board's label text while serving it
    QString m_strExeDir; // program folder, with its trailing separator

    std::uint8_t m_byFlags = 0; // selection bits (core/personalise/PackageSources.h)
    MacTriple m_macs;           // the current board's base, model and WAN MAC
    int m_nModel = 5;
    bool m_bHasWpaKey = false;
    int m_nDeviceNo = 0;
    std::uint32_t m_dwStartTick = 0;

    // Texts of the path edits 1005 (boot loader), 1006 (root image) and 1007
    // (factory configuration), and of the scan field 1012. The window writes
    // them as the operator edits; the station reads them at each command.
    QString m_strUbootPath;
    QString m_strRootPath;
    QString m_strCfgPath;
    QString m_strScan;

    // Transfer flags of this station's service.
    int g_processing = 0;        // a device's request is in hand
    int g_nexttime = 0;          // the device just handled is expected to ask again
    std::int32_t g_ubootcrc = 0; // boot loader CRC of the last read request (0: none)
    int g_curItem = 0;           // device row the next board claims

    // The largest block a standard client that asks for one is given, from
    // the command line (1468 travels unfragmented on Ethernet); taken at Start.
    std::uint32_t maxBlockSize = tftp::DefaultMaxBlockSize;
};

} // namespace quorvane
