// The station window over the core: settings in and out, locks, layout, the
// device list, whole boards with quorvane-router playing the router; and, run
// again under a real window manager (tests/gui/under-wm.sh), frames, titles
// and real clicks.

// Mouse events through the window system, which modality blocks as a real
// click is blocked (QWidget::click() and direct events are not).
#define QTEST_QPA_MOUSE_HANDLING
#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/workflow/DeviceRows.h"
#include "core/workflow/RowTimerService.h"
#include "core/workflow/Station.h"
#include "gui/listctrlex/CListCtrlEx.h"
#include "gui/widgets/CDlgMac.h"
#include "gui/widgets/CSearchEdit.h"
#include "gui/widgets/CShowLogDlg.h"
#include "gui/window/CQuorvaneApp.h"
#include "gui/window/CQuorvaneDlg.h"
#include "gui/window/DeviceListView.h"
#include "tests/gui/Columns.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

using namespace quorvane;

namespace {

constexpr int kWaitMs = 30000; // the router, or the window manager, on a loaded machine
const int kChecks[] = {1000, 1001, 1003, 1002}; // MAC, boot loader, configuration, root

// Row timers that never fire: no row moves on its own while a test looks.
struct StillTimers final : RowTimerService {
    void SetTimer(int, int) override {}
    void KillTimer(int) override {}
};

// A "sysfile" record: flags, then paths at 19 (boot loader), 275 (root), 531 (configuration).
QByteArray Record(int flags, const QMap<int, QByteArray>& texts = {}) {
    QByteArray r(789, '\0');
    r[0] = char(flags);
    for (auto it = texts.begin(); it != texts.end(); ++it)
        r.replace(it.key(), it->size(), *it);
    return r;
}

// A window on a temporary program folder and an ephemeral port, its row timers
// still, sounds and the file picker recorded instead of played and shown.
struct WindowRig {
    QTemporaryDir dir;
    std::unique_ptr<StationLog> log;
    StillTimers timers;
    QList<int> sounds;
    QString pickerAnswer;
    std::unique_ptr<CQuorvaneDlg> window;

    WindowRig() : log(std::make_unique<StationLog>(dir.path())) {}
    QString path(const QString& name) const { return dir.filePath(name); }
    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QByteArray readFile(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // MAC writing (0x01) and the root image chosen.
    CQuorvaneDlg& openWithRoot(int flags = 0x08) {
        writeFile(QStringLiteral("root.bin"), QByteArray(5000, 'R'));
        writeFile(QStringLiteral("sysfile"), Record(flags, {{275, path("root.bin").toUtf8()}}));
        return open();
    }
    CQuorvaneDlg& open(bool shown = true) {
        CQuorvaneDlg::Services services;
        services.log = log.get();
        services.timers = &timers;
        services.playSound = [this](int id) { sounds << id; };
        services.pickFile = [this](auto&&...) { return pickerAnswer; };
        window = std::make_unique<CQuorvaneDlg>(dir.path() + '/', 0, services);
        if (shown) {
            window->show();
            [&] { QVERIFY(QTest::qWaitForWindowExposed(window.get(), kWaitMs)); }();
        }
        return *window;
    }
    template <typename T = QWidget>
    T* control(int id) const {
        return qobject_cast<T*>(window->control(id));
    }
    QList<QMessageBox*> messageBoxes() const {
        QList<QMessageBox*> open = window->findChildren<QMessageBox*>();
        open.removeIf([](const QMessageBox* box) { return !box->isVisible(); });
        return open;
    }
    // The service started with a board asking for its label.
    QProcess* startBoard(const QStringList& extra) {
        openWithRoot(0x09);
        control<QPushButton>(1031)->click();
        auto* router = new QProcess(window.get());
        router->start(qEnvironmentVariable("QUORVANE_BIN_DIR") + "/quorvane-router",
                      QStringList{"--port", QString::number(window->station().serverPort()),
                                  "--crc", "1", "--quiet"} +
                          extra);
        const bool asked = QTest::qWaitFor(
            [this] { return window->macDialog() && window->macDialog()->isVisible(); }, kWaitMs);
        return asked ? router : nullptr;
    }
};

// A device row as "num|mac|status|progress", so that a failure shows it whole.
QString ListRow(ListCtrlEx::CListCtrlEx* list, int row) {
    return QStringLiteral("%1|%2|%3|%4")
        .arg(list->GetItemText(row, 0), list->GetItemText(row, 1), list->GetItemText(row, 3))
        .arg(list->GetCellProgress(row, 2));
}

bool UnderWindowManager() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

QString Xdotool(const QStringList& arguments) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    xdotool.waitForFinished();
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
}

// Under a window manager the X server clicks; elsewhere the window system does.
void Click(QWidget* widget, QPoint at) {
    if (!UnderWindowManager())
        return QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    at = widget->mapToGlobal(at);
    Xdotool(
        {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

// The frame as the window manager last reported it (QWidget's is updated
// only when the widget moves or resizes).
QRect Frame(const QWidget* w) {
    return w->windowHandle()->frameGeometry();
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    // Start refuses missing choices with a message and leaves "sysfile" alone;
    // otherwise it serves and writes the record, which the next start shows
    // again. Serving locks the options and the scan field; Stop unlocks them
    // all, and the next Start binds anew.
    void startChecks_data() {
        // checks: MAC, boot loader, configuration, root
        // paths: boot loader, root, configuration, as the pickers answer (empty: cancelled)
        // message: empty: the service starts and the record keeps flags and stored paths
        Columns<QString, QStringList, QString, int, QStringList>("checks", "paths", "message",
                                                                 "flags", "stored");
        const QStringList none{"", "", ""};
        const QStringList all{"/fw/u.bin", "/fw/r.bin", "/fw/a.cfg"};
        QTest::newRow("nothing chosen") << "0000" << none << "选项不能为空" << 0 << none;
        QTest::newRow("all four") << "1111" << all << "" << 0x0F << all;
        QTest::newRow("configuration only")
            << "0010" << all << "" << 0x04 << QStringList{"", "", "/fw/a.cfg"};
        QTest::newRow("boot loader kept, picker cancelled")
            << "0100" << none << "" << 0x02 << QStringList{"/old/u.bin", "", ""};
    }
    void startChecks() {
        QFETCH(QString, checks);
        QFETCH(QStringList, paths);
        QFETCH(QString, message);
        QFETCH(int, flags);
        QFETCH(QStringList, stored);
        WindowRig rig;
        QByteArray record = Record(0x02, {{19, "/old/u.bin"}}) + "previous";
        rig.writeFile(QStringLiteral("sysfile"), record);
        CQuorvaneDlg& w = rig.open();
        for (int i = 0; i < 4; ++i)
            rig.control<QCheckBox>(kChecks[i])->setChecked(checks[i] == '1');
        for (int i = 0; i < 3; ++i) { // each picker fills the path three ids before it
            rig.pickerAnswer = paths[i];
            rig.control<QPushButton>(1008 + i)->click();
        }
        const bool serves = message.isEmpty();
        for (bool running : serves ? QList<bool>{true, false, true} : QList<bool>{false}) {
            rig.control<QPushButton>(1031)->click();
            QCOMPARE(w.station().isServerListening(), running);
            // A refused start leaves them as the operator set them.
            for (int id : {1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1016})
                QVERIFY2(rig.control(id)->isEnabled() != running || !serves,
                         qPrintable(QString::number(id)));
            QVERIFY(w.scanField()->isEnabled() != running || !serves);
        }
        if (serves) {
            record = Record(
                flags,
                {{19, stored[0].toUtf8()}, {275, stored[1].toUtf8()}, {531, stored[2].toUtf8()}});
            record[787] = '0';
            rig.open(false);
            for (int i = 0; i < 4; ++i)
                QCOMPARE(rig.control<QCheckBox>(kChecks[i])->isChecked(), checks[i] == '1');
            for (int i = 0; i < 3; ++i)
                QCOMPARE(rig.control<QLineEdit>(1005 + i)->text(), stored[i]);
        } else {
            QTRY_COMPARE(rig.messageBoxes().size(), 1);
            QCOMPARE(rig.messageBoxes().first()->text(), message);
        }
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")), record);
    }

    void resizeRules_data() {
        // span: left, right, bottom past the last pixel; -1: kept
        Columns<QSize, int, QList<int>>("client", "id", "span");
        QTest::newRow("start/stop") << QSize(800, 400) << 1031 << QList<int>{640, 790, -1};
        QTest::newRow("device list") << QSize(1200, 400) << 1030 << QList<int>{5, 1190, 380};
        QTest::newRow("path squeezed") << QSize(200, 300) << 1006 << QList<int>{235, 235, -1};
    }
    void resizeRules() {
        QFETCH(QSize, client);
        QFETCH(int, id);
        QFETCH(QList<int>, span);
        WindowRig rig;
        CQuorvaneDlg& w = rig.open();
        const QRect before = rig.control(id)->geometry();
        w.resize(client + QSize(0, w.height() - w.clientArea()->height()));
        QTRY_COMPARE(w.clientArea()->size(), client);
        const QRect r = rig.control(id)->geometry();
        if (span[2] < 0)
            span[2] = before.bottom() + 1;
        QCOMPARE((QList<int>{r.left(), r.right() + 1, r.bottom() + 1}), span);
        QCOMPARE(r.top(), before.top());
    }

    // Fixed fault: the partial-visibility flag was ignored, every served row scrolled whole.
    void servedRowScrollsIntoView_data() {
        Columns<bool>("partialOk");
        QTest::newRow("after a read request: partly visible will do") << true;
        QTest::newRow("after an acknowledgement: wholly visible") << false;
    }
    void servedRowScrollsIntoView() {
        QFETCH(bool, partialOk);
        StillTimers timers;
        DeviceRows rows(timers);
        ListCtrlEx::CListCtrlEx list;
        window::SetUpDeviceList(list);
        window::DeviceListView view(rows, list);
        for (int i = 0; i < 6; ++i)
            rows.appendWaitingRow();
        list.resize(1000, 300); // no horizontal scroll bar
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        // Rows 0 to 3 whole, row 4 cut by the bottom edge.
        const int rowHeight = list.visualItemRect(list.topLevelItem(0)).height();
        list.resize(1000, list.height() - list.viewport()->height() + rowHeight * 9 / 2);
        QTRY_COMPARE(list.viewport()->height(), rowHeight * 9 / 2);
        emit rows.ensureVisible(4, partialOk);
        QCOMPARE(list.verticalScrollBar()->value() > 0, !partialOk);
    }

    // The field keeps twelve characters, and Enter builds the board's package
    // from them (a shorter scan is ignored: tst_Station's burn).
    void scanField() {
        WindowRig rig;
        CQuorvaneDlg& w = rig.openWithRoot();
        w.scanField()->setFocus();
        QTest::keyClicks(w.scanField(), QStringLiteral("5E3A711234589"));
        QTest::keyClick(w.scanField(), Qt::Key_Return);
        QCOMPARE(w.scanField()->text(), QStringLiteral("5E3A71123458"));
        QCOMPARE(rig.control<QLineEdit>(1004)->text(), QStringLiteral("12345"));
        QVERIFY(QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
    }

    // A whole board through the window, finished by its DONE (the row timer's
    // finish: tst_StationTransfer's outcome).
    void board() {
        WindowRig rig;
        QProcess* router = rig.startBoard({"--done"});
        QVERIFY(router);
        ListCtrlEx::CListCtrlEx* list = rig.window->deviceList();
        QCOMPARE(ListRow(list, 0), QStringLiteral("1|************|找到一个新设备，请扫描MAC码|1"));
        QTest::keyClicks(rig.window->macDialog()->entry(), QStringLiteral("5E3A71123458"));
        QTRY_COMPARE_WITH_TIMEOUT(router->state(), QProcess::NotRunning, kWaitMs);
        const QJsonObject outcome =
            QJsonDocument::fromJson(router->readAllStandardOutput()).object();
        QCOMPARE(outcome.value("mac").toString(), QStringLiteral("5E3A71123458"));
        QCOMPARE(outcome.value("check").toString(), QStringLiteral("ok"));
        QTRY_COMPARE(ListRow(list, 0), QStringLiteral("1|5E3A71123458|设备写入完成，可以移除|100"));
        QCOMPARE(rig.sounds, (QList<int>{135, 136}));
        QCOMPARE(ListRow(list, 1), QStringLiteral("2|请连接新设备...||0"));
        QTRY_VERIFY(
            rig.window->shiftSummary()->text().startsWith(QStringLiteral("已写 1 / 失败 0")));
    }

    // Fixed faults: the scan dialog, and a record's notice, were window-modal
    // and Stop took no real click. The menus that would change the board wait
    // with it; the keyboard goes back to the dialog.
    void stopWhileAsking_data() {
        QTest::addColumn<bool>("notice"); // the record cannot be used: it says so
        QTest::newRow("scan dialog") << false;
        QTest::newRow("scan dialog, record notice") << true;
    }
    void stopWhileAsking() {
        QFETCH(bool, notice);
        WindowRig rig;
        if (notice)
            QDir(rig.path({})).mkdir("production.db");
        QVERIFY(rig.startBoard({"--retries", "0", "--scan-wait-ms", "600000"}));
        CQuorvaneDlg& w = *rig.window;
        Click(w.menuBar(), w.menuBar()->actionGeometry(w.menuBar()->actions().first()).center());
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(!w.menuCommand(CQuorvaneDlg::kClearFilesCommand)->isEnabled());
        QVERIFY(w.menuCommand(CQuorvaneDlg::kShowLogCommand)->isEnabled());
        QTRY_COMPARE(rig.messageBoxes().size(),
                     notice ? 2 : 0); // it can be neither read nor written
        if (!notice) {
            QSignalSpy focusMoves(qGuiApp, &QGuiApplication::focusWindowChanged);
            w.activateWindow();
            QTRY_VERIFY(!focusMoves.isEmpty());
            QTRY_COMPARE(QGuiApplication::focusWindow(), w.macDialog()->windowHandle());
        }
        Click(rig.control(1031), rig.control(1031)->rect().center());
        QTRY_VERIFY(!w.station().isServerListening());
        QTRY_VERIFY(!w.macDialog());
        QVERIFY(w.menuBar()->actions().first()->isEnabled());
        QCOMPARE(rig.messageBoxes().size(), notice ? 2 : 0);
        // Nothing was built for the board the operator never scanned.
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")).mid(1, 18), QByteArray(18, '\0'));
    }

    // One station per PC: a second start brings the first forward, whatever
    // its title, and ends before it logs a start of its own.
    void secondStartBringsFirstForward() {
        QTemporaryDir folder;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(folder.path()); // where the log goes
        const QString socket = folder.filePath(QStringLiteral("Quorvne"));
        CQuorvaneApp first(socket, folder.path(), 0);
        QVERIFY(first.InitInstance());
        first.mainWindow()->setWindowTitle(QStringLiteral("Quorvane Cedar,WIFI不加密"));
        first.mainWindow()->showMinimized();
        CQuorvaneApp second(socket, folder.path(), 0);
        QVERIFY(!second.InitInstance() && !second.mainWindow());
        QTRY_VERIFY(first.mainWindow()->windowState() & Qt::WindowMaximized);
        QVERIFY(!first.mainWindow()->isMinimized());
        QFile log(folder.filePath(QStringLiteral("Log/log.txt")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(FromGbk(log.readAll()).count(QStringLiteral("开始时间")), 1);
        QDir::setCurrent(previous);
    }

    // Fixed fault: the log window was placed by a frame it did not have yet.
    // Its frame goes in the main frame's corner; shown again it stays where
    // the operator put it; it goes with the main window.
    void logWindowPlacement() {
        if (!UnderWindowManager())
            QSKIP("needs a window manager: tests/gui/under-wm.sh");
        WindowRig rig;
        CQuorvaneDlg& w = rig.open();
        QTRY_VERIFY_WITH_TIMEOUT(Frame(&w).size() != w.size(), kWaitMs);
        const QPointer<CShowLogDlg> log = w.logWindow();
        w.menuCommand(CQuorvaneDlg::kShowLogCommand)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(Frame(log).size() != log->size(), kWaitMs);
        QTRY_COMPARE(Frame(log).bottomRight(), Frame(&w).bottomRight() - QPoint(5, 5));
        log->move(log->pos() - QPoint(30, 20));
        const QPoint moved = log->pos();
        w.menuCommand(CQuorvaneDlg::kShowLogCommand)->trigger();
        QCOMPARE(log->pos(), moved);
        rig.window.reset();
        QVERIFY(log.isNull());
    }

    // Fixed fault: an empty title showed the application's name; it shows blank.
    void titleShown_data() {
        Columns<QString>("title");
        QTest::newRow("none for this model and key mode") << QString();
        QTest::newRow("model and key mode") << QStringLiteral("Quorvane Birch,WIFI不加密");
    }
    void titleShown() {
        QFETCH(QString, title);
        if (!UnderWindowManager())
            QSKIP("needs a window manager: tests/gui/under-wm.sh");
        WindowRig rig;
        rig.open().SetTitle(title);
        QTRY_COMPARE(Xdotool({"getwindowname", QString::number(rig.window->winId())}), title);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
