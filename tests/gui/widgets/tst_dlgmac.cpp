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
    void incompleteTextIgnoresOkAndEnter_data();
    void incompleteTextIgnoresOkAndEnter();
    void cancels_data();
    void cancels();
    void cancelSilentlyEmitsNothing_data();
    void cancelSilentlyEmitsNothing();
};

void TestDlgMac::acceptsOnTwelfthCharacter_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("lower case") << "5e3a711234b8";
    QTest::newRow("upper case") << "5E3A711234B8";
    QTest::newRow("mixed case") << "5e3A71aBcDe8";
    QTest::newRow("all digits") << "000000000008";
}

void TestDlgMac::acceptsOnTwelfthCharacter() {
    QFETCH(QString, typed);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    QVERIFY(dialog.isVisible());

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
    QTest::newRow("role digit F") << "5E3A711234BF" << kBadRoleDigit << "5E3A711234B8";
    QTest::newRow("letter g") << "5e3a71g234b8" << kBadCharacter << "5e3a71a234b8";
    QTest::newRow("colon") << "5e3a71:234b8" << kBadCharacter << "5e3a711234b8";
    QTest::newRow("space") << "5e3a71 234b8" << kBadCharacter << "5e3a711234b8";
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
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
    QCOMPARE(box->buttons().size(), 1);
    QVERIFY(box->button(QMessageBox::Ok) != nullptr);
    QVERIFY(box->isVisible());

    // The operator's text stays and the dialog waits for another scan.
    QCOMPARE(dialog.entry()->text(), typed);
    QVERIFY(dialog.isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(dialog.text().isEmpty());

    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_VERIFY(dialog.warning() == nullptr);
    QVERIFY(dialog.isVisible());
    QCOMPARE(finished.count(), 0);

    dialog.entry()->selectAll();
    QTest::keyClicks(dialog.entry(), correction);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QCOMPARE(dialog.text(), correction);
}

void TestDlgMac::incompleteTextIgnoresOkAndEnter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("action");
    QTest::newRow("11 then OK") << "5e3a711234b"
                                << "ok";
    QTest::newRow("11 then Enter") << "5e3a711234b"
                                   << "return";
    QTest::newRow("11 then keypad Enter") << "5e3a711234b"
                                          << "enter";
    QTest::newRow("empty then OK") << ""
                                   << "ok";
    QTest::newRow("empty then Enter") << ""
                                      << "return";
    QTest::newRow("bad text then OK") << "5e3a71g2"
                                      << "ok";
}

void TestDlgMac::incompleteTextIgnoresOkAndEnter() {
    QFETCH(QString, typed);
    QFETCH(QString, action);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    QTest::keyClicks(dialog.entry(), typed);

    if (action == QLatin1String("ok")) {
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    } else {
        const Qt::Key key = action == QLatin1String("enter") ? Qt::Key_Enter : Qt::Key_Return;
        QTest::keyClick(dialog.entry(), key);
        QTest::keyClick(&dialog, key);
    }
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 0);
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.warning() == nullptr);
    QCOMPARE(dialog.entry()->text(), typed);
}

void TestDlgMac::cancels_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("escape");
    QTest::newRow("Escape, empty") << "" << true;
    QTest::newRow("Escape, 11 characters") << "5e3a711234b" << true;
    QTest::newRow("Cancel, empty") << "" << false;
    QTest::newRow("Cancel, 11 characters") << "5e3a711234b" << false;
}

void TestDlgMac::cancels() {
    QFETCH(QString, typed);
    QFETCH(bool, escape);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.open();
    QTest::keyClicks(dialog.entry(), typed);
    if (escape) {
        QTest::keyClick(dialog.entry(), Qt::Key_Escape);
    } else {
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    }
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(dialog.text().isEmpty());
    QVERIFY(!dialog.isVisible());
}

void TestDlgMac::cancelSilentlyEmitsNothing_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("nothing typed") << "";
    QTest::newRow("warning open") << "5e3a711234b7";
}

void TestDlgMac::cancelSilentlyEmitsNothing() {
    QFETCH(QString, typed);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.open();
    QTest::keyClicks(dialog.entry(), typed);
    QCOMPARE(dialog.warning() != nullptr, !typed.isEmpty());

    dialog.cancelSilently();
    QVERIFY(!dialog.isVisible());
    QTRY_VERIFY(dialog.warning() == nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(finished.count() + accepted.count() + rejected.count(), 0);
    QVERIFY(dialog.text().isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestDlgMac)
#include "tst_dlgmac.moc"
