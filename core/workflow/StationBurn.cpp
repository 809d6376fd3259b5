// Single and continuous burning, and the scan field's Enter.
#include "core/log/StationLog.h"
#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/MacPackage.h"
#include "core/settings/SettingsRecord.h"
#include "core/workflow/Models.h"
#include "core/workflow/Station.h"

#include <cctype>

namespace quorvane {

namespace {

record::BurnFacts burnFacts(const QString& label, const StationState& s) {
    record::BurnFacts facts;
    facts.label = label;
    facts.triple = s.m_macs;
    facts.macWritten = (s.m_byFlags & kSelectMac) != 0;
    facts.modelCode = s.m_nModel;
    facts.modelName = ModelName(s.m_nModel);
    facts.selection = s.m_byFlags;
    if (s.m_byFlags & kSelectBootLoader)
        facts.bootLoaderPath = s.m_strUbootPath;
    if (s.m_byFlags & kSelectRoot)
        facts.rootPath = s.m_strRootPath;
    if (s.m_byFlags & kSelectConfig)
        facts.configPath = s.m_strCfgPath;
    return facts;
}

PackageSources sourcesOf(const StationState& s) {
    PackageSources sources;
    sources.bootLoaderPath = s.m_strUbootPath;
    sources.configPath = s.m_strCfgPath;
    sources.rootPath = s.m_strRootPath;
    return sources;
}

// The per-device number the indicator message carries: m_strMac read as
// "%x " reads it, leading hex digits only.
std::uint32_t LeadingHex(const QString& text) {
    const QString t = text.trimmed();
    qsizetype k = 0;
    while (k < t.size() && std::isxdigit(static_cast<unsigned char>(t[k].toLatin1())))
        ++k;
    return t.left(k).toUInt(nullptr, 16);
}

// Window messages 0x466 and 0x465: they rearrange per-device indicator
// windows that nothing ever fills, so they change nothing.
int OnIndicatorLayout(std::uintptr_t, std::intptr_t) {
    return 0;
}
int OnIndicatorNumber(std::uintptr_t, std::intptr_t) {
    return 0;
}

} // namespace

bool Station::validateBurn(bool continuous, SettingsRecord& record) {
    StationState& s = m_state;
    const QString mac = s.m_strMac;
    s.m_byFlags = 0;
    record = SettingsRecord();

    const auto fail = [&](const QString& text) {
        m_log.WriteLog(text);
        setControls([continuous](ControlState& c) {
            if (continuous)
                c.continuousChecked = false;
            else
                c.burnChecked = false;
        });
        return false;
    };

    if (s.m_bUpdateMAC) {
        s.m_byFlags |= kSelectMac;
        if (mac.isEmpty())
            return fail(QStringLiteral("MAC地址为空"));
        // A label text gives the label's own triple, not the vendor digits.
        record.setTriple(TripleFromMacField(mac, s.m_nModel));
    }
    if (s.m_bUpdateUboot) {
        s.m_byFlags |= kSelectBootLoader;
        if (s.m_strUbootPath.isEmpty())
            return fail(QStringLiteral("UBOOT为空"));
        record.setBootLoaderPath(s.m_strUbootPath);
    }
    if (s.m_bRestoreCfg) {
        s.m_byFlags |= kSelectConfig;
        if (s.m_strCfgPath.isEmpty())
            return fail(QStringLiteral("恢复出厂设置配置文件为空"));
        record.setConfigPath(s.m_strCfgPath);
    }
    if (s.m_bUpdateRoot) {
        s.m_byFlags |= kSelectRoot;
        if (s.m_strRootPath.isEmpty())
            return fail(QStringLiteral("root_Uimage为空"));
        record.setRootPath(s.m_strRootPath);
    }
    if (s.m_byFlags == 0)
        return fail(QStringLiteral("你好懒什么都不选"));
    record.setFlags(s.m_byFlags);
    return true;
}

void Station::SingleBurn() {
    runSingleBurn(false, -1);
}

void Station::runSingleBurn(bool fromTransfer, int row) {
    StationState& s = m_state;
    SettingsRecord record;
    if (!validateBurn(false, record))
        return;
    if (s.m_nDeviceNo == 0)
        s.m_nDeviceNo = 1;
    m_log.WriteLogFormat("第%d台*******************************%s*********************************",
                         s.m_nDeviceNo, qUtf8Printable(s.m_strMac));
    writeSettings(record);

    DevicePackageRequest request;
    request.programDir = s.m_strExeDir;
    request.scanText = s.m_strScan;
    request.flags = s.m_byFlags;
    request.sources = sourcesOf(s);
    request.model = s.m_nModel;
    request.currentTriple = s.m_macs;
    const DevicePackageResult result = BuildDevicePackage(request);
    s.m_macs = result.triple;
    if (result.hasWpaKey)
        s.m_bHasWpaKey = *result.hasWpaKey;
    if (result.refreshTitle)
        RefreshTitle();
    if (!result.ok())
        showMessage(result.message, fromTransfer);
    else
        m_record->Built(row, burnFacts(s.m_strScan, s));

    s.m_dwStartTick = now();
}

void Station::buildMacPackage(bool fromTransfer, int row) {
    StationState& s = m_state;
    MacPackageRequest request;
    request.programDir = s.m_strExeDir;
    request.macField = s.m_strMac;
    request.flags = s.m_byFlags;
    request.sources = sourcesOf(s);
    request.model = s.m_nModel;
    request.hasWpaKey = s.m_bHasWpaKey;
    request.currentTriple = s.m_macs;
    const MacPackageResult result = BuildMacPackage(request);
    s.m_macs = result.triple;
    if (!result.ok())
        showMessage(result.message, fromTransfer);
    else
        m_record->Built(row,
                        burnFacts((s.m_byFlags & kSelectMac) ? macPackageLabel() : QString(), s));
}

void Station::ContinuousBurn(bool checked, const ControlValues& controls) {
    StationState& s = m_state;
    setControls([checked](ControlState& c) { c.continuousChecked = checked; });
    exchangeFromControls(controls);
    SettingsRecord record;
    if (!validateBurn(true, record))
        return;

    if (!checked) {
        m_log.WriteLog(QStringLiteral("用户中止!"));
        setControls([](ControlState& c) {
            c.continuousCaption = QStringLiteral("连续烧录");
            c.optionsEnabled = true;
            c.scanLabelVisible = true;
        });
        return;
    }

    setControls([](ControlState& c) { c.continuousCaption = QStringLiteral("停止"); });
    s.m_dwStartTick = now();
    if (s.m_nDeviceNo == 0)
        s.m_nDeviceNo = 1;
    m_log.WriteLogFormat("第%d台*******************************%s*********************************",
                         s.m_nDeviceNo, qUtf8Printable(s.m_strMac));
    const std::uint32_t number = LeadingHex(s.m_strMac);
    OnIndicatorLayout(0, 0);
    OnIndicatorNumber(
        (s.m_byFlags & kSelectMac) ? number : static_cast<std::uint32_t>(s.m_nDeviceNo), 0);
    writeSettings(record);
    buildMacPackage(false, -1);
    s.m_dwStartTick = now();
    setControls([](ControlState& c) {
        c.optionsEnabled = false;
        c.scanEnabled = false;
        c.scanVisible = false;
        c.scanLabelVisible = false;
    });
    OnIndicatorLayout(0, 0);
}

void Station::OnScanEntered(const QString& scanText) {
    m_state.m_strScan = scanText;
    if (scanText.size() != 12)
        return;
    PendingReburn guarded;
    guarded.kind = PendingReburn::Kind::ScanField;
    if (!guardLabel(scanText, guarded))
        return; // a yes scans it again
    m_serialField = SerialFromScan(scanText);
    m_op.SetSerialText(m_serialField);
    // The burn names the scanned board, not the serial left in the field:
    // the header line and "sysfile" carry the label's own MACs.
    m_state.m_strMac = scanText;
    setControls([](ControlState& c) { c.burnChecked = true; });
    SingleBurn();
}

} // namespace quorvane
