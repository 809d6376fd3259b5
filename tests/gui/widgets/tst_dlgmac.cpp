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

void TestDlgMac::incompleteTextIgnoresOkAndEnter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("action");
    QTest::newRow("11 then OK") << "5e3a711234b" << QString("ok");
    QTest::newRow("11 then Enter") << "5e3a711234b" << QString("return");
    QTest::newRow("empty then keypad Enter") << "" << QString("enter");
    QTest::newRow("bad text then OK") << "5e3a71g2" << QString("ok");
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
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape, 11 characters") << "5e3a711234b" << QString("escape");
    QTest::newRow("Cancel, empty") << "" << QString("cancel");
    // The service stopped: closed without any answer, warning and all.
    QTest::newRow("silently, nothing typed") << "" << QString("silently");
    QTest::newRow("silently, warning open") << "5e3a711234b7" << QString("silently");
}

void TestDlgMac::cancels() {
    QFETCH(QString, typed);
    QFETCH(QString, how);
    CDlgMac dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    QSignalSpy answers(&dialog, &QDialog::rejected);
    dialog.open();
    QTest::keyClicks(dialog.entry(), typed);
    if (how == QLatin1String("escape"))
        QTest::keyClick(dialog.entry(), Qt::Key_Escape);
    else if (how == QLatin1String("cancel"))
        QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    else
        dialog.cancelSilently();
    QVERIFY(!dialog.isVisible());
    QTRY_VERIFY(dialog.warning() == nullptr);
    QCoreApplication::processEvents();
    const int told = how == QLatin1String("silently") ? 0 : 1;
    QCOMPARE(finished.count(), told);
    QCOMPARE(answers.count(), told);
    if (told)
        QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(dialog.text().isEmpty());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestDlgMac)
#include "tst_dlgmac.moc"
