// Whole boards through the window: quorvane-router plays the router, the test
// plays the operator at the scan dialog.

// Mouse events through the window system, which modality blocks as a real
// click is blocked (QWidget::click() and direct events are not).
#define QTEST_QPA_MOUSE_HANDLING
#include "WindowFixture.h"

#include "core/workflow/Station.h"
#include "gui/listctrlex/CListCtrlEx.h"
#include "gui/widgets/CDlgMac.h"
#include "gui/widgets/CSearchEdit.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

constexpr int kRouterMs = 30000;
const QString kClaimed = QStringLiteral("************");
const QString kAsk = QStringLiteral("找到一个新设备，请扫描MAC码");
const QString kWriting = QStringLiteral("下载完成,正在写入....");
const QString kWritten = QStringLiteral("设备写入完成，可以移除");
const QString kWaiting = QStringLiteral("请连接新设备...");

QString RouterProgram() {
    return qEnvironmentVariable("QUORVANE_BIN_DIR") + QStringLiteral("/quorvane-router");
}

// A device row as "num|mac|status|progress", so that a failure shows it whole.
QString Row(const QString& num, const QString& mac, const QString& status, int progress) {
    return QStringLiteral("%1|%2|%3|%4").arg(num, mac, status).arg(progress);
}

QString ListRow(ListCtrlEx::CListCtrlEx* list, int row) {
    return Row(list->GetItemText(row, 0), list->GetItemText(row, 1), list->GetItemText(row, 3),
               list->GetCellProgress(row, 2));
}

} // namespace

class TestWindowBoard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void boardsThroughTheWindow_data();
    void boardsThroughTheWindow();
    void stopWhileAsking();
    void messageHoldsTheBoard();

private:
    // A window with MAC writing and the root image chosen, its service started.
    void startStation(WindowRig& rig);
    QProcess* startRouter(WindowRig& rig, const QStringList& extra);
    CDlgMac* waitForScanDialog(CQuorvaneDlg& w);
};

void TestWindowBoard::initTestCase() {
    QVERIFY2(QFile::exists(RouterProgram()),
             "set QUORVANE_BIN_DIR to the folder of quorvane-router");
}

void TestWindowBoard::startStation(WindowRig& rig) {
    QByteArray image(5000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7);
    rig.writeRootSetup(image, 0x09);
    CQuorvaneDlg& w = rig.openShown();
    rig.control<QPushButton>(1031)->click();
    QVERIFY(w.station().isServerListening());
}

QProcess* TestWindowBoard::startRouter(WindowRig& rig, const QStringList& extra) {
    auto* router = new QProcess(rig.window.get());
    router->setProgram(RouterProgram());
    router->setArguments(QStringList{"--port", QString::number(rig.window->station().serverPort()),
                                     "--crc", "1", "--quiet"} +
                         extra);
    router->start();
    return router;
}

CDlgMac* TestWindowBoard::waitForScanDialog(CQuorvaneDlg& w) {
    const bool open =
        QTest::qWaitFor([&w] { return w.macDialog() && w.macDialog()->isVisible(); }, kRouterMs);
    return open ? w.macDialog() : nullptr;
}

void TestWindowBoard::boardsThroughTheWindow_data() {
    QTest::addColumn<bool>("reportsDone");
    QTest::newRow("finished by its row timer") << false;
    QTest::newRow("finished by DONE") << true;
}

void TestWindowBoard::boardsThroughTheWindow() {
    QFETCH(bool, reportsDone);
    WindowRig rig;
    startStation(rig);
    CQuorvaneDlg& w = *rig.window;
    ListCtrlEx::CListCtrlEx* list = w.deviceList();
    const QString label = QStringLiteral("5E3A71123458");

    QProcess* router = startRouter(rig, reportsDone ? QStringList{"--done"} : QStringList{});
    CDlgMac* dialog = waitForScanDialog(w);
    QVERIFY(dialog);
    QCOMPARE(ListRow(list, 0), Row("1", kClaimed, kAsk, 1));
    QVERIFY(rig.sounds.isEmpty());

    QTest::keyClicks(dialog->entry(), label);
    QTRY_COMPARE_WITH_TIMEOUT(router->state(), QProcess::NotRunning, kRouterMs);
    QCOMPARE(router->exitCode(), 0);
    const QJsonObject outcome = QJsonDocument::fromJson(router->readAllStandardOutput()).object();
    QCOMPARE(outcome.value("mac").toString(), label);
    QCOMPARE(outcome.value("check").toString(), QStringLiteral("ok"));
    QVERIFY(QFile::exists(rig.path(label)));

    // The station answers DONE after the last block; give it its turn.
    QTRY_COMPARE(list->GetItemCount(), 2);
    QCOMPARE(ListRow(list, 1), Row("2", kWaiting, "", 0));
    QCOMPARE(w.station().state().g_curItem, 1);
    QCOMPARE(w.scanField()->text(), label);
    const auto summary = [&w] { return w.shiftSummary()->text(); };
    if (reportsDone) {
        QTRY_COMPARE(ListRow(list, 0), Row("1", label, kWritten, 100));
        QCOMPARE(rig.sounds, (QList<int>{135, 136}));
        QVERIFY(!rig.timers.active.contains(0));
        QTRY_VERIFY(summary().startsWith(QStringLiteral("已写 1 / 失败 0")));
        return;
    }

    QCOMPARE(ListRow(list, 0), Row("1", label, kWriting, 50));
    QCOMPARE(rig.sounds, QList<int>{135}); // the last block answered an acknowledgement
    QCOMPARE(rig.timers.active.value(0), 800);

    rig.timers.fire(0, 49);
    QCOMPARE(ListRow(list, 0), Row("1", label, kWriting, 99));
    rig.timers.fire(0);
    QCOMPARE(ListRow(list, 0), Row("1", label, kWriting, 100));
    QCOMPARE(rig.sounds, QList<int>{135});
    rig.timers.fire(0);
    QCOMPARE(ListRow(list, 0), Row("1", label, kWritten, 100));
    QCOMPARE(rig.sounds, (QList<int>{135, 136}));
    QVERIFY(!rig.timers.active.contains(0));
    QTRY_VERIFY(summary().startsWith(QStringLiteral("已写 1 / 失败 0")));
    // The waiting row is never advanced by a tick.
    QCOMPARE(ListRow(list, 1), Row("2", kWaiting, "", 0));
}

void TestWindowBoard::stopWhileAsking() {
    WindowRig rig;
    startStation(rig);
    CQuorvaneDlg& w = *rig.window;
    startRouter(rig, {"--retries", "0", "--scan-wait-ms", "600000"});
    CDlgMac* dialog = waitForScanDialog(w);
    QVERIFY(dialog);

    // The menus wait with the board; the keyboard goes back to the dialog.
    QMenuBar* menus = w.menuBar();
    QTest::mouseClick(menus, Qt::LeftButton, {},
                      menus->actionGeometry(menus->actions().first()).center());
    QVERIFY(!QApplication::activePopupWidget());
    QSignalSpy focusMoves(qGuiApp, &QGuiApplication::focusWindowChanged);
    w.activateWindow();
    QTRY_VERIFY(!focusMoves.isEmpty());
    QTRY_COMPARE(QGuiApplication::focusWindow(), dialog->windowHandle());
    QTest::mouseClick(rig.control<QPushButton>(1031), Qt::LeftButton);
    QVERIFY(!w.station().isServerListening());
    QTRY_VERIFY(!w.macDialog());
    QVERIFY(menus->isEnabled());
    QVERIFY(rig.logText().contains(QStringLiteral("强制关闭服务")));
    QVERIFY(rig.messageBoxes().isEmpty());
    QVERIFY(!w.station().isAskingForMac());
    // Nothing was built for the board the operator never scanned.
    QCOMPARE(rig.readFile(QStringLiteral("sysfile")).mid(1, 18), QByteArray(18, '\0'));
}

void TestWindowBoard::messageHoldsTheBoard() {
    WindowRig rig;
    startStation(rig);
    CQuorvaneDlg& w = *rig.window;
    QVERIFY(QFile::remove(rig.path(QStringLiteral("root.bin"))));
    QProcess* router = startRouter(rig, {"--retries", "0", "--scan-wait-ms", "600000"});
    CDlgMac* dialog = waitForScanDialog(w);
    QVERIFY(dialog);

    QTest::keyClicks(dialog->entry(), QStringLiteral("5E3A71123458"));
    // The package cannot be built: the operator reads why before the board
    // hears anything more.
    QTRY_COMPARE(rig.messageBoxes().size(), 1);
    QMessageBox* box = rig.messageBoxes().first();
    QVERIFY(box->text().contains(QStringLiteral("root.bin")));
    QCOMPARE(box->windowTitle(), QStringLiteral("Quorvane"));
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(router->state(), QProcess::Running);

    box->button(QMessageBox::Ok)->click();
    QTRY_COMPARE_WITH_TIMEOUT(router->state(), QProcess::NotRunning, kRouterMs);
    const QJsonObject outcome = QJsonDocument::fromJson(router->readAllStandardOutput()).object();
    QCOMPARE(outcome.value("mac").toString(), QStringLiteral("5E3A71123458"));
    QVERIFY(!QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
}

QTEST_MAIN(TestWindowBoard)
#include "tst_windowboard.moc"
