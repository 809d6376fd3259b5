#include "gui/widgets/CShowLogDlg.h"
#include "gui/widgets/DialogUnits.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

using quorvane::DialogBaseUnits;

namespace {
QString Line(int i) {
    return QStringLiteral("Recieve line %1").arg(i);
}
} // namespace

class TestShowLogDlg : public QObject {
    Q_OBJECT
private slots:
    void clearsAfterTwoThousandLines_data();
    void clearsAfterTwoThousandLines();
    void lineBreaksInsideAMessageCount();
    void followsTheLastLine();
    void dialogUnits_data();
    void dialogUnits();
    void editFillsTheWindow();
    void closingOnlyHides_data();
    void closingOnlyHides();
    void ownWindowGoneWithItsOwner();
};

void TestShowLogDlg::clearsAfterTwoThousandLines_data() {
    QTest::addColumn<int>("appends");
    QTest::addColumn<int>("linesShown");
    QTest::addColumn<int>("firstLineShown");
    // The empty line after the last break counts: n appends show n + 1 lines.
    QTest::newRow("2000 still shown") << 2000 << 2001 << 1;
    QTest::newRow("2001 alone") << 2001 << 2 << 2001;
    QTest::newRow("2003") << 2003 << 4 << 2001;
    QTest::newRow("second page cleared") << 4001 << 2 << 4001;
}

void TestShowLogDlg::clearsAfterTwoThousandLines() {
    QFETCH(int, appends);
    QFETCH(int, linesShown);
    QFETCH(int, firstLineShown);
    CShowLogDlg log;
    for (int i = 1; i <= appends; ++i) {
        log.AppendLine(Line(i));
    }
    QCOMPARE(log.LineCount(), linesShown);
    const QTextDocument* document = log.editor()->document();
    QCOMPARE(document->firstBlock().text(), Line(firstLineShown));
    QCOMPARE(document->lastBlock().text(), QString());
    QCOMPARE(document->lastBlock().previous().text(), Line(appends));
}

void TestShowLogDlg::lineBreaksInsideAMessageCount() {
    CShowLogDlg log;
    log.AppendLine(QStringLiteral("first\r\nsecond"));
    QCOMPARE(log.editor()->toPlainText(), QStringLiteral("first\nsecond\n"));
    for (int i = 0; i < 998; ++i) {
        log.AppendLine(QStringLiteral("a\r\nb"));
    }
    QCOMPARE(log.LineCount(), 1999);
    log.AppendLine(QStringLiteral("x\r\ny")); // 2001 lines: cleared at the next append
    QCOMPARE(log.LineCount(), 2001);
    log.AppendLine(QStringLiteral("z"));
    QCOMPARE(log.editor()->toPlainText(), QStringLiteral("z\n"));
}

void TestShowLogDlg::followsTheLastLine() {
    CShowLogDlg log;
    log.resize(300, 120);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    for (int i = 1; i <= 200; ++i) {
        log.AppendLine(Line(i) + QString(200, QLatin1Char('-')));
    }
    QScrollBar* vertical = log.editor()->verticalScrollBar();
    QTRY_VERIFY(vertical->maximum() > 0);
    QCOMPARE(vertical->value(), vertical->maximum());
    QCOMPARE(log.editor()->horizontalScrollBar()->value(), 0);
}

void TestShowLogDlg::dialogUnits_data() {
    QTest::addColumn<int>("baseX");
    QTest::addColumn<int>("baseY");
    QTest::addColumn<QSize>("dlu");
    QTest::addColumn<QSize>("pixels");
    QTest::newRow("log window, 6x13") << 6 << 13 << QSize(232, 100) << QSize(348, 163);
    QTest::newRow("about box, 6x12") << 6 << 12 << QSize(222, 78) << QSize(333, 117);
    QTest::newRow("half rounds up") << 6 << 13 << QSize(1, 4) << QSize(2, 7);
}

void TestShowLogDlg::dialogUnits() {
    QFETCH(int, baseX);
    QFETCH(int, baseY);
    QFETCH(QSize, dlu);
    QFETCH(QSize, pixels);
    QCOMPARE(quorvane::DluToPixels(dlu, DialogBaseUnits{baseX, baseY}), pixels);
}

void TestShowLogDlg::editFillsTheWindow() {
    CShowLogDlg log;
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    QCOMPARE(log.size(), quorvane::DluToPixels(QSize(232, 100), quorvane::BaseUnitsOf(log.font())));
    for (const QSize size : {QSize(500, 300), QSize(180, 90)}) {
        log.resize(size);
        QTRY_COMPARE(log.editor()->geometry(), log.rect());
    }
    QVERIFY(log.editor()->isReadOnly());
}

void TestShowLogDlg::closingOnlyHides_data() {
    QTest::addColumn<int>("key"); // 0: the close button
    QTest::newRow("close") << 0;
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void TestShowLogDlg::closingOnlyHides() {
    QFETCH(int, key);
    CShowLogDlg log;
    QVERIFY(!log.isVisible()); // created hidden
    log.AppendLine(QStringLiteral("kept"));
    log.ShowOrActivate();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    if (key == 0)
        log.close();
    else
        QTest::keyClick(log.editor(), Qt::Key(key));
    QTRY_VERIFY(!log.isVisible());
    log.AppendLine(QStringLiteral("while hidden"));
    log.ShowOrActivate();
    QVERIFY(log.isVisible());
    QCOMPARE(log.editor()->toPlainText(), QStringLiteral("kept\nwhile hidden\n"));
}

void TestShowLogDlg::ownWindowGoneWithItsOwner() {
    auto* owner = new QWidget;
    QPointer<CShowLogDlg> log = new CShowLogDlg(owner);
    QVERIFY(log->parentWidget() == nullptr);
    QCOMPARE(log->windowType(), Qt::Window); // own task-bar entry: no tool window, no dialog
    QVERIFY(!log->isModal());
    QCOMPARE(log->windowTitle(), QStringLiteral("程序员日志"));
    delete owner;
    QVERIFY(log.isNull());
}

QTEST_MAIN(TestShowLogDlg)
#include "tst_showlogdlg.moc"
