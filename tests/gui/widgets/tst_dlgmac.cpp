#include "gui/widgets/CDlgMac.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString kBadCharacter = QStringLiteral("MAC字符异常，格式不对");
const QString kBadRoleDigit = QStringLiteral("MAC尾数不是8，格式不对");
} // namespace

class TestDlgMac : public QObject {
    Q_OBJECT
private slots:
    void acceptsOnTwelfthCharacter_data();
    void acceptsOnTwelfthCharacter();
    void warnsAndStaysOpen_data();
    void warnsAndStaysOpen();
    void buttonsAndKeys_data();
    void buttonsAndKeys();
};

void TestDlgMac::acceptsOnTwelfthCharacter_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("lower case") << "5e3a711234b8";
    QTest::newRow("mixed case") << "5e3A71aBcDe8";
}

void TestDlgMac::acceptsOnTwelfthCharacter() {
    QFETCH(QString, typed);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    QTest::keyClicks(dialog.entry(), typed.left(11));
    QCOMPARE(finished.count(), 0);
    QVERIFY(dialog.text().isEmpty());

    QTest::keyClicks(dialog.entry(), typed.mid(11));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QCOMPARE(dialog.text(), typed); // case kept as entered
    QVERIFY(!dialog.isVisible());
    QVERIFY(dialog.warning() == nullptr);
}

void TestDlgMac::warnsAndStaysOpen_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("correction"); // replaces the whole text after the warning
    QTest::newRow("role digit 7") << "5e3a711234b7" << kBadRoleDigit << "5e3a711234b8";
    QTest::newRow("letter g") << "5e3a71g234b8" << kBadCharacter << "5e3a71a234b8";
    QTest::newRow("bad and role") << "5e3a71g234b7" << kBadCharacter << "5e3a711234b8";
}

void TestDlgMac::warnsAndStaysOpen() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, correction);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    QSignalSpy warned(&dialog, &CDlgMac::warningShown);
    dialog.open();

    QTest::keyClicks(dialog.entry(), typed);
    QCOMPARE(warned.count(), 1);
    QCOMPARE(warned.at(0).at(0).toString(), message);
    QMessageBox* box = dialog.warning();
    QVERIFY(box != nullptr);
    QCOMPARE(box->text(), message);
    QCOMPARE(box->buttons().size(), 1);

    // The operator's text stays and the dialog waits for another scan.
    QCOMPARE(dialog.entry()->text(), typed);
    QVERIFY(dialog.isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(dialog.text().isEmpty());

    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_VERIFY(dialog.warning() == nullptr);
    dialog.entry()->selectAll();
    QTest::keyClicks(dialog.entry(), correction);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QCOMPARE(dialog.text(), correction);
}

// How the operator (or the stopping service) leaves a dialog that holds no
// accepted label yet.
void TestDlgMac::buttonsAndKeys_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("rejections"); // -1: still open, text kept
    QTest::newRow("11 then OK") << "5e3a711234b" << QString("ok") << -1;
    QTest::newRow("11 then Enter") << "5e3a711234b" << QString("return") << -1;
    QTest::newRow("empty then keypad Enter") << "" << QString("enter") << -1;
    QTest::newRow("bad text then OK") << "5e3a71g2" << QString("ok") << -1;
    QTest::newRow("Escape, 11 characters") << "5e3a711234b" << QString("escape") << 1;
    QTest::newRow("Cancel, empty") << "" << QString("cancel") << 1;
    // The service stopped: closed without any answer, warning and all.
    QTest::newRow("silently, nothing typed") << "" << QString("silently") << 0;
    QTest::newRow("silently, warning open") << "5e3a711234b7" << QString("silently") << 0;
}

void TestDlgMac::buttonsAndKeys() {
    QFETCH(QString, typed);
    QFETCH(QString, how);
    QFETCH(int, rejections);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.open();
    QTest::keyClicks(dialog.entry(), typed);
    if (how == QLatin1String("ok")) {
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    } else if (how == QLatin1String("return") || how == QLatin1String("enter")) {
        const Qt::Key key = how == QLatin1String("enter") ? Qt::Key_Enter : Qt::Key_Return;
        QTest::keyClick(dialog.entry(), key);
        QTest::keyClick(&dialog, key);
    } else if (how == QLatin1String("escape")) {
        QTest::keyClick(dialog.entry(), Qt::Key_Escape);
    } else if (how == QLatin1String("cancel")) {
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    } else {
        dialog.cancelSilently();
    }
    QCoreApplication::processEvents();
    QVERIFY(dialog.text().isEmpty());
    if (rejections < 0) {
        QCOMPARE(finished.count(), 0);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.warning() == nullptr);
        QCOMPARE(dialog.entry()->text(), typed);
        return;
    }
    QVERIFY(!dialog.isVisible());
    QTRY_VERIFY(dialog.warning() == nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), rejections);
    QCOMPARE(rejected.count(), rejections);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestDlgMac)
#include "tst_dlgmac.moc"
