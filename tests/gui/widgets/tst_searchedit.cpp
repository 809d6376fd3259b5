#include "gui/widgets/CSearchEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {
const QString kLabel = QStringLiteral("5E3A71123458");

void SendFocus(QWidget* widget, QEvent::Type type, Qt::FocusReason reason) {
    QFocusEvent event(type, reason);
    QApplication::sendEvent(widget, &event);
}
} // namespace

class TestSearchEdit : public QObject {
    Q_OBJECT
private slots:
    void focusSelectsAll_data();
    void focusSelectsAll();
    void blankTextGoesBackToTheCue_data();
    void blankTextGoesBackToTheCue();
    void enterReleaseSignals_data();
    void enterReleaseSignals();
    void createUsesTheClassFont();
};

void TestSearchEdit::focusSelectsAll_data() {
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("allSelected");
    QTest::newRow("focus only") << 0 << true;
    QTest::newRow("focus, then a click") << 1 << true;
    QTest::newRow("focus, then two clicks") << 2 << false; // only the first click selects
}

void TestSearchEdit::focusSelectsAll() {
    QFETCH(int, clicks);
    QFETCH(bool, allSelected);
    QWidget window;
    auto* field = new CSearchEdit(&window);
    field->resize(200, 24);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The first focus takes the (empty) cue away; the station's MAC arrives later.
    SendFocus(field, QEvent::FocusIn, Qt::OtherFocusReason);
    field->setText(kLabel);
    SendFocus(field, QEvent::FocusOut, Qt::OtherFocusReason);

    SendFocus(field, QEvent::FocusIn, Qt::MouseFocusReason);
    for (int i = 0; i < clicks; ++i) {
        // A click inside the text would place the caret and drop the selection.
        QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(4, field->height() / 2));
    }
    QCOMPARE(field->selectedText() == kLabel, allSelected);
    QCOMPARE(field->text(), kLabel);

    // The next scan replaces the previous label.
    if (allSelected) {
        QTest::keyClicks(field, QStringLiteral("5e3a71abcde8"));
        QCOMPARE(field->text(), QStringLiteral("5e3a71abcde8"));
    }
}

void TestSearchEdit::blankTextGoesBackToTheCue_data() {
    QTest::addColumn<QString>("cue");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cueShown");
    QTest::addColumn<QString>("textAfter");
    QTest::newRow("empty") << QString() << QString() << true << QString();
    QTest::newRow("spaces, own cue") << "scan" << QString("    ") << true << "scan";
    QTest::newRow("text with spaces") << "scan" << QString(" 5E 71 ") << false << " 5E 71 ";
    QTest::newRow("tab is not a space") << "scan" << QString("\t") << false << "\t";
}

void TestSearchEdit::blankTextGoesBackToTheCue() {
    QFETCH(QString, cue);
    QFETCH(QString, text);
    QFETCH(bool, cueShown);
    QFETCH(QString, textAfter);
    CSearchEdit field;
    field.SetCueText(cue);
    field.setText(cue);
    SendFocus(&field, QEvent::FocusIn, Qt::TabFocusReason);
    QVERIFY(!field.IsCueShown());
    QCOMPARE(field.text(), QString()); // focus takes the cue away
    field.setText(text);
    SendFocus(&field, QEvent::FocusOut, Qt::TabFocusReason);
    QCOMPARE(field.IsCueShown(), cueShown);
    QCOMPARE(field.text(), textAfter);
}

void TestSearchEdit::enterReleaseSignals_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("release");
    QTest::addColumn<bool>("autoRepeat");
    QTest::addColumn<int>("emitted");
    QTest::newRow("Return released") << int(Qt::Key_Return) << true << false << 1;
    QTest::newRow("Return pressed only") << int(Qt::Key_Return) << false << false << 0;
    QTest::newRow("Return held (repeat)") << int(Qt::Key_Return) << true << true << 0;
    QTest::newRow("other key released") << int(Qt::Key_A) << true << false << 0;
}

void TestSearchEdit::enterReleaseSignals() {
    QFETCH(int, key);
    QFETCH(bool, release);
    QFETCH(bool, autoRepeat);
    QFETCH(int, emitted);
    QWidget parent;
    auto* field = new CSearchEdit(&parent);
    QSignalSpy spy(field, &CSearchEdit::scanEntered);
    const QEvent::Type type = release ? QEvent::KeyRelease : QEvent::KeyPress;
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(field, &event);
    QCOMPARE(spy.count(), emitted);
    if (emitted > 0) {
        QCOMPARE(spy.at(0).at(0).toInt(), 1012);
    }
}

void TestSearchEdit::createUsesTheClassFont() {
    QWidget parent;
    QFont ownerFont = parent.font();
    ownerFont.setPointSize(20);
    parent.setFont(ownerFont);

    CSearchEdit* created = CSearchEdit::create(&parent);
    QCOMPARE(created->font().pixelSize(), 12);
    QCOMPARE(created->font().weight(), QFont::Normal);
    QVERIFY(created->font().families().contains(QStringLiteral("宋体")));
    QCOMPARE(created->controlId(), 1012);
    QVERIFY(created->IsCueShown());
    QCOMPARE(created->text(), QString());

    // Taken over from a window: keeps the window's font.
    auto* adopted = new CSearchEdit(&parent);
    QCOMPARE(adopted->font().pointSize(), 20);
}

QTEST_MAIN(TestSearchEdit)
#include "tst_searchedit.moc"
