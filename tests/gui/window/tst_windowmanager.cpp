// The window under a real window manager (tests/gui/under-wm.sh runs openbox
// on Xvfb): frames and titles as the operator sees them.
#include "WindowFixture.h"

#include "gui/widgets/CShowLogDlg.h"

#include <QGuiApplication>
#include <QProcess>
#include <QWindow>

using namespace quorvane::testing;

namespace {

// The title the window manager shows for the window.
QString ShownTitle(const QWidget& w) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("getwindowname"), QString::number(w.winId())});
    xdotool.waitForFinished();
    return QString::fromUtf8(xdotool.readAllStandardOutput());
}

// The frame as the window manager last reported it (QWidget's is updated
// only when the widget moves or resizes).
QRect Frame(const QWidget& w) {
    return w.windowHandle()->frameGeometry();
}

bool Framed(const QWidget& w) {
    return Frame(w).size() != w.size();
}

// The window manager may be slow to take a window on a loaded machine.
constexpr int kWindowManagerMs = 30000;

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT
private slots:
    void init();
    void logWindowInTheMainFramesCorner();
    void titleShown_data();
    void titleShown();
};

void TestWindowManager::init() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs X11 and a window manager: run it through tests/gui/under-wm.sh");
}

void TestWindowManager::logWindowInTheMainFramesCorner() {
    WindowRig rig;
    CQuorvaneDlg& w = rig.open();
    w.show();
    // Shown once the window manager has framed and placed it.
    QVERIFY(QTest::qWaitForWindowExposed(&w, kWindowManagerMs));
    QTRY_VERIFY(Framed(w));
    w.menuCommand(CQuorvaneDlg::kShowLogCommand)->trigger();
    CShowLogDlg* log = w.logWindow();
    QTRY_VERIFY_WITH_TIMEOUT(Framed(*log), kWindowManagerMs);
    QTRY_COMPARE(Frame(*log).bottomRight(), Frame(w).bottomRight() - QPoint(5, 5));
}

void TestWindowManager::titleShown_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shown");
    QTest::newRow("none for this model and key mode") << QString() << QString();
    QTest::newRow("model and key mode") << QStringLiteral("Quorvane Birch,WIFI不加密")
                                        << QStringLiteral("Quorvane Birch,WIFI不加密");
}

void TestWindowManager::titleShown() {
    QFETCH(QString, title);
    QFETCH(QString, shown);
    WindowRig rig;
    CQuorvaneDlg& w = rig.open();
    w.show();
    w.SetTitle(title);
    QTRY_COMPARE(ShownTitle(w).trimmed(), shown);
}

QTEST_MAIN(TestWindowManager)
#include "tst_windowmanager.moc"
