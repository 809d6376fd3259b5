// One station per PC: a second start brings the first forward and ends.
#include "core/log/GbkText.h"
#include "gui/window/CQuorvaneApp.h"
#include "gui/window/CQuorvaneDlg.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kProcessMs = 30000;

QString StationProgram() {
    return qEnvironmentVariable("QUORVANE_BIN_DIR") + QStringLiteral("/quorvane");
}

} // namespace

class TestQuorvaneApp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondStartActivatesFirst_data();
    void secondStartActivatesFirst();
};

void TestQuorvaneApp::initTestCase() {
    QVERIFY2(QFile::exists(StationProgram()), "set QUORVANE_BIN_DIR to the folder of quorvane");
}

void TestQuorvaneApp::secondStartActivatesFirst_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("minimised");
    QTest::newRow("minimised") << "Quorvane" << true;
    QTest::newRow("title changed") << "Quorvane Cedar,WIFI不加密" << false;
}

void TestQuorvaneApp::secondStartActivatesFirst() {
    QFETCH(QString, title);
    QFETCH(bool, minimised);
    // The socket's short name resolves under TMPDIR, so the real program
    // finds this test's station and no other.
    QTemporaryDir sockets;
    QTemporaryDir folder;
    QVERIFY(sockets.isValid() && folder.isValid());
    QDir(folder.path()).mkpath(QStringLiteral("Log"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());

    CQuorvaneApp first(sockets.filePath(QStringLiteral("Quorvne")), folder.path(), 0);
    QVERIFY(first.InitInstance());
    CQuorvaneDlg* window = first.mainWindow();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->setWindowTitle(title);
    if (minimised)
        window->showMinimized();
    QTRY_COMPARE(window->isMinimized(), minimised);

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), sockets.path());
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(folder.path());
    second.start(StationProgram(), {});
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, kProcessMs);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    QTRY_VERIFY(window->windowState() & Qt::WindowMaximized);
    QVERIFY(!window->isMinimized());
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), title);
    // The second start ended before writing a start line of its own.
    QFile log(folder.filePath(QStringLiteral("Log/log.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(quorvane::FromGbk(log.readAll()).count(QStringLiteral("开始时间")), 1);
    QDir::setCurrent(previous);
}

QTEST_MAIN(TestQuorvaneApp)
#include "tst_quorvaneapp.moc"
