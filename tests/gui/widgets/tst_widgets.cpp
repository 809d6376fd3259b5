// The station's small widgets: scan dialog, scan field, log window, the one
// station per PC, and the cues, icons and About box compiled in.
#include "gui/widgets/CAboutDlg.h"
#include "gui/widgets/CDlgMac.h"
#include "gui/widgets/CSearchEdit.h"
#include "gui/widgets/CShowLogDlg.h"
#include "gui/widgets/SingleInstance.h"
#include "gui/widgets/SoundPlayer.h"
#include "gui/widgets/StationIcons.h"
#include "tests/gui/Columns.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using quorvane::SingleInstance;
using quorvane::SoundPlayer;

namespace {
void SendFocus(QWidget* widget, QEvent::Type type, Qt::FocusReason reason) {
    QFocusEvent event(type, reason);
    QApplication::sendEvent(widget, &event);
}
} // namespace

class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    // The scan dialog ends by itself on an accepted label, never on Enter; the
    // operator, or the stopping service, may leave it without one.
    void scanDialog_data() {
        // then: 0 nothing, a key, 1 OK, 2 Cancel, 3 cancelled silently, 4 the
        // warning's OK clicked and a good label scanned
        // result: -1 still open, -2 closed without finishing
        Columns<QString, int, int, QString>("typed", "then", "result", "warning");
        const int accepted = QDialog::Accepted, rejected = QDialog::Rejected;
        QTest::newRow("label, case kept") << "5e3A71aBcDe8" << 0 << accepted << "";
        QTest::newRow("role digit 7")
            << "5e3a711234b7" << 4 << accepted << "MAC尾数不是8，格式不对";
        QTest::newRow("OK") << "5e3a711234b" << 1 << -1 << "";
        QTest::newRow("Enter") << "5e3a711234b" << int(Qt::Key_Return) << -1 << "";
        QTest::newRow("Cancel") << "" << 2 << rejected << "";
        QTest::newRow("silently, warning open") << "5e3a711234b7" << 3 << -2 << "";
    }
    void scanDialog() {
        QFETCH(QString, typed);
        QFETCH(int, then);
        QFETCH(int, result);
        CDlgMac dialog;
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.open();
        QTest::keyClicks(dialog.entry(), typed.left(11));
        QVERIFY(finished.isEmpty());
        QTest::keyClicks(dialog.entry(), typed.mid(11));
        const QString good = QStringLiteral("5e3a711234b8");
        if (then == 4) { // the operator reads why; the dialog waits for another scan
            QTEST(dialog.warning()->text(), "warning");
            QVERIFY(dialog.isVisible() && finished.isEmpty() && dialog.text().isEmpty());
            QTest::mouseClick(dialog.warning()->button(QMessageBox::Ok), Qt::LeftButton);
            QTRY_VERIFY(!dialog.warning());
            dialog.entry()->selectAll();
            QTest::keyClicks(dialog.entry(), good);
        } else if (then == 3) {
            dialog.cancelSilently();
        } else if (then == 1 || then == 2) {
            QTest::mouseClick(then == 1 ? dialog.okButton() : dialog.cancelButton(),
                              Qt::LeftButton);
        } else if (then) {
            QTest::keyClick(dialog.entry(), Qt::Key(then));
        }
        QCoreApplication::processEvents();
        QCOMPARE(dialog.isVisible(), result == -1);
        QCOMPARE(finished.count(), result < 0 ? 0 : 1);
        QCOMPARE(dialog.result(), std::max(result, 0));
        QCOMPARE(dialog.text(), result != QDialog::Accepted ? QString() : then ? good : typed);
        QTRY_VERIFY(!dialog.warning());
    }

    // Focus selects all in the scan field, so that the next scan replaces the last.
    void focusSelectsAll_data() {
        Columns<int>("clicks");
        QTest::newRow("focus only") << 0;
        QTest::newRow("focus, then a click") << 1;
        QTest::newRow("focus, then two clicks") << 2; // only the first click selects
    }
    void focusSelectsAll() {
        QFETCH(int, clicks);
        CSearchEdit field;
        field.resize(200, 24);
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        SendFocus(&field, QEvent::FocusIn, Qt::OtherFocusReason); // takes the cue away
        field.setText(QStringLiteral("5E3A71123458"));
        SendFocus(&field, QEvent::FocusOut, Qt::OtherFocusReason);
        SendFocus(&field, QEvent::FocusIn, Qt::MouseFocusReason);
        for (int i = 0; i < clicks; ++i) // inside the text: the caret would go there
            QTest::mouseClick(&field, Qt::LeftButton, {}, QPoint(4, field.height() / 2));
        QTest::keyClicks(&field, QStringLiteral("5e3a71abcde8"));
        QCOMPARE(field.text() == QStringLiteral("5e3a71abcde8"), clicks < 2);
    }

    // Only a real Enter release scans.
    void enterReleaseScans_data() {
        Columns<Qt::Key, QEvent::Type, bool, int>("key", "type", "autoRepeat", "scans");
        const QEvent::Type release = QEvent::KeyRelease;
        QTest::newRow("Enter released") << Qt::Key_Enter << release << false << 1;
        QTest::newRow("Return pressed") << Qt::Key_Return << QEvent::KeyPress << false << 0;
        QTest::newRow("Return held") << Qt::Key_Return << release << true << 0;
        QTest::newRow("other key released") << Qt::Key_A << release << false << 0;
    }
    void enterReleaseScans() {
        QFETCH(Qt::Key, key);
        QFETCH(QEvent::Type, type);
        QFETCH(bool, autoRepeat);
        CSearchEdit field;
        QSignalSpy spy(&field, &CSearchEdit::scanEntered);
        QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(&field, &event);
        QTEST(int(spy.count()), "scans");
        QCOMPARE(spy.value(0).value(0, 1012).toInt(), 1012);
    }

    // The log window empties itself after 2000 lines.
    void logClearsAfterTwoThousandLines_data() {
        // message: %1: its number
        // shown: first line|last line|lines, the empty last one too
        Columns<QString, int, QString>("message", "appends", "shown");
        QTest::newRow("2000 still shown") << "line %1" << 2000 << "line 1|line 2000|2001";
        QTest::newRow("2001 alone") << "line %1" << 2001 << "line 2001|line 2001|2";
        QTest::newRow("2003") << "line %1" << 2003 << "line 2001|line 2003|4";
        QTest::newRow("second page cleared") << "line %1" << 4001 << "line 4001|line 4001|2";
        QTest::newRow("CR LF breaks a message") << "a\r\nb%1" << 1001 << "a|b1001|3";
    }
    void logClearsAfterTwoThousandLines() {
        QFETCH(QString, message);
        QFETCH(int, appends);
        CShowLogDlg log;
        for (int i = 1; i <= appends; ++i)
            log.AppendLine(message.arg(i));
        const QTextDocument* document = log.editor()->document();
        QCOMPARE(document->lastBlock().text(), QString());
        QTEST(QStringLiteral("%1|%2|%3")
                  .arg(document->firstBlock().text(), document->lastBlock().previous().text())
                  .arg(log.LineCount()),
              "shown");
    }

    // Enter closes it as Escape and the close button do (QDialog's own); it
    // only hides and keeps collecting; not a child (it keeps its own task-bar
    // entry), yet gone with its owner.
    void logClosingOnlyHides() {
        auto* owner = new QWidget;
        QPointer<CShowLogDlg> log = new CShowLogDlg(owner);
        log->AppendLine(QStringLiteral("kept"));
        log->ShowOrActivate();
        QVERIFY(QTest::qWaitForWindowExposed(log));
        QTest::keyClick(log->editor(), Qt::Key_Return);
        QTRY_VERIFY(!log->isVisible());
        log->AppendLine(QStringLiteral("while hidden"));
        log->ShowOrActivate();
        QVERIFY(log->isVisible());
        QCOMPARE(log->editor()->toPlainText(), QStringLiteral("kept\nwhile hidden\n"));
        delete owner;
        QVERIFY(log.isNull());
    }

    // The first start listens on a local socket, a later one asks it forward
    // and ends; strangers on the socket change nothing.
    void singleInstance_data() {
        Columns<QByteArray, int>("sent", "activations");
        QTest::newRow("two lines, one request") << QByteArray("activate\nactivate\n") << 1;
        QTest::newRow("no line end") << QByteArray("activate") << 0;
        QTest::newRow("prefix") << QByteArray("activatex\n") << 0;
        QTest::newRow("flood") << QByteArray(4096, 'a') << 0;
        QTest::newRow("stale socket of a dead station") << QByteArray() << 0;
    }
    void singleInstance() {
        QFETCH(QByteArray, sent);
        QFETCH(int, activations);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("Quorvne"));
        if (sent.isEmpty()) { // a socket file nobody listens on
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{AF_UNIX, {}};
            qstrncpy(address.sun_path, QFile::encodeName(name).constData(),
                     sizeof address.sun_path);
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ::close(fd);
        }
        SingleInstance primary(name);
        QSignalSpy spy(&primary, &SingleInstance::activationRequested);
        QVERIFY(primary.TryBecomePrimary() && primary.IsListening());
        QLocalSocket peer;
        peer.connectToServer(name);
        QVERIFY(peer.waitForConnected(5000));
        peer.write(sent);
        peer.flush();
        if (sent.size() > 64) // cut off by the primary
            QTRY_COMPARE(peer.state(), QLocalSocket::UnconnectedState);
        peer.disconnectFromServer();
        // A second start afterwards still gets through, and ends.
        SingleInstance second(name);
        QVERIFY(!second.TryBecomePrimary() && !second.IsListening());
        QTRY_COMPARE(spy.count(), activations + 1);
    }

    // The two cues, plain PCM as sox writes it ("data" at 36), told apart by
    // their length (both mono 16-bit at 22050 Hz): 135, files received, is the
    // shorter. And the icons beside them.
    void clips() {
        QList<QByteArray> clips;
        for (int id : {135, 136}) {
            QFile file(SoundPlayer::SoundPath(id));
            QVERIFY(file.open(QIODevice::ReadOnly));
            clips << file.readAll();
            QCOMPARE(clips.last().mid(36, 4), "data");
            QVERIFY(!quorvane::StationIcon(id - 7).isNull()); // 128 and 129
        }
        QVERIFY(clips[0].size() < clips[1].size());
    }

    // It names the folder the station serves: an installed station's is the user's own.
    void aboutBox() {
        const QString folder = QStringLiteral("/home/op/.local/share/Quorvane/");
        CAboutDlg about(nullptr, folder);
        const auto labels = about.findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(),
                            [&](const QLabel* label) { return label->text().contains(folder); }));
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
