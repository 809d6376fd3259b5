#include "gui/window/CQuorvaneDlg.h"

#include "core/log/StationLog.h"
#include "core/record/ProductionRecord.h"
#include "core/workflow/Models.h"
#include "core/workflow/Station.h"
#include "gui/listctrlex/CListCtrlEx.h"
#include "gui/widgets/CAboutDlg.h"
#include "gui/widgets/CDlgMac.h"
#include "gui/widgets/CSearchEdit.h"
#include "gui/widgets/CShowLogDlg.h"
#include "gui/widgets/SoundPlayer.h"
#include "gui/widgets/StationFonts.h"
#include "gui/widgets/StationIcons.h"
#include "gui/window/DeviceListView.h"
#include "gui/window/DialogLayout.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QWindow>

using namespace quorvane;
using namespace quorvane::window;

namespace {

const QColor kBackground(241, 251, 248); // 0xF8FBF1 as the window has always stored it
const QString kMessageTitle = QStringLiteral("Quorvane");
const QString kVendorPrefixText = QStringLiteral("5E3A71");
constexpr int kOptionControlsFirst = 1000;
constexpr int kOptionControlsLast = 1010;
constexpr int kBurnButton = 1016;
constexpr int kContinuousButton = 1017;

QString ProgramDirOf(const QString& given) {
    QString dir = given.isEmpty() ? QCoreApplication::applicationDirPath() : given;
    if (!dir.endsWith(QLatin1Char('/')) && !dir.endsWith(QLatin1Char('\\')))
        dir += QLatin1Char('/');
    return dir;
}

QPushButton* MakeButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    // Enter belongs to the hidden default button, whatever has the focus.
    button->setAutoDefault(false);
    return button;
}

} // namespace

CQuorvaneDlg::CQuorvaneDlg(const QString& programDir, std::uint16_t port, QWidget* parent)
    : CQuorvaneDlg(programDir, port, Services{}, parent) {}

CQuorvaneDlg::CQuorvaneDlg(const QString& programDir, std::uint16_t port, Services services,
                           QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QStringLiteral("Quorvane"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    setFont(SongTiPixelFont(16));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    if (m_services.log) {
        m_log = m_services.log;
    } else {
        m_ownLog = std::make_unique<StationLog>(QDir::currentPath());
        m_log = m_ownLog.get();
    }
    // A log that cannot be written loses every line: the operator must know.
    connect(m_log, &StationLog::writeFailed, this, [this](const QString& path) {
        OpenMessageBox(QStringLiteral("%1写入失败").arg(path));
    });
    if (!m_services.playSound) {
        m_sounds = new SoundPlayer(this);
        m_services.playSound = [this](int id) { m_sounds->Play(id); };
    }
    if (!m_services.pickFile)
        m_services.pickFile = PickExistingFile;

    m_menuBar = new QMenuBar(this);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->installEventFilter(this);
    CreateControls();
    CreateMenus();

    const QString folder = ProgramDirOf(programDir);
    m_record = std::make_unique<record::ProductionRecord>(folder);
    m_station =
        std::make_unique<Station>(*m_log, folder, port, *this, *m_record, m_services.timers);
    // The shift at a glance: written, failed, pace, the last board's time.
    m_shiftSummary = new QLabel(m_client);
    m_shiftSummary->setObjectName(QString::number(kShiftSummaryId));
    const auto showSummary = [this] {
        m_shiftSummary->setText(record::SummaryLine(m_record->ShiftSummary()));
    };
    connect(m_record.get(), &record::ProductionRecord::committed, m_shiftSummary, showSummary);
    showSummary();
    InitDialog();

    const QSize client = TemplateToPixels(kClientDlu);
    resize(client.width(), client.height() + m_menuBar->sizeHint().height());
}

CQuorvaneDlg::~CQuorvaneDlg() {
    Shutdown();
    if (m_macDialog)
        m_macDialog->cancelSilently();
    // The station goes first: nothing may reach the operator half taken down.
    delete m_deviceView;
    m_deviceView = nullptr;
    m_station.reset();
    // Its last rows reach the file and the line before the window goes.
    m_record.reset();
}

void CQuorvaneDlg::CreateControls() {
    for (const ControlTemplate& t : MainWindowControls()) {
        const QString text = QString::fromUtf8(t.text);
        QWidget* w = nullptr;
        switch (t.kind) {
        case ControlKind::CheckBox:
            w = new QCheckBox(text, m_client);
            break;
        case ControlKind::Label:
            w = new QLabel(text, m_client);
            break;
        case ControlKind::Edit:
            w = new QLineEdit(text, m_client);
            break;
        case ControlKind::Button:
            w = MakeButton(text, m_client);
            break;
        case ControlKind::ToggleButton: {
            QPushButton* button = MakeButton(text, m_client);
            button->setCheckable(true);
            w = button;
            break;
        }
        case ControlKind::DefaultButton:
            m_btnDefault = MakeButton(text, m_client);
            m_btnDefault->setDefault(true);
            w = m_btnDefault;
            break;
        case ControlKind::List:
            if (t.id == 1030) {
                m_listDevices = new ListCtrlEx::CListCtrlEx(m_client);
                m_listDevices->SetControlId(1030);
                w = m_listDevices;
            } else {
                w = new QTreeWidget(m_client);
            }
            break;
        case ControlKind::ScanEdit:
            m_editScan = new CSearchEdit(m_client);
            m_editScan->setControlId(t.id);
            w = m_editScan;
            break;
        }
        w->setObjectName(QString::number(t.id));
        w->setGeometry(TemplateToPixels(t.dlu));
        w->setEnabled(t.enabled);
        w->setVisible(t.shown);
        m_controls.insert(t.id, w);
    }
    m_btnService = qobject_cast<QPushButton*>(m_controls.value(1031));

    connect(m_btnService, &QPushButton::clicked, this, &CQuorvaneDlg::OnServiceClicked);
    for (int button : {1008, 1009, 1010}) {
        connect(qobject_cast<QPushButton*>(control(button)), &QPushButton::clicked, this,
                [this, button] { OnPick(button); });
    }
    connect(qobject_cast<QPushButton*>(control(kBurnButton)), &QPushButton::clicked, this,
            [this] { m_station->SingleBurn(); });
    connect(qobject_cast<QPushButton*>(control(kContinuousButton)), &QPushButton::clicked, this,
            [this](bool checked) { m_station->ContinuousBurn(checked, ExchangeFromControls()); });
    connect(m_btnDefault, &QPushButton::clicked, this, &CQuorvaneDlg::OnDefaultButton);
    connect(m_editScan, &CSearchEdit::scanEntered, this, &CQuorvaneDlg::OnScanEntered);
    connect(m_editScan, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_station->SetScanText(text); });

    // The station reads the path edits at each command, as the operator left them.
    const auto bindPath = [this](int id, QString StationState::*field) {
        connect(qobject_cast<QLineEdit*>(control(id)), &QLineEdit::textChanged, this,
                [this, field](const QString& text) { m_station->state().*field = text; });
    };
    bindPath(1005, &StationState::m_strUbootPath);
    bindPath(1006, &StationState::m_strRootPath);
    bindPath(1007, &StationState::m_strCfgPath);
}

void CQuorvaneDlg::CreateMenus() {
    QMenu* models = m_menuBar->addMenu(QStringLiteral("路由器型号"));
    m_models = new QActionGroup(this);
    m_models->setExclusive(true);
    for (const RouterModel& model : kRouterModels) {
        QAction* action = models->addAction(QString::fromUtf8(model.menuText));
        action->setCheckable(true);
        action->setData(model.command);
        action->setObjectName(QString::number(model.command));
        m_models->addAction(action);
        m_commands.insert(model.command, action);
        const int command = model.command;
        connect(action, &QAction::triggered, this, [this, command] { OnModel(command); });
    }

    // No system menu to extend here: its two entries join the tools.
    QMenu* tools = m_menuBar->addMenu(QStringLiteral("工具"));
    QAction* clear = tools->addAction(QStringLiteral("清空生成的拉圾文件"));
    connect(clear, &QAction::triggered, this, [this] { m_station->ClearGeneratedFiles(); });
    tools->addSeparator();
    QAction* showLog = tools->addAction(QStringLiteral("显示日志"));
    connect(showLog, &QAction::triggered, this, &CQuorvaneDlg::OnShowLog);
    QAction* about = tools->addAction(QStringLiteral("关于 Quorvane(&A)..."));
    connect(about, &QAction::triggered, this, &CQuorvaneDlg::OnAbout);
    for (auto [command, action] :
         {std::pair{kClearFilesCommand, clear}, std::pair{kShowLogCommand, showLog},
          std::pair{kAboutCommand, about}}) {
        action->setObjectName(QString::number(command));
        m_commands.insert(command, action);
    }
}

void CQuorvaneDlg::InitDialog() {
    const QIcon icon = StationIcon(128);
    setWindowIcon(icon);

    SetUpDeviceList(*m_listDevices);
    m_deviceView = new DeviceListView(m_station->rows(), *m_listDevices, this);
    m_editScan->setMaxLength(12);

    m_commands.value(32775)->setChecked(true);

    auto* runList = qobject_cast<QTreeWidget*>(control(1011));
    runList->setColumnCount(1);
    runList->setHeaderLabels({QString()});
    runList->setRootIsDecorated(false);
    runList->setIconSize(QSize(21, 21));
    runList->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    QPalette runPalette = runList->palette();
    runPalette.setColor(QPalette::Base, kBackground);
    runList->setPalette(runPalette);

    m_station->RestoreSettings();
    qobject_cast<QLabel*>(control(1026))->setText(kVendorPrefixText);
    qobject_cast<QLineEdit*>(control(1004))->setMaxLength(5);
    ExchangeToControls();
    m_log->WriteStartLine();

    // Created after the start line, which it therefore never shows.
    m_pLogDlg = new CShowLogDlg(this);
    connect(m_log, &StationLog::lineLogged, m_pLogDlg, &CShowLogDlg::AppendLine);
    m_shownControls = m_station->controlState();
    ApplyControlState(m_shownControls, true);
}

void CQuorvaneDlg::ExchangeToControls() {
    const StationState& s = m_station->state();
    const auto check = [this](int id, bool on) {
        qobject_cast<QCheckBox*>(control(id))->setChecked(on);
    };
    check(1000, s.m_bUpdateMAC);
    check(1001, s.m_bUpdateUboot);
    check(1002, s.m_bUpdateRoot);
    check(1003, s.m_bRestoreCfg);
    qobject_cast<QLineEdit*>(control(1004))->setText(s.m_strMac);
    if (s.m_bUpdateUboot)
        qobject_cast<QLineEdit*>(control(1005))->setText(s.m_strUbootPath);
    if (s.m_bUpdateRoot)
        qobject_cast<QLineEdit*>(control(1006))->setText(s.m_strRootPath);
    if (s.m_bRestoreCfg)
        qobject_cast<QLineEdit*>(control(1007))->setText(s.m_strCfgPath);
}

ControlValues CQuorvaneDlg::ExchangeFromControls() const {
    const auto checked = [this](int id) {
        return qobject_cast<QCheckBox*>(control(id))->isChecked();
    };
    ControlValues values;
    values.updateMac = checked(1000);
    values.updateUboot = checked(1001);
    values.restoreCfg = checked(1003);
    values.updateRoot = checked(1002);
    values.serialText = qobject_cast<QLineEdit*>(control(1004))->text();
    return values;
}

void CQuorvaneDlg::OnServiceClicked(bool pressedIn) {
    if (!pressedIn) {
        m_station->StopService(ExchangeFromControls());
        return;
    }
    const StartOutcome outcome = m_station->StartService(ExchangeFromControls());
    if (!outcome.started)
        OpenMessageBox(outcome.message);
}

void CQuorvaneDlg::OnPick(int button) {
    const PickerTemplate* picker = PickerFor(button);
    if (!picker)
        return;
    const QString path =
        m_services.pickFile(this, PickerStartFolder(m_station->state().m_strExeDir),
                            QString::fromUtf8(picker->filters));
    if (!path.isEmpty())
        qobject_cast<QLineEdit*>(control(picker->targetEdit))->setText(path);
}

void CQuorvaneDlg::OnModel(int command) {
    const std::optional<int> code = ModelCodeForCommand(command);
    if (!code)
        return;
    m_station->SelectModel(*code);
    if (QAction* action = m_commands.value(command))
        action->setChecked(true);
}

void CQuorvaneDlg::OnShowLog() {
    m_pLogDlg->ShowOrActivate();
}

void CQuorvaneDlg::OnAbout() {
    auto* about = new CAboutDlg(this, m_station->state().m_strExeDir);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}

void CQuorvaneDlg::OnScanEntered() {
    m_station->OnScanEntered(m_editScan->text());
}

void CQuorvaneDlg::OnDefaultButton() {
    // Enter lands here so that it never presses anything else; a scan is
    // acted upon at the key's release, in the scan field.
}

void CQuorvaneDlg::done(int result) {
    Shutdown();
    QDialog::done(result);
}

void CQuorvaneDlg::Shutdown() {
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    m_station->Shutdown();
}

QMessageBox* CQuorvaneDlg::OpenMessageBox(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, kMessageTitle, text, QMessageBox::Ok, this);
    connect(box, &QDialog::finished, box, &QObject::deleteLater);
    // Window-modal and non-blocking: the station's loop keeps running.
    box->open();
    return box;
}

void CQuorvaneDlg::AskForMac(std::uint64_t id) {
    if (m_macDialog) {
        m_macDialog->cancelSilently();
        m_macDialog->deleteLater();
    }
    auto* dialog = new CDlgMac(this);
    m_macDialog = dialog;
    m_macAskId = id;
    connect(dialog, &QDialog::finished, this, [this, dialog, id](int result) {
        std::optional<QString> label;
        if (result == QDialog::Accepted)
            label = dialog->text();
        if (m_macDialog == dialog)
            m_macDialog = nullptr;
        LockMenusWhileAsking();
        dialog->deleteLater();
        m_station->OnMacAnswer(id, label);
    });
    ShowQuestion(dialog, [dialog]() -> QWidget* { return dialog->warning(); });
}

// Modeless: Stop (1031) must take real clicks while a board waits for the
// operator. The menus that would change the board wait with it, and the
// keyboard goes back to the question, where the scanner types.
void CQuorvaneDlg::ShowQuestion(QDialog* dialog, std::function<QWidget*()> inFront) {
    LockMenusWhileAsking();
    connect(qApp, &QGuiApplication::focusWindowChanged, dialog,
            [this, dialog, inFront](QWindow* focus) {
                if (focus && (focus == windowHandle() || isNotice(focus)) && dialog->isVisible()) {
                    QWidget* front = inFront ? inFront() : nullptr;
                    (front ? front : dialog)->activateWindow();
                }
            });
    dialog->show();
    dialog->activateWindow();
}

// A model chosen or files cleared now would change what the waiting board
// gets; the log and the About box change nothing.
void CQuorvaneDlg::LockMenusWhileAsking() {
    const bool free = !m_macDialog && !m_reburnBox;
    m_menuBar->actions().first()->setEnabled(free); // the models
    m_commands.value(kClearFilesCommand)->setEnabled(free);
}

void CQuorvaneDlg::CancelMacRequest(std::uint64_t id) {
    if (!m_macDialog || m_macAskId != id)
        return;
    CDlgMac* dialog = m_macDialog;
    m_macDialog = nullptr;
    LockMenusWhileAsking();
    dialog->cancelSilently();
    dialog->deleteLater();
}

void CQuorvaneDlg::AskReburn(std::uint64_t id, const QString& text) {
    CancelReburn(m_reburnId);
    auto* box = new QMessageBox(QMessageBox::Question, kMessageTitle, text,
                                QMessageBox::Yes | QMessageBox::No, this);
    // A stray Enter from the scanner must not burn a label a second time.
    box->setDefaultButton(QMessageBox::No);
    box->setWindowModality(Qt::NonModal);
    m_reburnBox = box;
    m_reburnId = id;
    connect(box, &QDialog::finished, this, [this, box, id](int result) {
        box->deleteLater();
        if (m_reburnBox != box)
            return; // withdrawn
        m_reburnBox = nullptr;
        LockMenusWhileAsking();
        m_station->OnReburnAnswer(id, result == QMessageBox::Yes);
    });
    ShowQuestion(box, {});
}

void CQuorvaneDlg::CancelReburn(std::uint64_t id) {
    if (!m_reburnBox || m_reburnId != id)
        return;
    QMessageBox* box = m_reburnBox;
    m_reburnBox = nullptr;
    LockMenusWhileAsking();
    box->reject();
}

void CQuorvaneDlg::ShowMessage(std::uint64_t id, const QString& text) {
    QMessageBox* box = OpenMessageBox(text);
    connect(box, &QDialog::finished, this, [this, id] { m_station->OnMessageAcknowledged(id); });
}

bool CQuorvaneDlg::isNotice(const QWindow* window) const {
    const auto notices = findChildren<QMessageBox*>(QStringLiteral("notice"));
    return std::any_of(notices.begin(), notices.end(),
                       [window](QMessageBox* box) { return box->windowHandle() == window; });
}

void CQuorvaneDlg::ShowNotice(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, kMessageTitle, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("notice"));
    connect(box, &QDialog::finished, box, &QObject::deleteLater);
    // Modeless: the record's trouble must never keep the operator from Stop;
    // and the keyboard stays where the scanner types.
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->show();
}

void CQuorvaneDlg::PlaySound(int id) {
    m_services.playSound(id);
}

void CQuorvaneDlg::SetTitle(const QString& title) {
    // Given an empty title, the platform shows the application's name instead
    // ("Quorvane"), which the operator would take for a title of this model.
    // A blank one shows that none exists.
    setWindowTitle(title.isEmpty() ? QStringLiteral(" ") : title);
}

void CQuorvaneDlg::SetControlState(const ControlState& state) {
    ApplyControlState(state, false);
}

void CQuorvaneDlg::ApplyControlState(const ControlState& state, bool force) {
    {
        const QSignalBlocker blocker(m_btnService);
        m_btnService->setChecked(state.serviceChecked);
        m_btnService->setText(state.serviceCaption);
    }
    // The template leaves the serial field disabled: only a change of the
    // lock touches the option controls.
    if (force ? !state.optionsEnabled : state.optionsEnabled != m_shownControls.optionsEnabled) {
        for (int id = kOptionControlsFirst; id <= kOptionControlsLast; ++id) {
            if (QWidget* w = control(id))
                w->setEnabled(state.optionsEnabled);
        }
        control(kBurnButton)->setEnabled(state.optionsEnabled);
    }
    auto* burn = qobject_cast<QPushButton*>(control(kBurnButton));
    const QSignalBlocker burnBlocker(burn);
    burn->setChecked(state.burnChecked);
    auto* continuous = qobject_cast<QPushButton*>(control(kContinuousButton));
    const QSignalBlocker continuousBlocker(continuous);
    continuous->setChecked(state.continuousChecked);
    continuous->setText(state.continuousCaption);

    // A scan while boards are being served would rebuild a package under a
    // running transfer: the field takes scans only while the service is stopped.
    m_editScan->setVisible(state.scanVisible);
    m_editScan->setEnabled(state.scanEnabled && !state.serviceChecked);
    control(1025)->setVisible(state.scanLabelVisible);
    m_shownControls = state;
}

void CQuorvaneDlg::SetSerialText(const QString& text) {
    qobject_cast<QLineEdit*>(control(1004))->setText(text);
}

void CQuorvaneDlg::SetScanText(const QString& text) {
    m_editScan->setText(text);
}

void CQuorvaneDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_btnDefault->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CQuorvaneDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int menuHeight = m_menuBar->sizeHint().height();
    m_menuBar->setGeometry(0, 0, width(), menuHeight);
    m_client->setGeometry(0, menuHeight, width(), std::max(0, height() - menuHeight));
}

void CQuorvaneDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_bPlaced) {
        // The log window goes to its corner of this window's frame once, when
        // it is first shown: only then are both frames known.
        m_bPlaced = true;
        m_pLogDlg->PlaceBy(this);
    }
}

bool CQuorvaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize)
        ApplyResizeRules();
    return QDialog::eventFilter(watched, event);
}

void CQuorvaneDlg::ApplyResizeRules() {
    const QSize client = m_client->size();
    for (const ControlTemplate& t : MainWindowControls()) {
        QWidget* w = control(t.id);
        const QRect next = ResizedGeometry(t.id, w->geometry(), client);
        if (next != w->geometry())
            w->setGeometry(next);
    }
    const QRect list = m_listDevices->geometry();
    m_shiftSummary->setGeometry(list.left(), list.bottom() + 2, list.width(),
                                std::max(0, client.height() - list.bottom() - 2));
    m_shiftSummary->setVisible(!m_listDevices->isHidden());
    const int shared = SharedColumnWidth(m_listDevices->width());
    m_listDevices->SetColumnWidth(0, kNumColumnWidth);
    for (int column = 1; column <= 3; ++column)
        m_listDevices->SetColumnWidth(column, shared);
}
