#include "WindowFixture.h"

#include "core/workflow/DeviceRows.h"
#include "core/workflow/Station.h"
#include "gui/listctrlex/CListCtrlEx.h"
#include "gui/widgets/CSearchEdit.h"
#include "gui/widgets/CShowLogDlg.h"
#include "gui/window/DeviceListView.h"

#include <algorithm>

#include <QAction>
#include <QCheckBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

// Check boxes 1000 (MAC), 1001 (boot loader), 1003 (configuration), 1002 (root)
// as a string of four '0'/'1', in the order of the flag bits.
QString CheckStates(const WindowRig& rig) {
    QString s;
    for (int id : {1000, 1001, 1003, 1002})
        s += rig.control<QCheckBox>(id)->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

void SetChecks(const WindowRig& rig, const QString& states) {
    const int ids[] = {1000, 1001, 1003, 1002};
    for (int i = 0; i < 4; ++i)
        rig.control<QCheckBox>(ids[i])->setChecked(states[i] == QLatin1Char('1'));
}

QString Slot(const QByteArray& record, int offset) {
    return QString::fromUtf8(record.mid(offset, 256).constData());
}

} // namespace

class TestQuorvaneDlg : public QObject {
    Q_OBJECT
private slots:
    void controls();
    void restoresSettings_data();
    void restoresSettings();
    void startValidation_data();
    void startValidation();
    void startLocksAndStopUnlocks();
    void menus();
    void modelsAndTitles_data();
    void modelsAndTitles();
    void resizeRules_data();
    void resizeRules();
    void servedRowScrollsIntoView_data();
    void servedRowScrollsIntoView();
    void logWindow();
    void pickers_data();
    void pickers();
    void continuousBurnControls();
    void scanField_data();
    void scanField();
    void enterPressesNothing();
    void closingWritesEndLineAndRunFile();
};

void TestQuorvaneDlg::controls() {
    WindowRig rig;
    CQuorvaneDlg& w = rig.openShown();
    QList<int> shown;
    for (QWidget* c : w.clientArea()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        bool isId = false;
        const int id = c->objectName().toInt(&isId);
        QVERIFY(isId);
        if (c->isVisible())
            shown << id;
        // Labels and check boxes draw on the window's own background.
        QCOMPARE(c->palette().color(QPalette::Window), QColor(0xF1, 0xFB, 0xF8));
    }
    std::sort(shown.begin(), shown.end());
    // The options the operator sets, the scan field, the device list with the
    // shift's line under it, and Start.
    QCOMPARE(shown, (QList<int>{1002, 1003, 1006, 1007, 1009, 1010, 1012, 1025, 1030, 1031, 1040}));
    QVERIFY(!rig.control<QWidget>(1004)->isEnabled());
    QCOMPARE(rig.control<QLabel>(1026)->text(), QStringLiteral("5E3A71"));
    QCOMPARE(rig.control<QAbstractButton>(1002)->text(), QStringLiteral("升级Root_uImage:"));
    QCOMPARE(rig.control<QAbstractButton>(1003)->text(), QStringLiteral("恢复出厂设置:"));
    QCOMPARE(rig.control<QLabel>(1025)->text(), QStringLiteral("扫描："));
    QCOMPARE(rig.control<QAbstractButton>(1031)->text(), QStringLiteral("启动"));
    QVERIFY(qobject_cast<CSearchEdit*>(w.scanField()));
    QCOMPARE(w.windowTitle(), QStringLiteral("Quorvane"));
    // The device list as the station sets it up.
    ListCtrlEx::CListCtrlEx* list = w.deviceList();
    QCOMPARE(list->GetColumnCount(), 4);
    const QStringList headings{"Num", "Mac", "进度", "状态"};
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(list->headerItem()->text(c), headings[c]);
        QCOMPARE(list->GetColumnAlignment(c), int(ListCtrlEx::AlignCentre));
        QCOMPARE(list->GetColumnKind(c),
                 c == 2 ? int(ListCtrlEx::KindProgress) : int(ListCtrlEx::KindText));
        QCOMPARE(list->GetColumnSortRule(c), c == 0 ? 1 : 0);
    }
    QVERIFY(list->GetShowProgressText());
    QCOMPARE(list->GetItemCount(), 1);
    QCOMPARE(list->GetItemText(0, 0), QStringLiteral("1"));
    QCOMPARE(list->GetItemText(0, 1), QStringLiteral("请连接新设备..."));
}

void TestQuorvaneDlg::restoresSettings_data() {
    QTest::addColumn<QByteArray>("file"); // empty: no "sysfile"
    QTest::addColumn<QString>("checks");  // MAC, boot loader, configuration, root
    QTest::addColumn<QString>("uboot");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("cfg");
    QTest::addColumn<QString>("serial");

    auto row = [](const char* name, const QByteArray& file, const char* checks, const char* uboot,
                  const QString& root, const char* cfg, const char* serial) {
        QTest::newRow(name) << file << QString(checks) << QString(uboot) << root << QString(cfg)
                            << QString(serial);
    };
    row("no file", {}, "0000", "", "", "", "");

    QByteArray bootAndRoot = Record(0x0A);
    PutText(bootAndRoot, 19, "/fw/uboot.bin");
    PutText(bootAndRoot, 275, "/fw/root.bin");
    PutText(bootAndRoot, 531, "/fw/ignored.cfg"); // bit 4 clear: not restored
    row("0x0A boot loader and root", bootAndRoot, "0101", "/fw/uboot.bin", "/fw/root.bin", "", "");

    QByteArray serial = Record(0x01);
    serial.replace(4, 3, QByteArray::fromHex("000128"));
    row("serial 00012", serial, "1000", "", "", "", "00012");

    QByteArray controlBytes = Record(0x05);
    controlBytes.replace(4, 3, QByteArray::fromHex("0D0A1A"));
    PutText(controlBytes, 531, "/fw/default.cfg");
    row("bytes 0D 0A 1A", controlBytes, "1010", "", "", "/fw/default.cfg", "0D0A1");

    QByteArray serialWithoutBit = Record(0x08);
    serialWithoutBit.replace(4, 3, QByteArray::fromHex("123458"));
    row("serial without MAC bit", serialWithoutBit, "0001", "", "", "", "");
}

void TestQuorvaneDlg::restoresSettings() {
    QFETCH(QByteArray, file);
    QFETCH(QString, checks);
    QFETCH(QString, uboot);
    QFETCH(QString, root);
    QFETCH(QString, cfg);
    QFETCH(QString, serial);
    WindowRig rig;
    if (!file.isEmpty())
        rig.writeFile(QStringLiteral("sysfile"), file);
    CQuorvaneDlg& w = rig.open();

    QCOMPARE(CheckStates(rig), checks);
    QCOMPARE(rig.control<QLineEdit>(1005)->text(), uboot);
    QCOMPARE(rig.control<QLineEdit>(1006)->text(), root);
    QCOMPARE(rig.control<QLineEdit>(1007)->text(), cfg);
    QCOMPARE(rig.control<QLineEdit>(1004)->text(), serial);
    const StationState& s = w.station().state();
    QCOMPARE(s.m_bUpdateMAC, checks[0] == QLatin1Char('1'));
    QCOMPARE(s.m_strMac, serial);
    // Reading never rewrites the file.
    if (!file.isEmpty())
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")), file);
    QVERIFY(rig.logText().contains(QStringLiteral("开始时间")));
}

void TestQuorvaneDlg::startValidation_data() {
    QTest::addColumn<QString>("checks"); // MAC, boot loader, configuration, root
    QTest::addColumn<QString>("uboot");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("cfg");
    QTest::addColumn<QString>("message"); // empty: the service starts
    QTest::addColumn<int>("flags");

    auto row = [](const char* name, const char* checks, const char* uboot, const char* root,
                  const char* cfg, const QString& message, int flags) {
        QTest::newRow(name) << QString(checks) << QString(uboot) << QString(root) << QString(cfg)
                            << message << flags;
    };
    row("nothing chosen", "0000", "", "", "", "选项不能为空", 0);
    row("boot loader and root empty", "0101", "", "", "", "UBOOT为空", 0);
    row("configuration empty", "0011", "", "/fw/root.bin", "", "恢复出厂设置配置文件为空", 0);
    row("root empty", "0011", "", "", "/fw/a.cfg", "root_Uimage为空", 0);
    row("all four", "1111", "/fw/u.bin", "/fw/root.bin", "/fw/a.cfg", "", 0x0F);
    row("MAC only", "1000", "", "", "", "", 0x01);
}

void TestQuorvaneDlg::startValidation() {
    QFETCH(QString, checks);
    QFETCH(QString, uboot);
    QFETCH(QString, root);
    QFETCH(QString, cfg);
    QFETCH(QString, message);
    QFETCH(int, flags);
    WindowRig rig;
    const QByteArray before = Record(0x02) + QByteArray("previous");
    rig.writeFile(QStringLiteral("sysfile"), before);
    CQuorvaneDlg& w = rig.openShown();
    SetChecks(rig, checks);
    rig.control<QLineEdit>(1005)->setText(uboot);
    rig.control<QLineEdit>(1006)->setText(root);
    rig.control<QLineEdit>(1007)->setText(cfg);

    auto* start = rig.control<QPushButton>(1031);
    start->click();

    if (!message.isEmpty()) {
        QTRY_COMPARE(rig.messageBoxes().size(), 1);
        QMessageBox* box = rig.messageBoxes().first();
        QCOMPARE(box->text(), message);
        QCOMPARE(box->parentWidget(), &w);
        QCOMPARE(start->text(), QStringLiteral("启动"));
        QVERIFY(!w.station().isServerListening());
        QCOMPARE(rig.readFile(QStringLiteral("sysfile")), before);
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(rig.messageBoxes().isEmpty());
        return;
    }

    QVERIFY(rig.messageBoxes().isEmpty());
    QVERIFY(w.station().isServerListening());
    const QByteArray record = rig.readFile(QStringLiteral("sysfile"));
    QCOMPARE(record.size(), 789);
    QCOMPARE(int(quint8(record[0])), flags);
    QCOMPARE(record.mid(1, 18), QByteArray(18, '\0'));
    QCOMPARE(Slot(record, 19), (flags & 0x02) ? uboot : QString());
    QCOMPARE(Slot(record, 275), (flags & 0x08) ? root : QString());
    QCOMPARE(Slot(record, 531), (flags & 0x04) ? cfg : QString());
    QCOMPARE(record[787], '0');
    QCOMPARE(record[788], '\0');
}

void TestQuorvaneDlg::startLocksAndStopUnlocks() {
    WindowRig rig;
    CQuorvaneDlg& w = rig.openShown();
    SetChecks(rig, QStringLiteral("0001"));
    rig.control<QLineEdit>(1006)->setText(QStringLiteral("/fw/root.bin"));
    auto* start = rig.control<QPushButton>(1031);
    const QList<int> locked{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1016};
    for (bool running : {true, false, true}) {
        start->click();
        QCOMPARE(start->text(), running ? QStringLiteral("停止") : QStringLiteral("启动"));
        QCOMPARE(w.station().isServerListening(), running); // binds anew after a stop
        for (int id : locked)
            QVERIFY2(rig.control<QWidget>(id)->isEnabled() != running,
                     qPrintable(QString::number(id)));
        QCOMPARE(w.scanField()->isEnabled(), !running);
        QVERIFY(w.scanField()->isVisible());
        QVERIFY(start->isEnabled());
    }
    QVERIFY(rig.logText().contains(QStringLiteral("强制关闭服务")));
}

void TestQuorvaneDlg::menus() {
    WindowRig rig;
    rig.writeFile(QStringLiteral("sysfile"), Record(0x08));
    rig.writeFile(QStringLiteral("root.bin"), "image");
    rig.writeFile(QStringLiteral("5E3A71123458"), "an old package");
    CQuorvaneDlg& w = rig.openShown();
    auto texts = [](QList<QAction*> actions) {
        QStringList t;
        for (QAction* a : actions) {
            if (!a->isSeparator())
                t << a->text();
        }
        return t;
    };
    const QList<QAction*> bar = w.menuBar()->actions();
    QCOMPARE(texts(bar), (QStringList{"路由器型号", "工具"}));
    QCOMPARE(texts(bar.at(0)->menu()->actions()),
             (QStringList{"Alder+", "Birch(Larch)", "Cedar", "Dogwood(Spruce)", "Elm", "Hornbeam",
                          "Juniper", "Maple"}));
    QCOMPARE(texts(bar.at(1)->menu()->actions()),
             (QStringList{"清空生成的拉圾文件", "显示日志", "关于 Quorvane(&A)..."}));

    w.menuCommand(CQuorvaneDlg::kClearFilesCommand)->trigger();
    QVERIFY(!QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
    QVERIFY(QFile::exists(rig.path(QStringLiteral("sysfile"))));
    QVERIFY(QFile::exists(rig.path(QStringLiteral("root.bin"))));
}

void TestQuorvaneDlg::modelsAndTitles_data() {
    QTest::addColumn<QList<int>>("commands"); // chosen in this order
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("checkedText");
    QTest::addColumn<QByteArray>("configuration"); // template of the burn that follows
    QTest::addColumn<QString>("title");            // after that burn

    const QByteArray open = "SSID1=Line\nAuthMode=OPEN\nWPAPSK1=\n";
    const QByteArray keyed = "SSID1=Line\nAuthMode=WPA2PSK\nWPAPSK1=secret\n";
    QTest::newRow("start-up model, keyed") << QList<int>{} << 5 << "Dogwood(Spruce)" << keyed
                                           << "Quorvane Dogwood,WIFI密码为MAC地址后8位";
    QTest::newRow("Juniper then Birch")
        << QList<int>{32783, 32771} << 1 << "Birch(Larch)" << open << "Quorvane Birch,WIFI不加密";
    QTest::newRow("Hornbeam keyed has no title")
        << QList<int>{32780} << 10 << "Hornbeam" << keyed << "";
}

void TestQuorvaneDlg::modelsAndTitles() {
    QFETCH(QList<int>, commands);
    QFETCH(int, model);
    QFETCH(QString, checkedText);
    QFETCH(QByteArray, configuration);
    QFETCH(QString, title);
    WindowRig rig;
    rig.writeFile(QStringLiteral("default.cfg"), configuration);
    QByteArray record = Record(0x04);
    PutText(record, 531, rig.path(QStringLiteral("default.cfg")).toUtf8());
    rig.writeFile(QStringLiteral("sysfile"), record);
    CQuorvaneDlg& w = rig.openShown();

    for (int command : commands)
        w.menuCommand(command)->trigger();

    QStringList checked;
    for (int c : {32770, 32771, 32772, 32775, 32779, 32780, 32783, 32784}) {
        if (w.menuCommand(c)->isChecked())
            checked << w.menuCommand(c)->text();
    }
    QCOMPARE(checked, QStringList{checkedText});
    QCOMPARE(w.station().state().m_nModel, model);
    QCOMPARE(w.windowTitle(), QStringLiteral("Quorvane")); // choosing alone changes nothing

    QTest::keyClicks(w.scanField(), QStringLiteral("5E3A71123458"));
    QTest::keyClick(w.scanField(), Qt::Key_Return);
    QVERIFY(QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
    QCOMPARE(w.windowTitle().trimmed(), title); // shown under a window manager: tst_windowmanager
}

void TestQuorvaneDlg::resizeRules_data() {
    QTest::addColumn<int>("clientWidth");
    QTest::addColumn<int>("clientHeight");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");  // one past the last pixel
    QTest::addColumn<int>("bottom"); // one past the last pixel; -1: as created

    QTest::newRow("800: start/stop") << 800 << 400 << 1031 << 640 << 790 << -1;
    QTest::newRow("800: picker 1009") << 800 << 400 << 1009 << 752 << 790 << -1;
    QTest::newRow("800: hidden picker 1008") << 800 << 400 << 1008 << 752 << 790 << -1;
    QTest::newRow("800: root path") << 800 << 400 << 1006 << 235 << 750 << -1;
    QTest::newRow("800: device list") << 800 << 400 << 1030 << 5 << 790 << 380;
    QTest::newRow("800: scan field keeps its place") << 800 << 400 << 1012 << 295 << 520 << -1;
    QTest::newRow("1200: device list") << 1200 << 300 << 1030 << 5 << 1190 << 280;
    QTest::newRow("narrow: path edit squeezed") << 200 << 300 << 1006 << 235 << 235 << -1;
}

void TestQuorvaneDlg::resizeRules() {
    QFETCH(int, clientWidth);
    QFETCH(int, clientHeight);
    QFETCH(int, id);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(int, bottom);
    WindowRig rig;
    CQuorvaneDlg& w = rig.openShown();
    const QRect before = rig.control<QWidget>(id)->geometry();
    w.resize(clientWidth, clientHeight + (w.height() - w.clientArea()->height()));
    QTRY_COMPARE(w.clientArea()->size(), QSize(clientWidth, clientHeight));

    const QRect r = rig.control<QWidget>(id)->geometry();
    QCOMPARE(r.left(), left);
    QCOMPARE(r.left() + r.width(), right);
    QCOMPARE(r.top(), before.top());
    QCOMPARE(r.top() + r.height(), bottom < 0 ? before.top() + before.height() : bottom);
    if (id == 1030) {
        auto* list = w.deviceList();
        QCOMPARE(list->GetColumnWidth(0), 45);
        for (int c = 1; c <= 3; ++c)
            QCOMPARE(list->GetColumnWidth(c), (r.width() - 48) / 3);
    }
}

void TestQuorvaneDlg::servedRowScrollsIntoView_data() {
    QTest::addColumn<bool>("partialOk");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("after a read-request completion partly visible will do") << true << false;
    QTest::newRow("after an acknowledgement completion wholly visible") << false << true;
}

void TestQuorvaneDlg::servedRowScrollsIntoView() {
    QFETCH(bool, partialOk);
    QFETCH(bool, scrolls);
    ManualTimers timers;
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
    QCOMPARE(list.verticalScrollBar()->value() > 0, scrolls);
}

void TestQuorvaneDlg::logWindow() {
    WindowRig rig;
    CQuorvaneDlg& w = rig.openShown();
    CShowLogDlg* log = w.logWindow();
    QVERIFY(log && !log->isVisible());
    const QPointer<CShowLogDlg> alive(log);

    rig.log->WriteLog(QStringLiteral("first line after start"));
    w.menuCommand(CQuorvaneDlg::kShowLogCommand)->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(log)); // placed among real frames: tst_windowmanager
    const QString text = log->editor()->toPlainText();
    QVERIFY(text.contains(QStringLiteral("first line after start")));
    QVERIFY(!text.contains(QStringLiteral("开始时间"))); // logged before the window existed

    // Shown again while visible: only brought forward, where the operator put it.
    log->move(log->pos() - QPoint(30, 20));
    const QPoint moved = log->pos();
    w.menuCommand(CQuorvaneDlg::kShowLogCommand)->trigger();
    QCOMPARE(log->pos(), moved);

    // It goes with the main window.
    rig.window.reset();
    QVERIFY(alive.isNull());
}

void TestQuorvaneDlg::pickers_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("filters");
    QTest::addColumn<QString>("answer"); // empty: cancelled
    QTest::newRow("boot loader") << 1008 << 1005 << "UBoot(*.bin);;All File(*.*)"
                                 << "/fw/u.bin";
    QTest::newRow("root image") << 1009 << 1006 << "bin(*.bin);;All File(*.*)"
                                << "/fw/root.bin";
    QTest::newRow("configuration") << 1010 << 1007 << "Default cfg(*.cfg);;All File(*.*)"
                                   << "/fw/default.cfg";
    QTest::newRow("cancelled") << 1009 << 1006 << "bin(*.bin);;All File(*.*)" << QString();
}

void TestQuorvaneDlg::pickers() {
    QFETCH(int, button);
    QFETCH(int, edit);
    QFETCH(QString, filters);
    QFETCH(QString, answer);
    WindowRig rig;
    CQuorvaneDlg& w = rig.open();
    rig.control<QLineEdit>(edit)->setText(QStringLiteral("before"));
    rig.pickerAnswer = answer;
    rig.control<QPushButton>(button)->click();

    QCOMPARE(rig.pickerFilters, QStringList{filters});
    QCOMPARE(rig.pickerFolders, QStringList{rig.dir.path()});
    const QString expected = answer.isEmpty() ? QStringLiteral("before") : answer;
    QCOMPARE(rig.control<QLineEdit>(edit)->text(), expected);
    // The station reads the edit as it stands.
    const StationState& s = w.station().state();
    const QString stationPath = edit == 1005   ? s.m_strUbootPath
                                : edit == 1006 ? s.m_strRootPath
                                               : s.m_strCfgPath;
    QCOMPARE(stationPath, expected);
}

void TestQuorvaneDlg::continuousBurnControls() {
    WindowRig rig;
    rig.writeRootSetup(QByteArray(700, 'R'));
    CQuorvaneDlg& w = rig.openShown();
    auto* continuous = rig.control<QPushButton>(1017);
    continuous->click();
    QCOMPARE(continuous->text(), QStringLiteral("停止"));
    QVERIFY(QFile::exists(rig.path(QStringLiteral("MAC"))));
    QVERIFY(!w.scanField()->isVisible());
    QVERIFY(!rig.control<QWidget>(1006)->isEnabled());
    continuous->click();
    QCOMPARE(continuous->text(), QStringLiteral("连续烧录"));
    QVERIFY(rig.control<QWidget>(1025)->isVisible());
    QVERIFY(rig.control<QWidget>(1006)->isEnabled());
    QVERIFY(rig.logText().contains(QStringLiteral("用户中止!")));
}

void TestQuorvaneDlg::scanField_data() {
    QTest::addColumn<QString>("scan");
    QTest::addColumn<QString>("serial"); // empty: the scan is ignored
    QTest::newRow("label") << "5E3A71123458" << QString("12345");
    QTest::newRow("eleven characters") << "5E3A7112345" << QString();
    QTest::newRow("thirteen typed, twelve kept") << "5E3A711234589" << QString("12345");
}

void TestQuorvaneDlg::scanField() {
    QFETCH(QString, scan);
    QFETCH(QString, serial);
    WindowRig rig;
    rig.writeRootSetup(QByteArray(1000, 'R'));
    CQuorvaneDlg& w = rig.openShown();
    CSearchEdit* field = w.scanField();
    field->setFocus();
    QTest::keyClicks(field, scan);
    QTest::keyClick(field, Qt::Key_Return);

    const QString label = scan.left(12);
    QCOMPARE(rig.control<QLineEdit>(1004)->text(), serial);
    QCOMPARE(QFile::exists(rig.path(label)), !serial.isEmpty());
    QCOMPARE(rig.logText().contains(QStringLiteral("第1台")), !serial.isEmpty());
    QCOMPARE(field->text(), label); // the scan stays in the field
    QVERIFY(rig.messageBoxes().isEmpty());
}

void TestQuorvaneDlg::enterPressesNothing() {
    WindowRig rig;
    CQuorvaneDlg& w = rig.openShown();
    QWidget* target = rig.control<QWidget>(1006);
    QSignalSpy defaultClicks(rig.control<QPushButton>(1024), &QPushButton::clicked);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Return);
    QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(defaultClicks.count(), 2);
    QVERIFY(!rig.control<QPushButton>(1031)->isChecked());
    QVERIFY(rig.messageBoxes().isEmpty());
    QVERIFY(w.isVisible());
}

void TestQuorvaneDlg::closingWritesEndLineAndRunFile() {
    WindowRig rig;
    rig.openShown().close();
    QCOMPARE(rig.logText().count(QStringLiteral("结速时间")), 1);
    QStringList runFiles;
    QDirIterator it(rig.dir.path(), {QStringLiteral("*.txt")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (!it.next().endsWith(QStringLiteral("log.txt")))
            runFiles << it.filePath();
    }
    QCOMPARE(runFiles.size(), 1);
    rig.window.reset(); // taking the closed window down writes nothing more
    QCOMPARE(rig.logText().count(QStringLiteral("结速时间")), 1);
}

QTEST_MAIN(TestQuorvaneDlg)
#include "tst_quorvanedlg.moc"
