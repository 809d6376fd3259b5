#include "gui/listctrlex/ProgressMath.h"
#include "gui/listctrlex/SortRule.h"

#include <QTest>

using namespace ListCtrlEx;

class tst_ListFormats : public QObject {
    Q_OBJECT
private slots:
    void compareTexts_data();
    void compareTexts();
    void progress_data();
    void progress();
};

void tst_ListFormats::compareTexts_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("rule");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<int>("sign");
    auto row = [](const char* name, const QString& a, const QString& b, int rule, bool up,
                  int sign) { QTest::newRow(name) << a << b << rule << up << sign; };
    row("10 after 9", "10", "9", 1, true, 1);
    row("10 before 9 descending", "10", "9", 1, false, -1);
    row("10 before 9 as text", "10", "9", 0, true, -1);
    row("fraction ignored", "1.9", "1.2", 1, true, 0);
    row("letter against digit as text", "a", "9", 1, true, 1);
    row("negative", "-5", "3", 1, true, -1);
    row("empty reads as 0", "", "0", 1, true, 0);
    row("trailing minus is text", "5-", "40", 1, true, 1);
    row("no overflow", "99999999999999999999999", "-99999999999999999999999", 1, true, 1);
    // GBK lead bytes lie above ASCII; 啊 B0A1 before 阿 B0A2
    row("chinese after latin", "啊", "z", 0, true, 1);
    row("code page order", "啊", "阿", 0, true, -1);
}

void tst_ListFormats::compareTexts() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, rule);
    QFETCH(bool, ascending);
    QFETCH(int, sign);
    const int result = CompareCellTexts(a, b, rule, ascending);
    QCOMPARE((result > 0) - (result < 0), sign);
    const int reverse = CompareCellTexts(b, a, rule, ascending);
    QCOMPARE((reverse > 0) - (reverse < 0), -sign);
}

void tst_ListFormats::progress_data() {
    QTest::addColumn<uint>("value");
    QTest::addColumn<uint>("maximum");
    QTest::addColumn<int>("troughWidth");
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << 0u << 100u << 101 << 0 << "0.00%";
    QTest::newRow("half of 101") << 50u << 100u << 101 << 50 << "50.00%";
    QTest::newRow("full") << 100u << 100u << 101 << 99 << "100.00%";
    QTest::newRow("above maximum") << 250u << 100u << 101 << 99 << "100.00%";
    QTest::newRow("maximum 0") << 3u << 0u << 101 << 99 << "100.00%";
    QTest::newRow("third") << 1u << 3u << 60 << 20 << "33.33%";
    QTest::newRow("huge values") << 4000000000u << 4294967295u << 200 << 186 << "93.13%";
    QTest::newRow("trough without inside") << 50u << 100u << 2 << 0 << "50.00%";
}

void tst_ListFormats::progress() {
    QFETCH(uint, value);
    QFETCH(uint, maximum);
    QFETCH(int, troughWidth);
    QFETCH(int, barWidth);
    QFETCH(QString, text);
    const float f = ProgressFraction(value, maximum);
    QCOMPARE(ProgressText(f), text);
    const QRect trough(10, 5, troughWidth, 20);
    const QRect bar = ProgressBarRect(trough, f);
    QCOMPARE(bar.width(), barWidth);
    if (barWidth > 0) {
        QCOMPARE(bar.left(), trough.left() + 1);
        QCOMPARE(bar.top(), trough.top() + 1);
        QCOMPARE(bar.height(), trough.height() - 2);
        QVERIFY(bar.right() <= trough.right() - 1);
    }
}

QTEST_GUILESS_MAIN(tst_ListFormats)
#include "tst_ListFormats.moc"
