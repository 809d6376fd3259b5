// The extended list control as the device list uses it: painting, cell
// records, rows moved under them.
#include "gui/listctrlex/CListCtrlEx.h"
#include "gui/listctrlex/ProgressMath.h"
#include "gui/listctrlex/SortRule.h"
#include "tests/gui/Columns.h"

#include <QHeaderView>
#include <QTest>

using namespace ListCtrlEx;

namespace {

// A shown list in an owner window, in plain colours that the pixel checks tell
// apart.
struct Fixture {
    std::unique_ptr<QWidget> owner = std::make_unique<QWidget>();
    CListCtrlEx* list = new CListCtrlEx(owner.get());
    Fixture() {
        QPalette pal = list->palette();
        pal.setColor(QPalette::Base, QColor(255, 255, 255));
        pal.setColor(QPalette::Text, QColor(0, 0, 0));
        pal.setColor(QPalette::Highlight, QColor(200, 0, 0));
        pal.setColor(QPalette::HighlightedText, QColor(255, 255, 0));
        pal.setColor(QPalette::Link, QColor(0, 200, 0));   // a selected row's trough
        pal.setColor(QPalette::Button, QColor(0, 0, 200)); // the other troughs
        list->setPalette(pal);
        owner->resize(500, 300);
        list->setGeometry(0, 0, 500, 300);
    }
    bool Show() {
        owner->show();
        return QTest::qWaitForWindowExposed(owner.get());
    }
    QRect Cell(int row, int column) const {
        QRect r;
        list->GetCellRect(row, column, r);
        return r;
    }
    void Rows(const QStringList& firstColumn) {
        for (const QString& text : firstColumn)
            list->InsertItem(list->GetItemCount(), text);
    }
    // Text 40 pixels, progress 104 pixels (a 101-pixel trough); rows "1", "2".
    void ProgressColumns() {
        list->InsertColumnEx(0, "Num", 40, KindText, AlignCentre, SortNumeric);
        list->InsertColumnEx(1, "进度", 104, KindProgress);
        Rows({"1", "2"});
    }
};

// Pixels of the area that pass the test, and the leftmost one's x.
template <typename Test>
int Count(const QImage& image, const QRect& area, Test test, int* firstX = nullptr) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.right(); x >= area.left(); --x)
            if (test(image.pixel(x, y))) {
                ++n;
                if (firstX)
                    *firstX = x;
            }
    return n;
}
const auto Ink = [](QRgb p) { return qRed(p) < 90 && qGreen(p) < 90 && qBlue(p) < 140; };
const auto HighlightText = [](QRgb p) { return qRed(p) > 220 && qGreen(p) > 220 && qBlue(p) < 80; };
} // namespace

class tst_ListCtrlEx : public QObject {
    Q_OBJECT
private slots:
    void progressCell_data() {
        // barWidth: in a 101-pixel trough
        Columns<uint, uint, int, QString, bool, QString>(
            "value", "maximum", "barWidth", "percentage", "showPercentage", "cellText");
        QTest::newRow("empty") << 0u << 100u << 0 << "0.00%" << false << "";
        QTest::newRow("third") << 1u << 3u << 33 << "33.33%" << false << "";
        QTest::newRow("above maximum") << 250u << 100u << 99 << "100.00%" << false << "";
        QTest::newRow("maximum 0") << 3u << 0u << 99 << "100.00%" << false << "";
        QTest::newRow("huge") << 4000000000u << 4294967295u << 94 << "93.13%" << false << "";
        QTest::newRow("percentage shown") << 0u << 100u << 0 << "0.00%" << true << "";
        QTest::newRow("own text shown") << 0u << 100u << 0 << "0.00%" << false << "ok";
    }
    void progressCell() {
        QFETCH(uint, value);
        QFETCH(uint, maximum);
        QFETCH(int, barWidth);
        QFETCH(bool, showPercentage);
        QFETCH(QString, cellText);
        QTEST(ProgressText(ProgressFraction(value, maximum)), "percentage");
        Fixture f;
        f.ProgressColumns();
        f.list->SetShowProgressText(showPercentage);
        f.list->SetItemText(0, 1, cellText);
        f.list->SetItemState(1, StateSelected, StateSelected); // row 1 stays at 0
        QVERIFY(f.Show());
        f.list->clearFocus(); // the selection shows without focus too
        f.list->SetCellProgressMax(0, 1, maximum);
        f.list->SetCellProgress(0, 1, value);
        const QImage image = f.list->viewport()->grab().toImage();
        const QRect cell = f.Cell(0, 1);
        int first = -1;
        const auto bar = [](QRgb p) { return p == qRgb(51, 102, 153); };
        QCOMPARE(Count(image, QRect(cell.left(), cell.center().y(), cell.width(), 1), bar, &first),
                 barWidth);
        // The trough begins 3 pixels into the cell, the bar inside its 1-pixel
        // edge.
        QCOMPARE(first, barWidth ? cell.left() + 4 : -1);
        // Text inside the trough: the percentage, or else the cell's own.
        QCOMPARE(Count(image, cell.adjusted(5, 2, -2, -2), Ink) > 0,
                 showPercentage || !cellText.isEmpty());
        // Beside the trough the row's background; a selected row's trough has a
        // colour of its own.
        const QRect selected = f.Cell(1, 1);
        QCOMPARE(image.pixel(cell.left() + 1, cell.center().y()), qRgb(255, 255, 255));
        QCOMPARE(image.pixel(selected.left() + 1, selected.center().y()), qRgb(200, 0, 0));
        QCOMPARE(image.pixel(selected.right() - 3, selected.bottom() - 3), qRgb(0, 200, 0));
        if (barWidth == 0)
            QCOMPARE(image.pixel(cell.right() - 3, cell.bottom() - 3), qRgb(0, 0, 200));
        QVERIFY(Count(image, f.Cell(1, 0), HighlightText) > 0);
    }

    // Rows and columns inserted or deleted take their texts, settings and records
    // along.
    void rowsAndColumnsMoveRecords() {
        Fixture f;
        f.ProgressColumns();
        QCOMPARE(f.list->GetCellProgressMax(0, 1), 100); // untouched: 0 of 100
        f.list->SetCellProgress(2, 1, 30);               // before its row exists
        f.Rows({"3"});
        f.list->SetCellProgress(0, 1, 10);
        QVERIFY(f.list->DeleteItem(1) && !f.list->DeleteItem(2));
        QCOMPARE(f.list->InsertItem(0, "0"), 0);
        QCOMPARE(f.list->GetCellProgress(2, 1), 30);
        QCOMPARE(f.list->InsertColumnEx(0, "front", 25, KindEdit, AlignRight), 0);
        QCOMPARE(f.list->GetItemText(1, 1), "1");
        QCOMPARE(f.list->GetColumnSortRule(1), int(SortNumeric));
        QCOMPARE(f.list->GetCellProgress(1, 2), 10);
        QVERIFY(f.list->DeleteColumn(1) && !f.list->DeleteColumn(2));
        QCOMPARE(f.list->GetColumnKind(1), int(KindProgress));
        QCOMPARE(f.list->GetColumnWidth(1), 104);
        QCOMPARE(f.list->GetCellProgress(2, 1), 30);
    }

    void rowsKeepRecordsAndSelection_data() {
        // rows: text:progress top down, * when selected
        Columns<int, QString>("call", "rows");
        QTest::newRow("sortItems") << 0 << "2:2 30:30* 4:4";
        QTest::newRow("takeTopLevelItem, insertTopLevelItem") << 1 << "4:4 30:30* 2:2";
        QTest::newRow("clear, then new rows") << 2 << "1:0 2:0";
        QTest::newRow("header click, sorting off") << 3 << "30:30* 2:2 4:4";
        QTest::newRow("header click: numbers, descending first") << 4 << "30:30* 4:4 2:2";
        QTest::newRow("header clicked twice") << 5 << "2:2 4:4 30:30*";
    }
    // Fault once: records kept by row index stayed behind when QTreeWidget's
    // own calls or a header-click sort moved the rows, and a row showed
    // another board's progress.
    void rowsKeepRecordsAndSelection() {
        QFETCH(int, call);
        Fixture f;
        f.ProgressColumns();
        f.list->addTopLevelItem(new QTreeWidgetItem(QStringList{"4"}));
        f.list->SetItemText(0, 0, "30");
        for (int row = 0; row < 3; ++row)
            f.list->SetCellProgress(row, 1, f.list->GetItemText(row, 0).toUInt());
        f.list->SetItemState(0, StateSelected, StateSelected);
        QVERIFY(f.Show());
        f.list->SetSortOnHeaderClick(call > 3);
        if (call == 0)
            f.list->sortItems(0, Qt::AscendingOrder);
        if (call == 1)
            f.list->insertTopLevelItem(0, f.list->takeTopLevelItem(2));
        if (call == 2) {
            f.list->clear();
            f.Rows({"1", "2"});
        }
        for (int click = 3; click <= call; click += 2) // rows 3 and 4 click once, 5 twice
            QTest::mouseClick(f.list->header()->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
        QStringList shown;
        for (int row = 0; row < f.list->GetItemCount(); ++row)
            shown << QStringLiteral("%1:%2%3")
                         .arg(f.list->GetItemText(row, 0))
                         .arg(f.list->GetCellProgress(row, 1))
                         .arg(f.list->IsRowSelected(row) ? "*" : "");
        QTEST(shown.join(' '), "rows");
    }
};

QTEST_MAIN(tst_ListCtrlEx)
#include "tst_ListCtrlEx.moc"
