#include "gui/widgets/SingleInstance.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

using quorvane::SingleInstance;

namespace {
QString UniqueName() {
    return QStringLiteral("quorvane-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}
} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void staleSocketIsTakenOver();
    void onlyTheActivateLineCounts_data();
    void onlyTheActivateLineCounts();
    void bringToFront();
};

void TestSingleInstance::staleSocketIsTakenOver() {
#ifdef Q_OS_UNIX
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Quorvne"));
    // What a crashed station leaves: a socket file nobody listens on.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    QVERIFY(size_t(encoded.size()) < sizeof(address.sun_path));
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    QVERIFY(QFile::exists(path));

    SingleInstance restarted(path);
    QSignalSpy activations(&restarted, &SingleInstance::activationRequested);
    QVERIFY(restarted.TryBecomePrimary());
    QVERIFY(restarted.IsListening());

    SingleInstance second(path);
    QVERIFY(!second.TryBecomePrimary());
    QTRY_COMPARE(activations.count(), 1);
#else
    QSKIP("stale socket files are a Unix matter");
#endif
}

void TestSingleInstance::onlyTheActivateLineCounts_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("activations");
    QTest::newRow("activate") << QByteArray("activate\n") << 1;
    QTest::newRow("two lines, one request") << QByteArray("activate\nactivate\n") << 1;
    QTest::newRow("no line end") << QByteArray("activate") << 0;
    QTest::newRow("prefix") << QByteArray("activatex\n") << 0;
    QTest::newRow("flood") << QByteArray(4096, 'a') << 0;
}

void TestSingleInstance::onlyTheActivateLineCounts() {
    QFETCH(QByteArray, sent);
    QFETCH(int, activations);
    const QString name = UniqueName();
    SingleInstance primary(name);
    QSignalSpy spy(&primary, &SingleInstance::activationRequested);
    QVERIFY(primary.TryBecomePrimary());

    QLocalSocket peer;
    peer.connectToServer(name);
    QVERIFY(peer.waitForConnected(5000));
    peer.write(sent);
    QVERIFY(sent.isEmpty() || peer.waitForBytesWritten(5000));
    if (sent.size() > 64) {
        // A flood is cut off by the primary.
        QTRY_COMPARE(peer.state(), QLocalSocket::UnconnectedState);
    } else {
        peer.disconnectFromServer();
    }
    // A well-behaved request afterwards still works: the primary is not stuck,
    // and a second start never becomes a primary of its own.
    SingleInstance second(name);
    QVERIFY(!second.TryBecomePrimary());
    QVERIFY(!second.IsListening());
    QTRY_COMPARE(spy.count(), activations + 1);
    QVERIFY(primary.IsListening());
    QTest::qWait(20);
    QCOMPARE(spy.count(), activations + 1);
}

// Minimised and retitled windows come forward through the real program's
// test; a window not shown yet must come up too.
void TestSingleInstance::bringToFront() {
    QWidget window;
    SingleInstance::BringToFront(&window);
    QVERIFY(window.isVisible());
    QVERIFY(window.windowState() & Qt::WindowMaximized);
    SingleInstance::BringToFront(nullptr);
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
