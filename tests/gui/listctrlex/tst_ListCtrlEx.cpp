#include "ListFixture.h"

#include "gui/listctrlex/ProgressMath.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QSignalSpy>

using namespace ListCtrlEx;

namespace {
const QRgb kBar = qRgb(51, 102, 153);

// Pixels of one colour along a horizontal line of the image.
struct Run {
    int first = -1;
    int count = 0;
};
Run RunOf(const QImage& image, int y, int x0, int x1, QRgb colour) {
    Run run;
    for (int x = x0; x <= x1; ++x) {
        if (image.pixel(x, y) == colour) {
            if (run.first < 0)
                run.first = x;
            ++run.count;
        }
    }
    return run;
}

// Records every paint region the viewport receives.
class PaintRecorder : public QObject {
public:
    QList<QRegion> regions;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            regions << static_cast<QPaintEvent*>(e)->region();
        return false;
    }
};
} // namespace

class tst_ListCtrlEx : public QObject {
    Q_OBJECT
private slots:
    void progressBar_data();
    void progressBar();
    void progressTextOption_data();
    void progressTextOption();
    void selectedRowColours();
    void untouchedCellsReadDefaults();
    void updateRepaintsOnlyItsCell();
    void leftPressNotifies_data();
    void leftPressNotifies();
    void rightPressQueued();
    void checkAndRadioClicks();
    void cellRectangles();
    void headerSort_data();
    void headerSort();
    void sortCarriesRecordsAndSelection();
    void rowsAndColumnsMoveRecords();
    void inheritedCallsKeepRecordsWithRows_data();
    void inheritedCallsKeepRecordsWithRows();
};

// Column 0 text 40 pixels, column 1 progress 104 pixels: a 101-pixel trough.
static void ProgressList(ListFixture& f) {
    f.list->InsertColumnEx(0, "Num", 40, KindText, AlignCentre, 1);
    f.list->InsertColumnEx(1, "进度", 104, KindProgress, AlignCentre);
    f.Rows({"1", "2"});
}

void tst_ListCtrlEx::progressBar_data() {
    QTest::addColumn<uint>("value");
    QTest::addColumn<uint>("maximum");
    QTest::addColumn<int>("barWidth");
    QTest::newRow("empty at 0") << 0u << 100u << 0;
    QTest::newRow("half of a 101-pixel trough") << 50u << 100u << 50;
    QTest::newRow("full at maximum") << 100u << 100u << 99;
    QTest::newRow("full above maximum") << 101u << 100u << 99;
    QTest::newRow("full at maximum 0") << 0u << 0u << 99;
}

void tst_ListCtrlEx::progressBar() {
    QFETCH(uint, value);
    QFETCH(uint, maximum);
    QFETCH(int, barWidth);
    ListFixture f;
    ProgressList(f);
    f.list->SetShowProgressText(false); // no text over the bar
    QVERIFY(f.Show());
    f.list->SetCellProgressMax(0, 1, maximum);
    f.list->SetCellProgress(0, 1, value);
    const QRect cell = f.Cell(0, 1);
    QCOMPARE(cell.width(), 104);
    const QImage image = f.Grab();
    const int troughLeft = cell.left() + 3;
    const Run run = RunOf(image, cell.center().y(), cell.left(), cell.right(), kBar);
    QCOMPARE(run.count, barWidth);
    if (barWidth > 0)
        QCOMPARE(run.first, troughLeft + 1);
    // The trough's rest is the button face; the 3 pixels before it the list's background.
    QCOMPARE(image.pixel(cell.left() + 1, cell.center().y()), qRgb(255, 255, 255));
    if (barWidth < 99)
        QCOMPARE(image.pixel(cell.right() - 3, cell.center().y()), qRgb(0, 0, 200));
}

void tst_ListCtrlEx::progressTextOption_data() {
    QTest::addColumn<bool>("showText");
    QTest::addColumn<QString>("cellText");
    QTest::addColumn<bool>("inked");
    QTest::newRow("percentage on") << true << "" << true;
    QTest::newRow("off, empty cell text") << false << "" << false;
    QTest::newRow("off, own text") << false << "ok" << true;
}

void tst_ListCtrlEx::progressTextOption() {
    QFETCH(bool, showText);
    QFETCH(QString, cellText);
    QFETCH(bool, inked);
    ListFixture f;
    ProgressList(f);
    f.list->SetShowProgressText(showText);
    f.list->SetItemText(0, 1, cellText);
    QVERIFY(f.Show());
    const QRect cell = f.Cell(0, 1);
    const QImage image = f.Grab();
    // Dark text pixels inside the trough's edge.
    const int ink = Count(image, cell.adjusted(5, 2, -2, -2),
                          [](QRgb p) { return qRed(p) < 90 && qGreen(p) < 90 && qBlue(p) < 140; });
    QCOMPARE(ink > 0, inked);
}

void tst_ListCtrlEx::selectedRowColours() {
    ListFixture f;
    f.list->InsertColumnEx(0, "Mac", 60, KindText);
    f.list->InsertColumnEx(1, "进度", 104, KindProgress);
    f.Rows({"a", "b"});
    f.list->SetItemState(0, StateSelected, StateSelected);
    QVERIFY(f.Show());
    f.list->clearFocus(); // the selection shows without focus too
    const QImage image = f.Grab();
    const QRect text0 = f.Cell(0, 0), text1 = f.Cell(1, 0);
    const QRect bar0 = f.Cell(0, 1), bar1 = f.Cell(1, 1);
    QCOMPARE(image.pixel(text0.right() - 1, text0.bottom() - 1), qRgb(200, 0, 0));
    QCOMPARE(image.pixel(bar0.left() + 1, bar0.center().y()), qRgb(200, 0, 0));
    QCOMPARE(image.pixel(bar0.right() - 3, bar0.bottom() - 3), qRgb(0, 200, 0));
    QCOMPARE(image.pixel(text1.right() - 1, text1.bottom() - 1), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(bar1.left() + 1, bar1.center().y()), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(bar1.right() - 3, bar1.bottom() - 3), qRgb(0, 0, 200));
    // Selected text is drawn in the highlight text colour.
    QVERIFY(Count(image, text0,
                  [](QRgb p) { return qRed(p) > 220 && qGreen(p) > 220 && qBlue(p) < 80; }) > 0);
}

void tst_ListCtrlEx::untouchedCellsReadDefaults() {
    ListFixture f;
    ProgressList(f);
    QCOMPARE(f.list->GetCellProgress(0, 1), 0);
    QCOMPARE(f.list->GetCellProgressMax(0, 1), 100);
    QCOMPARE(f.list->GetCellProgress(50, 9), 0); // no such cell either
    // A row that does not exist yet keeps what it is given, silently.
    QSignalSpy enabled(f.list, &CListCtrlEx::CellEnableChanged);
    f.list->SetCellEnabled(5, 1, false);
    QVERIFY(!f.list->GetCellEnabled(5, 1));
    QCOMPARE(enabled.count(), 0);
    f.list->SetCellEnabled(1, 1, false);
    QCOMPARE(enabled.at(0).at(0).value<CellFlagRecord>(), (CellFlagRecord{1, 1, false}));
}

void tst_ListCtrlEx::updateRepaintsOnlyItsCell() {
    ListFixture f;
    ProgressList(f);
    QVERIFY(f.Show());
    QCoreApplication::processEvents();
    PaintRecorder recorder;
    f.list->viewport()->installEventFilter(&recorder);
    f.list->SetCellProgress(1, 1, 40); // painted before it returns
    QCOMPARE(recorder.regions.size(), 1);
    QCOMPARE(recorder.regions.at(0).boundingRect(), f.Cell(1, 1));
    f.list->SetCellProgressMax(1, 1, 80);
    QCOMPARE(recorder.regions.size(), 2);
    QCOMPARE(recorder.regions.at(1).boundingRect(), f.Cell(1, 1));
    const QImage image = f.Grab();
    const QRect cell = f.Cell(1, 1);
    QCOMPARE(RunOf(image, cell.center().y(), cell.left(), cell.right(), kBar).count, 50);
}

void tst_ListCtrlEx::leftPressNotifies_data() {
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("insideCell");
    QTest::addColumn<int>("notifications");
    QTest::newRow("plain") << int(Qt::NoModifier) << true << 1;
    QTest::newRow("ctrl") << int(Qt::ControlModifier) << true << 0;
    QTest::newRow("shift") << int(Qt::ShiftModifier) << true << 0;
    QTest::newRow("outside any cell") << int(Qt::NoModifier) << false << 1;
}

void tst_ListCtrlEx::leftPressNotifies() {
    QFETCH(int, modifiers);
    QFETCH(bool, insideCell);
    QFETCH(int, notifications);
    ListFixture f;
    ProgressList(f);
    QVERIFY(f.Show());
    QSignalSpy spy(f.list, &CListCtrlEx::CellLButtonDown);
    const QPoint point = insideCell ? f.Cell(1, 1).center() : QPoint(400, 250);
    QTest::mousePress(f.list->viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifiers), point);
    QCOMPARE(spy.count(), notifications);
    if (notifications) {
        const CellHit expected = insideCell ? CellHit{1, 1} : CellHit{};
        QCOMPARE(spy.at(0).at(0).value<CellHit>(), expected);
    }
    if (insideCell)
        QVERIFY(f.list->IsRowSelected(1)); // the list's own selection still ran
    QTest::mouseRelease(f.list->viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifiers),
                        point);
}

void tst_ListCtrlEx::rightPressQueued() {
    ListFixture f;
    ProgressList(f);
    QVERIFY(f.Show());
    QSignalSpy right(f.list, &CListCtrlEx::CellRButtonDown);
    QTest::mousePress(f.list->viewport(), Qt::RightButton, {}, f.Cell(0, 0).center());
    QCOMPARE(right.count(), 0); // after the list's own handling
    QTRY_COMPARE(right.count(), 1);
    QCOMPARE(right.at(0).at(0).value<CellHit>(), (CellHit{0, 0}));
    QTest::mouseRelease(f.list->viewport(), Qt::RightButton, {}, f.Cell(0, 0).center());
}

void tst_ListCtrlEx::checkAndRadioClicks() {
    ListFixture f;
    f.list->InsertColumnEx(0, "on", 80, KindCheckBox);
    f.list->InsertColumnEx(1, "pick", 80, KindRadio);
    f.list->InsertColumnEx(2, "pick too", 80, KindRadio);
    f.Rows({"a", "b"});
    f.list->SetCellRadioGroup(0, 2, 1); // (0,2) shares column 1's group
    QVERIFY(f.Show());
    QSignalSpy clicked(f.list, &CListCtrlEx::CellCheckClicked);
    QSignalSpy changed(f.list, &CListCtrlEx::CellCheckChanged);
    auto square = [&](int row, int column) {
        const QRect cell = f.Cell(row, column);
        return QPoint(cell.left() + 7 + cell.height() / 2, cell.center().y());
    };
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, square(0, 0));
    QVERIFY(f.list->GetCellChecked(0, 0));
    QCOMPARE(clicked.at(0).at(0).value<CellFlagRecord>(), (CellFlagRecord{0, 0, true}));
    QCOMPARE(changed.count(), 1);
    // Beside the box the click only selects.
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {},
                      f.Cell(0, 0).topRight() + QPoint(-3, 3));
    QVERIFY(f.list->GetCellChecked(0, 0));
    QCOMPARE(clicked.count(), 1);
    // A disabled box does not toggle.
    f.list->SetCellEnabled(1, 0, false);
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, square(1, 0));
    QVERIFY(!f.list->GetCellChecked(1, 0));
    // Radio cells of one group exclude each other, across columns.
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, square(1, 1));
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, square(0, 2));
    QVERIFY(f.list->GetCellChecked(0, 2));
    QVERIFY(!f.list->GetCellChecked(1, 1));
}

void tst_ListCtrlEx::cellRectangles() {
    ListFixture one;
    one.list->InsertColumnEx(0, "only", 120, KindText);
    one.Rows({"x", "y"});
    QVERIFY(one.Show());
    const QRect row = one.list->visualRect(one.list->model()->index(0, 0));
    QCOMPARE(one.Cell(0, 0), row);
    QCOMPARE(one.Cell(0, 0).width(), 120);
    QCOMPARE(one.list->CellHitTest(row.center()), (CellHit{0, 0}));
    QCOMPARE(one.list->CellHitTest(QPoint(300, 5)), CellHit{});
    QRect r;
    QVERIFY(!one.list->GetCellRect(2, 0, r));
    QVERIFY(!one.list->GetCellRect(0, 1, r));
    QVERIFY(!one.list->GetCellRect(-1, 0, r));
}

void tst_ListCtrlEx::headerSort_data() {
    QTest::addColumn<int>("rule");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("expected");
    const QStringList rows{"9", "a", "10", "1.9", "-3", "1.2", ""};
    QTest::newRow("numbers, first click descending")
        << 1 << 1 << QStringList{"a", "10", "9", "1.9", "1.2", "", "-3"};
    QTest::newRow("numbers, second click ascending")
        << 1 << 2 << QStringList{"-3", "", "1.9", "1.2", "9", "10", "a"};
    QTest::newRow("text ascending")
        << 0 << 2 << QStringList{"", "-3", "1.2", "1.9", "10", "9", "a"};
}

void tst_ListCtrlEx::headerSort() {
    QFETCH(int, rule);
    QFETCH(int, clicks);
    QFETCH(QStringList, expected);
    ListFixture f;
    f.list->InsertColumnEx(0, "Num", 60, KindText, AlignCentre, rule);
    f.Rows({"9", "a", "10", "1.9", "-3", "1.2", ""});
    f.list->SetSortOnHeaderClick(true);
    QVERIFY(f.Show());
    QHeaderView* header = f.list->header();
    const QPoint centre(header->sectionViewportPosition(0) + 10, header->height() / 2);
    for (int i = 0; i < clicks; ++i)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
    QStringList order;
    for (int row = 0; row < f.list->GetItemCount(); ++row)
        order << f.list->GetItemText(row, 0);
    QCOMPARE(order, expected);
    QCOMPARE(f.list->GetColumnSortAscending(0), clicks % 2 == 0);
}

void tst_ListCtrlEx::sortCarriesRecordsAndSelection() {
    ListFixture f;
    ProgressList(f); // rows "1", "2"
    f.Rows({"3"});
    f.list->SetItemText(0, 0, "30");
    f.list->SetItemText(2, 0, "4");
    for (int row = 0; row < 3; ++row) {
        f.list->SetCellProgress(row, 1, f.list->GetItemText(row, 0).toUInt());
        f.list->SetItemData(row, 100 + row);
    }
    f.list->SetItemState(0, StateSelected, StateSelected);
    QHeaderView* header = f.list->header();
    QVERIFY(f.Show());
    // Without the option a header click changes nothing.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    QCOMPARE(f.list->GetItemText(0, 0), "30");
    f.list->SetSortOnHeaderClick(true);
    f.list->SetColumnSortAscending(0, false); // next click: ascending
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(10, header->height() / 2));
    const QStringList texts{"2", "4", "30"};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(f.list->GetItemText(row, 0), texts[row]);
        QCOMPARE(f.list->GetCellProgress(row, 1), texts[row].toInt());
    }
    QCOMPARE(f.list->GetItemData(2), quintptr(100));
    QVERIFY(f.list->IsRowSelected(2));
    QVERIFY(!f.list->IsRowSelected(0));
}

// Rows and columns inserted or deleted take their cell records along.
void tst_ListCtrlEx::rowsAndColumnsMoveRecords() {
    ListFixture f;
    ProgressList(f);
    f.Rows({"3"});
    for (int row = 0; row < 3; ++row)
        f.list->SetCellProgress(row, 1, quint32(10 * (row + 1)));
    QVERIFY(f.list->DeleteItem(1));
    QCOMPARE(f.list->GetCellProgress(1, 1), 30);
    QCOMPARE(f.list->GetCellProgress(2, 1), 0);
    QVERIFY(!f.list->DeleteItem(2));
    QCOMPARE(f.list->InsertItem(0, "0"), 0);
    QCOMPARE(f.list->GetCellProgress(1, 1), 10);
    QCOMPARE(f.list->InsertColumnEx(0, "front", 25, KindEdit, AlignRight, 0), 0);
    QCOMPARE(f.list->GetItemText(1, 1), "1");
    QCOMPARE(f.list->GetColumnSortRule(1), 1);
    QCOMPARE(f.list->GetColumnKind(2), int(KindProgress));
    QCOMPARE(f.list->GetCellProgress(1, 2), 10);
    QVERIFY(f.list->DeleteColumn(1));
    QCOMPARE(f.list->GetColumnSortRule(1), 0);
    QCOMPARE(f.list->GetColumnWidth(1), 104);
    QCOMPARE(f.list->GetCellProgress(2, 1), 30);
    QVERIFY(!f.list->DeleteColumn(2));
    QCOMPARE(f.list->InsertColumnEx(-1, "no", 10), -1);
    QVERIFY(f.list->DeleteAllItems());
    QCOMPARE(f.list->GetCellProgress(1, 1), 0);
}

enum InheritedCall { SortItems, TakeAndInsert, Clear };

void tst_ListCtrlEx::inheritedCallsKeepRecordsWithRows_data() {
    QTest::addColumn<int>("call");
    QTest::addColumn<QStringList>("rows"); // text:progress, top down
    QTest::newRow("sortItems") << int(SortItems) << QStringList{"3:30", "2:20", "1:10"};
    QTest::newRow("takeTopLevelItem, insertTopLevelItem")
        << int(TakeAndInsert) << QStringList{"3:30", "1:10", "2:20"};
    QTest::newRow("clear, then new rows") << int(Clear) << QStringList{"1:0", "2:0"};
}

// QTreeWidget's own calls reach the rows too; no row may show another's progress.
void tst_ListCtrlEx::inheritedCallsKeepRecordsWithRows() {
    QFETCH(int, call);
    QFETCH(QStringList, rows);
    ListFixture f;
    ProgressList(f); // rows "1", "2"
    f.list->addTopLevelItem(new QTreeWidgetItem(QStringList{"3"}));
    for (int row = 0; row < 3; ++row)
        f.list->SetCellProgress(row, 1, 10 * f.list->GetItemText(row, 0).toUInt());
    switch (call) {
    case SortItems:
        f.list->sortItems(0, Qt::DescendingOrder);
        break;
    case TakeAndInsert:
        f.list->insertTopLevelItem(0, f.list->takeTopLevelItem(2));
        break;
    case Clear:
        f.list->clear();
        f.Rows({"1", "2"});
        break;
    }
    QStringList shown;
    for (int row = 0; row < f.list->GetItemCount(); ++row)
        shown << f.list->GetItemText(row, 0) + ':' +
                     QString::number(f.list->GetCellProgress(row, 1));
    QCOMPARE(shown, rows);
}

QTEST_MAIN(tst_ListCtrlEx)
#include "tst_ListCtrlEx.moc"
