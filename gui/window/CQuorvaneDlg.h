#pragma once

#include "core/workflow/OperatorInterface.h"
#include "gui/widgets/CDlgMac.h"
#include "gui/window/FilePickers.h"

#include <QDialog>
#include <QHash>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QActionGroup;
class QMenuBar;
class QMessageBox;
class QPushButton;
class QWindow;
class CSearchEdit;
class CShowLogDlg;

namespace ListCtrlEx {
class CListCtrlEx;
}

namespace quorvane {
class RowTimerService;
class SoundPlayer;
class Station;
class StationLog;
namespace record {
class ProductionRecord;
}
namespace window {
class DeviceListView;
}
} // namespace quorvane

// The station's window: a thin view over the station. Controls and their
// identifiers follow the station's long-standing dialog; every command goes
// to the station, and the station answers through the operator interface.
class CQuorvaneDlg : public QDialog, public quorvane::OperatorInterface {
    Q_OBJECT
public:
    using SoundSink = std::function<void(int id)>;
    // Stand-ins for tests; anything left empty is the real thing.
    struct Services {
        quorvane::StationLog* log = nullptr;         // own log under the working directory
        quorvane::RowTimerService* timers = nullptr; // Qt timers
        SoundSink playSound;                         // the program's two sounds
        quorvane::window::FilePicker pickFile;       // the file-open dialog
    };

    static constexpr std::uint16_t kDefaultPort = 69;
    static constexpr int kShowLogCommand = 34563456;
    static constexpr int kAboutCommand = 16;
    static constexpr int kClearFilesCommand = 32782;
    static constexpr int kShiftSummaryId = 1040; // the shift's line under the device list

    // programDir empty: the executable's folder.
    explicit CQuorvaneDlg(const QString& programDir = {}, std::uint16_t port = kDefaultPort,
                          QWidget* parent = nullptr);
    CQuorvaneDlg(const QString& programDir, std::uint16_t port, Services services,
                 QWidget* parent = nullptr);
    ~CQuorvaneDlg() override;

    quorvane::Station& station() { return *m_station; }
    // One row per board attempt in "production.db" in the station folder.
    quorvane::record::ProductionRecord& record() { return *m_record; }
    QWidget* control(int id) const { return m_controls.value(id); }
    QWidget* clientArea() const { return m_client; }
    QMenuBar* menuBar() const { return m_menuBar; }
    QAction* menuCommand(int command) const { return m_commands.value(command); }
    ListCtrlEx::CListCtrlEx* deviceList() const { return m_listDevices; }
    CSearchEdit* scanField() const { return m_editScan; }
    CShowLogDlg* logWindow() const { return m_pLogDlg; }
    CDlgMac* macDialog() const { return m_macDialog; }
    QLabel* shiftSummary() const { return m_shiftSummary; }

    // The window's commands, as its controls and menus issue them.
    void OnServiceClicked(bool pressedIn); // 1031
    void OnPick(int button);               // 1008, 1009, 1010
    void OnModel(int command);             // the "路由器型号" items
    void OnShowLog();
    void OnAbout();
    void OnScanEntered();   // Enter released in the scan field
    void OnDefaultButton(); // 1024

    void done(int result) override;

    // The station's side of the operator.
    void AskForMac(std::uint64_t id) override;
    void CancelMacRequest(std::uint64_t id) override;
    void AskReburn(std::uint64_t id, const QString& text) override;
    void CancelReburn(std::uint64_t id) override;
    void ShowMessage(std::uint64_t id, const QString& text) override;
    void ShowNotice(const QString& text) override;
    void PlaySound(int id) override;
    void SetTitle(const QString& title) override;
    void SetControlState(const quorvane::ControlState& state) override;
    void SetSerialText(const QString& text) override;
    void SetScanText(const QString& text) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void InitDialog();
    void ApplyResizeRules();
    void ExchangeToControls();
    quorvane::ControlValues ExchangeFromControls() const;
    void ApplyControlState(const quorvane::ControlState& state, bool force);
    QMessageBox* OpenMessageBox(const QString& text);
    void ShowQuestion(QDialog* dialog, std::function<QWidget*()> inFront);
    void LockMenusWhileAsking();
    // A record's notice: it never keeps the keyboard from a question.
    bool isNotice(const QWindow* window) const;
    void Shutdown();

    Services m_services;
    std::unique_ptr<quorvane::StationLog> m_ownLog;
    quorvane::StationLog* m_log = nullptr;
    quorvane::SoundPlayer* m_sounds = nullptr;
    std::unique_ptr<quorvane::record::ProductionRecord> m_record;
    std::unique_ptr<quorvane::Station> m_station;

    QMenuBar* m_menuBar = nullptr;
    QWidget* m_client = nullptr;
    QHash<int, QWidget*> m_controls;
    QHash<int, QAction*> m_commands;
    QActionGroup* m_models = nullptr;
    QPushButton* m_btnService = nullptr;
    QPushButton* m_btnDefault = nullptr;
    CSearchEdit* m_editScan = nullptr;
    ListCtrlEx::CListCtrlEx* m_listDevices = nullptr;
    quorvane::window::DeviceListView* m_deviceView = nullptr;
    CShowLogDlg* m_pLogDlg = nullptr;

    QPointer<CDlgMac> m_macDialog;
    std::uint64_t m_macAskId = 0;
    QLabel* m_shiftSummary = nullptr; // under the device list
    QPointer<QMessageBox> m_reburnBox;
    std::uint64_t m_reburnId = 0;
    quorvane::ControlState m_shownControls;
    bool m_bPlaced = false;
    bool m_bShutDown = false;
};
