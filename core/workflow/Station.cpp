#include "core/workflow/Station.h"

#include "core/log/Housekeeping.h"
#include "core/log/RunFile.h"
#include "core/log/StationLog.h"
#include "core/personalise/PackageSources.h"
#include "core/settings/SettingsRecord.h"
#include "core/settings/StationFolder.h"
#include "core/workflow/Models.h"

#include <QMetaObject>

namespace quorvane {

namespace {

RowTimerService& chooseTimers(RowTimerService* given, std::unique_ptr<RowTimerService>& own) {
    if (given)
        return *given;
    own = std::make_unique<QtRowTimerService>();
    return *own;
}

} // namespace

Station::Station(StationLog& log, QString programDir, std::uint16_t port, OperatorInterface& op,
                 RowTimerService* timers, TickClock clock, std::unique_ptr<ServiceLink> link,
                 QObject* parent)
    : QObject(parent), m_log(log), m_op(op), m_port(port),
      m_clock(clock ? std::move(clock) : SystemTickClock()),
      m_link(link ? std::move(link) : MakeTransferServerLink(log, programDir)),
      m_rows(chooseTimers(timers, m_ownTimers)) {
    m_state.m_strExeDir = std::move(programDir);
    m_state.g_curItem = 0; // the placeholder row
    m_record = std::make_unique<record::ProductionRecord>(m_state.m_strExeDir);
    m_link->setHooks(this);
    connect(&m_rows, &DeviceRows::rowFinishedByTimer, this, [this](int, int timerId) {
        m_record->TimerFinished(m_timerAttempts.take(timerId));
        m_op.PlaySound(136);
    });
    // Told once; the boards go on whether the record can be written or not.
    connect(m_record.get(), &record::ProductionRecord::failed, this, [this](const QString& text) {
        m_log.WriteLog(text);
        m_op.ShowNotice(text);
    });
    // The line's absence is shown once; boards wait locally for it.
    connect(m_record.get(), &record::ProductionRecord::lineChanged, this,
            [this](bool reachable, const QString& text) {
                m_log.WriteLog(text);
                if (!reachable)
                    m_op.ShowNotice(text);
            });
}

Station::~Station() {
    m_link->setHooks(nullptr);
    m_link->stop();
}

QString Station::sysfilePath() const {
    return m_state.m_strExeDir + QStringLiteral("sysfile");
}

void Station::writeSettings(const SettingsRecord& record) {
    // The burn goes on without it, but the operator must know the record is old.
    if (!record.Write(sysfilePath()))
        m_log.WriteLog(QStringLiteral("%1写入失败").arg(sysfilePath()));
}

void Station::RestoreSettings() {
    SettingsRecord::ReadStatus status = SettingsRecord::ReadStatus::Missing;
    const SettingsRecord record = SettingsRecord::Read(sysfilePath(), &status);
    if (status == SettingsRecord::ReadStatus::SizeUnknown)
        m_log.WriteLog(QStringLiteral("文件为空!\n"));
    else if (status == SettingsRecord::ReadStatus::Unreadable)
        m_log.WriteLog(QStringLiteral("%1读取失败").arg(sysfilePath()));

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

void Station::setControls(const std::function<void(ControlState&)>& change) {
    ControlState next = m_controls;
    change(next);
    if (next == m_controls)
        return;
    m_controls = next;
    m_op.SetControlState(m_controls);
}

StartOutcome Station::StartService(const ControlValues& controls) {
    exchangeFromControls(controls);
    m_state.m_byFlags = 0;

    setControls([](ControlState& c) {
        c.serviceChecked = true;
        c.serviceCaption = QStringLiteral("停止");
    });
    m_state.g_processing = 0;
    m_state.g_nexttime = 0;
    SettingsRecord record;

    const auto fail = [this](const QString& message) {
        setControls([](ControlState& c) {
            c.serviceChecked = false;
            c.serviceCaption = QStringLiteral("启动");
        });
        return StartOutcome{false, message};
    };

    if (m_state.m_bUpdateMAC)
        m_state.m_byFlags |= kSelectMac;
    if (m_state.m_bUpdateUboot) {
        m_state.m_byFlags |= kSelectBootLoader;
        if (m_state.m_strUbootPath.isEmpty())
            return fail(QStringLiteral("UBOOT为空"));
        record.setBootLoaderPath(m_state.m_strUbootPath);
    }
    if (m_state.m_bRestoreCfg) {
        m_state.m_byFlags |= kSelectConfig;
        if (m_state.m_strCfgPath.isEmpty())
            return fail(QStringLiteral("恢复出厂设置配置文件为空"));
        record.setConfigPath(m_state.m_strCfgPath);
    }
    if (m_state.m_bUpdateRoot) {
        m_state.m_byFlags |= kSelectRoot;
        if (m_state.m_strRootPath.isEmpty())
            return fail(QStringLiteral("root_Uimage为空"));
        record.setRootPath(m_state.m_strRootPath);
    }
    if (m_state.m_byFlags == 0)
        return fail(QStringLiteral("选项不能为空"));
    record.setWpaByte(m_state.m_bHasWpaKey ? '1' : '0');

    dropOperatorWaits();
    // The server logs its own start lines, "服务器启动失败" among them.
    const bool listening = m_link->start(m_port, m_state.m_bUpdateMAC);
    m_everStarted = true;
    setControls([](ControlState& c) { c.optionsEnabled = false; });
    record.setFlags(m_state.m_byFlags);
    writeSettings(record);

    if (!listening) {
        // Left pressed, the button would claim a service that answers no one.
        m_link->stop();
        setControls([](ControlState& c) {
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
    setControls([](ControlState& c) { c.serviceChecked = false; });
    if (!m_everStarted)
        return;
    dropOperatorWaits();
    m_link->stop();
    m_record->Stopped();
    setControls([](ControlState& c) { c.serviceCaption = QStringLiteral("启动"); });
    m_log.WriteLog(QStringLiteral("强制关闭服务"));
    setControls([](ControlState& c) { c.optionsEnabled = true; });
}

void Station::dropOperatorWaits() {
    m_handOver.clear();
    m_routerRows.clear();
    m_reburnConfirmed.clear();
    m_reburnRefused.clear();
    if (m_ask) {
        const std::uint64_t id = m_ask->id;
        m_ask.reset();
        m_op.CancelMacRequest(id);
    }
    if (m_reburn) {
        const std::uint64_t id = m_reburn->id;
        m_reburn.reset();
        m_op.CancelReburn(id);
    }
    // Messages stay on screen for the operator; only what waited on them goes.
    m_transferMessages.clear();
    m_afterAcks.clear();
    while (m_heldPauses > 0) {
        --m_heldPauses;
        m_link->resume();
    }
}

void Station::holdServer() {
    ++m_heldPauses;
    m_link->pause();
}

void Station::releaseServer() {
    if (m_heldPauses <= 0)
        return;
    --m_heldPauses;
    m_link->resume();
}

void Station::showMessage(const QString& text, bool fromTransfer) {
    const std::uint64_t id = m_nextId++;
    if (fromTransfer) {
        m_transferMessages.insert(id);
        holdServer();
    }
    m_op.ShowMessage(id, text);
}

void Station::OnMessageAcknowledged(std::uint64_t messageId) {
    if (m_transferMessages.erase(messageId) == 0)
        return;
    if (m_transferMessages.empty()) {
        auto pending = std::move(m_afterAcks);
        m_afterAcks.clear();
        for (auto& next : pending)
            next();
    }
    releaseServer();
}

void Station::afterAcknowledgements(std::function<void()> next) {
    if (m_transferMessages.empty())
        next();
    else
        m_afterAcks.push_back(std::move(next));
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
        showMessage(QStringLiteral("%1不是工作站自己的文件夹,不清空").arg(m_state.m_strExeDir),
                    false);
        return;
    }
    quorvane::ClearGeneratedFiles(m_state.m_strExeDir, false);
}

void Station::Shutdown() {
    m_record->ShutDown();
    m_log.WriteEndLine();
    if (!WriteRunFile(m_state.m_strExeDir, {}))
        m_log.WriteLog(
            QStringLiteral("%1写入失败").arg(m_state.m_strExeDir + QStringLiteral("log/")));
}

bool Station::isServerListening() const {
    return m_link->isRunning();
}

std::uint16_t Station::serverPort() const {
    return m_link->port();
}

} // namespace quorvane
