#include "gui/listctrlex/CellStore.h"
#include "gui/listctrlex/ProgressMath.h"
#include "gui/listctrlex/SortRule.h"

#include <QTest>

using namespace ListCtrlEx;

class tst_ListFormats : public QObject {
    Q_OBJECT
private slots:
    void compareTexts_data();
    void compareTexts();
    void numberText_data();
    void numberText();
    void progress_data();
    void progress();
    void storeMoves_data();
    void storeMoves();
};

void tst_ListFormats::compareTexts_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("rule");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<int>("sign");
    QTest::newRow("10 after 9") << "10"
                                << "9" << 1 << true << 1;
    QTest::newRow("10 before 9 descending") << "10"
                                            << "9" << 1 << false << -1;
    QTest::newRow("10 before 9 as text") << "10"
                                         << "9" << 0 << true << -1;
    QTest::newRow("fraction ignored") << "1.9"
                                      << "1.2" << 1 << true << 0;
    QTest::newRow("letter against digit as text") << "a"
                                                  << "9" << 1 << true << 1;
    QTest::newRow("negative") << "-5"
                              << "3" << 1 << true << -1;
    QTest::newRow("empty reads as 0") << ""
                                      << "0" << 1 << true << 0;
    QTest::newRow("trailing minus is text") << "5-"
                                            << "40" << 1 << true << 1;
    QTest::newRow("two dots is text") << "1..2"
                                      << "10" << 1 << true << -1;
    QTest::newRow("no overflow") << "99999999999999999999999"
                                 << "-99999999999999999999999" << 1 << true << 1;
    QTest::newRow("prefix first") << "ab"
                                  << "abc" << 0 << true << -1;
    QTest::newRow("equal") << "Mac"
                           << "Mac" << 0 << false << 0;
    // GBK lead bytes lie above ASCII; 啊 B0A1 before 阿 B0A2
    QTest::newRow("chinese after latin") << "啊"
                                         << "z" << 0 << true << 1;
    QTest::newRow("code page order") << "啊"
                                     << "阿" << 0 << true << -1;
    QTest::newRow("unknown rule compares text") << "10"
                                                << "9" << 7 << true << -1;
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

void tst_ListFormats::numberText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<qint64>("value");
    QTest::newRow("empty") << "" << true << qint64(0);
    QTest::newRow("digits") << "0042" << true << qint64(42);
    QTest::newRow("fraction") << "12.75" << true << qint64(12);
    QTest::newRow("leading dot") << ".5" << true << qint64(0);
    QTest::newRow("minus") << "-17" << true << qint64(-17);
    QTest::newRow("lone minus") << "-" << true << qint64(0);
    QTest::newRow("inner minus") << "1-2" << false << qint64(1);
    QTest::newRow("two dots") << "1.2.3" << false << qint64(1);
    QTest::newRow("space") << " 1" << false << qint64(0);
    QTest::newRow("letters") << "12ab" << false << qint64(12);
}

void tst_ListFormats::numberText() {
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(qint64, value);
    QCOMPARE(IsNumberText(text), number);
    QCOMPARE(NumberTextValue(text), value);
}

void tst_ListFormats::progress_data() {
    QTest::addColumn<uint>("value");
    QTest::addColumn<uint>("maximum");
    QTest::addColumn<int>("troughWidth");
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << 0u << 100u << 101 << 0 << "0.00%";
    QTest::newRow("one") << 1u << 100u << 101 << 1 << "1.00%";
    QTest::newRow("half of 101") << 50u << 100u << 101 << 50 << "50.00%";
    QTest::newRow("full") << 100u << 100u << 101 << 99 << "100.00%";
    QTest::newRow("above maximum") << 250u << 100u << 101 << 99 << "100.00%";
    QTest::newRow("maximum 0") << 3u << 0u << 101 << 99 << "100.00%";
    QTest::newRow("both 0") << 0u << 0u << 101 << 99 << "100.00%";
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

// Records sit on rows 0..2 of a 3-row list with progress = 10 * row, plus one
// stored for row 7, which the list does not have.
void tst_ListFormats::storeMoves_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("expected"); // row:progress of every record
    QTest::newRow("append") << "open" << 3 << "0:0 1:10 2:20 7:70";
    QTest::newRow("insert above") << "open" << 1 << "0:0 2:10 3:20 7:70";
    QTest::newRow("delete first") << "drop" << 0 << "0:10 1:20 7:70";
    QTest::newRow("delete last") << "drop" << 2 << "0:0 1:10 7:70";
    QTest::newRow("reverse") << "reorder" << 0 << "0:20 1:10 2:0 7:70";
}

void tst_ListFormats::storeMoves() {
    QFETCH(QString, op);
    QFETCH(int, at);
    QFETCH(QString, expected);
    CellStore store;
    for (int row : {0, 1, 2, 7})
        store.Touch(row, 2).m_dwProgress = quint32(10 * row);
    if (op == "open")
        store.OpenRow(at, 3);
    else if (op == "drop")
        store.DropRow(at, 3);
    else
        store.Reorder({2, 1, 0});
    QStringList seen;
    store.ForEach([&](int row, int column, ListCellData& d) {
        QCOMPARE(column, 2);
        QCOMPARE(d.m_nRadioGroup, 2);
        seen << QStringLiteral("%1:%2").arg(row).arg(d.m_dwProgress);
    });
    QCOMPARE(seen.join(' '), expected);
}

QTEST_GUILESS_MAIN(tst_ListFormats)
#include "tst_ListFormats.moc"
