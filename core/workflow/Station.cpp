#include "core/workflow/Station.h"

#include "core/log/Housekeeping.h"
#include "core/log/RunFile.h"
#include "core/log/StationLog.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/PackageSources.h"
#include "core/settings/SettingsRecord.h"
#include "core/settings/StationFolder.h"
#include "core/workflow/Models.h"
#include "core/workflow/Selection.h"

namespace quorvane {

namespace {

RowTimerService& ChooseTimers(RowTimerService* given, std::unique_ptr<RowTimerService>& own) {
    if (given)
        return *given;
    own = std::make_unique<QtRowTimerService>();
    return *own;
}

} // namespace

Station::Station(StationLog& log, QString programDir, std::uint16_t port, OperatorInterface& op,
                 record::BoardRecord& record, RowTimerService* timers, TickClock clock,
                 std::unique_ptr<ServerHandle> link, QObject* parent)
    : QObject(parent), m_log(log), m_op(op), m_record(record), m_port(port),
      m_clock(clock ? std::move(clock) : SystemTickClock()),
      m_link(link ? std::move(link) : MakeTransferServerHandle(log, programDir)),
      m_rows(ChooseTimers(timers, m_ownTimers)), m_controls(op), m_hold(*m_link, op),
      m_ledger(m_state, m_rows, record, op), m_guard(log, op, record, m_hold),
      m_burner(m_state, log, record, m_hold, m_controls, m_clock, [this] { RefreshTitle(); }),
      m_policy({m_state, log, op, m_rows, m_ledger, m_burner, m_guard, m_hold, *m_link, m_clock}) {
    m_state.m_strExeDir = std::move(programDir);
    m_state.g_curItem = 0; // the placeholder row
    m_link->setHooks(&m_policy);
    connect(&m_rows, &DeviceRows::timerRanOut, this,
            [this](int row, int timerId) { m_ledger.timerRanOut(row, timerId); });
    // Told once; the boards go on whether the record can be written or not.
    m_record.setNotice([this](const QString& text, bool forOperator) {
        m_log.WriteLog(text);
        if (forOperator)
            m_op.ShowNotice(text);
    });
}

Station::~Station() {
    m_record.setNotice({});
    m_link->setHooks(nullptr);
    m_link->stop();
}

void Station::RestoreSettings() {
    SettingsRecord::ReadStatus status = SettingsRecord::ReadStatus::Missing;
    const QString path = m_state.m_strExeDir + QStringLiteral("sysfile");
    const SettingsRecord record = SettingsRecord::Read(path, &status);
    if (status == SettingsRecord::ReadStatus::SizeUnknown)
        m_log.WriteLog(QStringLiteral("文件为空!\n"));
    else if (status == SettingsRecord::ReadStatus::Unreadable)
        m_log.WriteLog(QStringLiteral("%1读取失败").arg(path));

    const QString serial = record.serialText();
    const std::uint8_t flags = record.flags();
    m_state.m_bUpdateMAC = (flags & kSelectMac) != 0;
    if (m_state.m_bUpdateMAC) {
        m_state.m_strMac = serial;
        m_op.SetSerialText(serial);
    }
    m_state.m_bUpdateUboot = (flags & kSelectBootLoader) != 0;
    if (m_state.m_bUpdateUboot)
        m_state.m_strUbootPath = record.bootLoaderPath();
    m_state.m_bRestoreCfg = (flags & kSelectConfig) != 0;
    if (m_state.m_bRestoreCfg)
        m_state.m_strCfgPath = record.configPath();
    m_state.m_bUpdateRoot = (flags & kSelectRoot) != 0;
    if (m_state.m_bUpdateRoot)
        m_state.m_strRootPath = record.rootPath();
    m_serialField = m_state.m_strMac;
}

void Station::Initialise() {
    RestoreSettings();
    m_log.WriteStartLine();
}

ControlValues Station::ControlsFromState() const {
    ControlValues values;
    values.updateMac = m_state.m_bUpdateMAC;
    values.updateUboot = m_state.m_bUpdateUboot;
    values.restoreCfg = m_state.m_bRestoreCfg;
    values.updateRoot = m_state.m_bUpdateRoot;
    values.serialText = m_serialField;
    return values;
}

void Station::exchangeFromControls(const ControlValues& controls) {
    m_state.m_bUpdateMAC = controls.updateMac;
    m_state.m_bUpdateUboot = controls.updateUboot;
    m_state.m_bRestoreCfg = controls.restoreCfg;
    m_state.m_bUpdateRoot = controls.updateRoot;
    m_state.m_strMac = controls.serialText;
    m_serialField = controls.serialText;
}

StartOutcome Station::StartService(const ControlValues& controls) {
    exchangeFromControls(controls);
    m_controls.change([](ControlState& c) {
        c.serviceChecked = true;
        c.serviceCaption = QStringLiteral("停止");
    });
    m_ledger.resetFlags();
    // Failed, m_byFlags keeps the bits up to the piece that is missing.
    const Selection selection = SelectionOf(m_state, SelectionCheck::Sources);
    m_state.m_byFlags = selection.flags;
    if (selection.missing != MissingPiece::None) {
        m_controls.change([](ControlState& c) {
            c.serviceChecked = false;
            c.serviceCaption = QStringLiteral("启动");
        });
        return StartOutcome{false, MissingPieceText(selection.missing, SelectionCheck::Sources)};
    }
    // Written at every start with the MAC bytes zero.
    SettingsRecord record = BurnSettings(m_state, m_state.m_byFlags & ~kSelectMac);
    record.setFlags(m_state.m_byFlags);
    record.setWpaByte(m_state.m_bHasWpaKey ? '1' : '0');

    dropOperatorWaits();
    // The server logs its own start lines, "服务器启动失败" among them.
    m_link->setMaxBlockSize(m_state.maxBlockSize);
    const bool listening = m_link->start(m_port, m_state.m_bUpdateMAC);
    m_everStarted = true;
    m_controls.change([](ControlState& c) { c.optionsEnabled = false; });
    WriteSettingsFile(m_log, m_state.m_strExeDir, record);

    if (!listening) {
        // Left pressed, the button would claim a service that answers no one.
        m_link->stop();
        m_controls.change([](ControlState& c) {
            c.serviceChecked = false;
            c.serviceCaption = QStringLiteral("启动");
            c.optionsEnabled = true;
        });
        return StartOutcome{false, QStringLiteral("服务器启动失败")};
    }
    return StartOutcome{true, {}};
}

void Station::StopService(const ControlValues& controls) {
    exchangeFromControls(controls);
    m_state.m_byFlags = 0;
    m_controls.change([](ControlState& c) { c.serviceChecked = false; });
    if (!m_everStarted)
        return;
    dropOperatorWaits();
    m_link->stop();
    m_ledger.letGo(BoardEvent::Stopped);
    m_controls.change([](ControlState& c) { c.serviceCaption = QStringLiteral("启动"); });
    m_log.WriteLog(QStringLiteral("强制关闭服务"));
    m_controls.change([](ControlState& c) { c.optionsEnabled = true; });
}

void Station::dropOperatorWaits() {
    m_ledger.forgetWatch();
    m_guard.drop();
    m_policy.dropAsk();
    m_hold.dropAll();
}

void Station::SingleBurn() {
    m_burner.SingleBurn(false, {});
}

void Station::ContinuousBurn(bool checked, const ControlValues& controls) {
    m_controls.change([checked](ControlState& c) { c.continuousChecked = checked; });
    exchangeFromControls(controls);
    m_burner.ContinuousBurn(checked);
}

void Station::OnScanEntered(const QString& scanText) {
    m_state.m_strScan = scanText;
    if (scanText.size() != 12)
        return;
    const bool clear = m_guard.clears(scanText, {}, false, [this, scanText](bool yes) {
        if (!yes)
            return;
        m_guard.confirmOnce(scanText); // a yes scans it again
        OnScanEntered(scanText);
    });
    if (!clear)
        return;
    m_serialField = SerialFromScan(scanText);
    m_op.SetSerialText(m_serialField);
    // The burn names the scanned board, not the serial left in the field:
    // the header line and "sysfile" carry the label's own MACs.
    m_state.m_strMac = scanText;
    m_controls.change([](ControlState& c) { c.burnChecked = true; });
    SingleBurn();
}

void Station::OnMacAnswer(std::uint64_t askId, const std::optional<QString>& label) {
    m_policy.OnMacAnswer(askId, label);
}

bool Station::SelectModel(int code) {
    if (!IsModelCode(code))
        return false;
    m_state.m_nModel = code;
    return true;
}

void Station::RefreshTitle() {
    m_title = TitleFor(m_state.m_nModel, m_state.m_bHasWpaKey);
    m_op.SetTitle(m_title);
}

void Station::ClearGeneratedFiles() {
    // Never a folder of the system's programs, whatever the station was given.
    if (!IsOwnStationFolder(m_state.m_strExeDir)) {
        m_hold.showMessage(
            QStringLiteral("%1不是工作站自己的文件夹,不清空").arg(m_state.m_strExeDir), false);
        return;
    }
    quorvane::ClearGeneratedFiles(m_state.m_strExeDir, false);
}

void Station::Shutdown() {
    m_ledger.letGo(BoardEvent::ShutDown);
    m_log.WriteEndLine();
    if (!WriteRunFile(m_state.m_strExeDir, {}))
        m_log.WriteLog(
            QStringLiteral("%1写入失败").arg(m_state.m_strExeDir + QStringLiteral("log/")));
}

} // namespace quorvane
