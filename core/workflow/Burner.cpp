#include "core/workflow/Burner.h"

#include "core/log/StationLog.h"
#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/MacPackage.h"
#include "core/settings/SettingsRecord.h"
#include "core/workflow/ControlPanel.h"
#include "core/workflow/Models.h"
#include "core/workflow/Selection.h"
#include "core/workflow/ServerHold.h"
#include "core/workflow/StationState.h"

namespace quorvane {

namespace {

record::BurnFacts BurnFactsOf(const QString& label, const StationState& s) {
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

PackageSources SourcesOf(const StationState& s) {
    PackageSources sources;
    sources.bootLoaderPath = s.m_strUbootPath;
    sources.configPath = s.m_strCfgPath;
    sources.rootPath = s.m_strRootPath;
    return sources;
}

} // namespace

bool Burner::validate(bool continuous) {
    const Selection selection = SelectionOf(m_state, SelectionCheck::Burn);
    m_state.m_byFlags = selection.flags;
    if (selection.missing == MissingPiece::None)
        return true;
    m_log.WriteLog(MissingPieceText(selection.missing, SelectionCheck::Burn));
    m_controls.change([continuous](ControlState& c) {
        if (continuous)
            c.continuousChecked = false;
        else
            c.burnChecked = false;
    });
    return false;
}

void Burner::logHeader() {
    if (m_state.m_nDeviceNo == 0)
        m_state.m_nDeviceNo = 1;
    m_log.WriteLogFormat("第%d台*******************************%s*********************************",
                         m_state.m_nDeviceNo, qUtf8Printable(m_state.m_strMac));
}

void Burner::SingleBurn(bool fromTransfer, const record::AttemptId& attempt) {
    StationState& s = m_state;
    if (!validate(false))
        return;
    logHeader();
    WriteSettingsFile(m_log, s.m_strExeDir, BurnSettings(s, s.m_byFlags));

    DevicePackageRequest request;
    request.programDir = s.m_strExeDir;
    request.scanText = s.m_strScan;
    request.flags = s.m_byFlags;
    request.sources = SourcesOf(s);
    request.model = s.m_nModel;
    request.currentTriple = s.m_macs;
    const DevicePackageResult result = BuildDevicePackage(request);
    s.m_macs = result.triple;
    if (result.hasWpaKey)
        s.m_bHasWpaKey = *result.hasWpaKey;
    if (result.refreshTitle)
        m_refreshTitle();
    if (!result.ok())
        m_hold.showMessage(result.message, fromTransfer);
    else
        m_record.Built(attempt, BurnFactsOf(s.m_strScan, s));
    s.m_dwStartTick = m_clock();
}

QString Burner::macPackageLabel() const {
    return LabelText(TripleFromMacField(m_state.m_strMac, m_state.m_nModel).base);
}

void Burner::BuildMacPackage(bool fromTransfer, const record::AttemptId& attempt) {
    StationState& s = m_state;
    MacPackageRequest request;
    request.programDir = s.m_strExeDir;
    request.macField = s.m_strMac;
    request.flags = s.m_byFlags;
    request.sources = SourcesOf(s);
    request.model = s.m_nModel;
    request.hasWpaKey = s.m_bHasWpaKey;
    request.currentTriple = s.m_macs;
    const MacPackageResult result = quorvane::BuildMacPackage(request);
    s.m_macs = result.triple;
    if (!result.ok())
        m_hold.showMessage(result.message, fromTransfer);
    else
        m_record.Built(attempt,
                       BurnFactsOf((s.m_byFlags & kSelectMac) ? macPackageLabel() : QString(), s));
}

void Burner::ContinuousBurn(bool checked) {
    StationState& s = m_state;
    if (!validate(true))
        return;
    if (!checked) {
        m_log.WriteLog(QStringLiteral("用户中止!"));
        m_controls.change([](ControlState& c) {
            c.continuousCaption = QStringLiteral("连续烧录");
            c.optionsEnabled = true;
            c.scanLabelVisible = true;
        });
        return;
    }
    // Never questioned: the MAC package carries the triple the station holds.
    m_controls.change([](ControlState& c) { c.continuousCaption = QStringLiteral("停止"); });
    s.m_dwStartTick = m_clock();
    logHeader();
    WriteSettingsFile(m_log, s.m_strExeDir, BurnSettings(s, s.m_byFlags));
    BuildMacPackage(false, {});
    s.m_dwStartTick = m_clock();
    m_controls.change([](ControlState& c) {
        c.optionsEnabled = false;
        c.scanEnabled = false;
        c.scanVisible = false;
        c.scanLabelVisible = false;
    });
}

} // namespace quorvane
