#include "ListFixture.h"

#include "gui/listctrlex/CInPlaceCombo.h"
#include "gui/listctrlex/CInPlaceEdit.h"
#include "gui/listctrlex/CListCtrlExSortHead.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardItemModel>

using namespace ListCtrlEx;

// Column 1 is an edit column, column 2 a drop-down column.
static void EditorList(ListFixture& f) {
    f.list->SetControlId(1030);
    f.list->InsertColumnEx(0, "Num", 40, KindText);
    f.list->InsertColumnEx(1, "Mac", 120, KindEdit, AlignLeft);
    f.list->InsertColumnEx(2, "Mode", 120, KindCombo, AlignLeft);
    f.Rows({"1", "2", "3"});
    for (int row = 0; row < 3; ++row)
        f.list->SetItemText(row, 1, QStringLiteral("1%1").arg(row));
}

class tst_InPlaceEditors : public QObject {
    Q_OBJECT
private slots:
    void editKeys_data();
    void editKeys();
    void editPaste_data();
    void editPaste();
    void clickOpensEditorWithRecords();
    void refusedCells_data();
    void refusedCells();
    void comboSelection_data();
    void comboSelection();
    void comboChoosingCommits();
    void newEditWhileOldWindowCloses();
    void editFinishedBeforeRowsMove();
    void listDestroyedWhileEditing();
    void endEditHandlerDestroysList_data();
    void endEditHandlerDestroysList();
    void sortArrow_data();
    void sortArrow();
};

void tst_InPlaceEditors::editKeys_data() {
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("backspace");
    QTest::addColumn<int>("endKey");
    QTest::addColumn<QString>("stored");
    auto row = [](const char* name, const char* allowed, const char* typed, bool backspace,
                  int endKey, const char* stored) {
        QTest::newRow(name) << QString(allowed) << QString(typed) << backspace << endKey
                            << QString(stored);
    };
    row("digits: letter dropped", "0123456789", "3a4", false, Qt::Key_Return, "34");
    row("digits: backspace works", "0123456789", "567", true, Qt::Key_Return, "56");
    row("escape restores", "0123456789", "99", false, Qt::Key_Escape, "11");
    row("any character, keypad enter", "", "a-Z !", false, Qt::Key_Enter, "a-Z !");
}

void tst_InPlaceEditors::editKeys() {
    QFETCH(QString, allowed);
    QFETCH(QString, typed);
    QFETCH(bool, backspace);
    QFETCH(int, endKey);
    QFETCH(QString, stored);
    ListFixture f;
    EditorList(f);
    f.list->SetCellAllowedChars(1, 1, allowed);
    QVERIFY(f.Show());
    QSignalSpy ended(f.list, &CListCtrlEx::CellEndEdit);
    f.list->EditCell(1, 1);
    CInPlaceEdit* edit = CInPlaceEdit::Instance();
    QVERIFY(edit && edit->IsEditing());
    QCOMPARE(edit->selectedText(), "11");
    QTest::keyClicks(edit, typed);
    if (backspace)
        QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key(endKey));
    QCOMPARE(f.list->GetItemText(1, 1), stored);
    QCOMPARE(ended.count(), 1);
    const auto record = ended.at(0).at(1).value<EndEditRecord>();
    QCOMPARE(ended.at(0).at(0).toInt(), 1030);
    QCOMPARE(record.sourceId, int(EndEditRecord::IdInPlaceEdit));
    QCOMPARE(record.text, stored);
    QCOMPARE((CellHit{record.row, record.column}), (CellHit{1, 1}));
    QVERIFY(!edit->IsEditing());
    QTRY_VERIFY(!edit->HasWindow());
}

void tst_InPlaceEditors::editPaste_data() {
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("result");
    QTest::newRow("two digits") << "0123456789" << QString("42") << "1042";
    QTest::newRow("digits and a letter") << "0123456789" << QString("4x2") << "10";
    QTest::newRow("anything goes") << "" << QString("4x2") << "104x2";
}

void tst_InPlaceEditors::editPaste() {
    QFETCH(QString, allowed);
    QFETCH(QString, clipboard);
    QFETCH(QString, result);
    ListFixture f;
    EditorList(f);
    f.list->SetCellAllowedChars(0, 1, allowed);
    QVERIFY(f.Show());
    QGuiApplication::clipboard()->setText(clipboard);
    f.list->EditCell(0, 1);
    CInPlaceEdit* edit = CInPlaceEdit::Instance();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), result);
    // Copy and cut pass whatever the allowed characters.
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit->text(), "");
    QCOMPARE(QGuiApplication::clipboard()->text(), result);
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(f.list->GetItemText(0, 1), "10");
}

void tst_InPlaceEditors::clickOpensEditorWithRecords() {
    ListFixture f;
    EditorList(f);
    QVERIFY(f.Show());
    QStringList order;
    connect(f.list, &CListCtrlEx::CellBeforeEdit, f.list,
            [&](CellHit h) { order << QStringLiteral("9033 %1,%2").arg(h.row).arg(h.column); });
    connect(f.list, &CListCtrlEx::CellLButtonDown, f.list,
            [&](CellHit h) { order << QStringLiteral("9025 %1,%2").arg(h.row).arg(h.column); });
    connect(f.list, &CListCtrlEx::CellEndEdit, f.list, [&](int, EndEditRecord r) {
        order << QStringLiteral("9032 %1,%2 %3").arg(r.row).arg(r.column).arg(r.text);
    });
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, f.Cell(2, 1).center());
    CInPlaceEdit* edit = CInPlaceEdit::Instance();
    QVERIFY(edit && edit->IsEditing());
    QCOMPARE(edit->geometry(), f.Cell(2, 1));
    QCOMPARE(edit->parentWidget(), f.list->viewport());
    QCOMPARE(edit->font(), f.list->font());
    QTest::keyClicks(edit, "77");
    // Clicking into the list ends the edit through the focus change.
    QTest::mouseClick(f.list->viewport(), Qt::LeftButton, {}, f.Cell(0, 0).center());
    QTRY_COMPARE(order.size(), 4);
    QCOMPARE(order, (QStringList{"9033 2,1", "9025 2,1", "9032 2,1 77", "9025 0,0"}));
    QCOMPARE(f.list->GetItemText(2, 1), "77");
}

void tst_InPlaceEditors::refusedCells_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("negative row") << -1 << 1;
    QTest::newRow("row past the end") << 3 << 1;
    QTest::newRow("column past the end") << 0 << 3;
    QTest::newRow("text column") << 0 << 0;
}

void tst_InPlaceEditors::refusedCells() {
    QFETCH(int, row);
    QFETCH(int, column);
    ListFixture f;
    EditorList(f);
    f.list->SetColumnKind(3, KindEdit); // a kind alone makes no column
    QVERIFY(f.Show());
    QSignalSpy before(f.list, &CListCtrlEx::CellBeforeEdit);
    f.list->EditCell(row, column);
    QCOMPARE(before.count(), 0);
    QVERIFY(!CInPlaceEdit::Instance() || !CInPlaceEdit::Instance()->IsEditing());
    QVERIFY(!CInPlaceEdit::GetInstance()->Open(f.list, row, column == 0 ? 5 : column));
    QVERIFY(!CInPlaceCombo::GetInstance()->Open(f.list, row, column == 0 ? 5 : column));
    QCOMPARE(before.count(), 0);
}

void tst_InPlaceEditors::comboSelection_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("escape"); // after choosing entry 1
    QTest::newRow("prefix") << "be" << 1 << false;
    QTest::newRow("other case") << "BETA" << 1 << false;
    QTest::newRow("whole entry") << "Beta2" << 2 << false;
    QTest::newRow("no match") << "x" << -1 << false;
    QTest::newRow("escape keeps the empty start") << "" << -1 << true;
}

void tst_InPlaceEditors::comboSelection() {
    QFETCH(QString, start);
    QFETCH(int, index);
    QFETCH(bool, escape);
    ListFixture f;
    EditorList(f);
    f.list->SetCellOptions(0, 2, {"Alpha", "beta"});
    f.list->AddCellOption(0, 2, "Beta2");
    f.list->SetItemText(0, 2, start);
    QVERIFY(f.Show());
    QSignalSpy ended(f.list, &CListCtrlEx::CellEndEdit);
    f.list->EditCell(0, 2);
    CInPlaceCombo* combo = CInPlaceCombo::Instance();
    QVERIFY(combo && combo->IsEditing());
    QCOMPARE(combo->itemText(2), "Beta2");
    QCOMPARE(combo->currentIndex(), index);
    QCOMPARE(combo->geometry(), f.Cell(0, 2));
    if (escape)
        combo->setCurrentIndex(1);
    QTest::keyClick(combo, escape ? Qt::Key_Escape : Qt::Key_Return);
    QCOMPARE(f.list->GetItemText(0, 2), index < 0 ? QString() : combo->itemText(index));
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(1).value<EndEditRecord>().sourceId, int(EndEditRecord::IdInPlaceCombo));
}

void tst_InPlaceEditors::comboChoosingCommits() {
    ListFixture f;
    EditorList(f);
    f.list->SetCellOptions(2, 2, {"on", "off", "auto"});
    f.list->SetItemText(2, 2, "on");
    QVERIFY(f.Show());
    QSignalSpy ended(f.list, &CListCtrlEx::CellEndEdit);
    f.list->EditCell(2, 2);
    CInPlaceCombo* combo = CInPlaceCombo::Instance();
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    QTRY_VERIFY(view->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(ended.count(), 0); // opening the list is no end
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_COMPARE(ended.count(), 1);
    QCOMPARE(f.list->GetItemText(2, 2), "auto");
    QTRY_VERIFY(!combo->HasWindow());
    QCOMPARE(ended.count(), 1); // and closing it is no second end
}

// A click from one edited cell straight into another starts the new edit
// while the old window still waits for its queued close.
void tst_InPlaceEditors::newEditWhileOldWindowCloses() {
    ListFixture f;
    EditorList(f);
    QVERIFY(f.Show());
    QStringList order;
    connect(f.list, &CListCtrlEx::CellBeforeEdit, f.list,
            [&](CellHit h) { order << QStringLiteral("9033 %1").arg(h.row); });
    connect(f.list, &CListCtrlEx::CellEndEdit, f.list, [&](int, EndEditRecord r) {
        order << QStringLiteral("9032 %1 %2").arg(r.row).arg(r.text);
    });
    f.list->EditCell(0, 1);
    CInPlaceEdit* edit = CInPlaceEdit::Instance();
    QTest::keyClicks(edit, "5");
    edit->EndEdit(); // as a focus loss does; the close is queued
    QVERIFY(edit->HasWindow());
    f.list->EditCell(1, 1);
    // And an edit still open when the next one starts is finished first.
    QTest::keyClicks(edit, "6");
    f.list->EditCell(2, 1);
    QCOMPARE(order, (QStringList{"9033 0", "9032 0 5", "9033 1", "9032 1 6", "9033 2"}));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(edit->HasWindow());
    QVERIFY(edit->isVisible());
    QVERIFY(edit->IsEditing());
    QCOMPARE(edit->geometry(), f.Cell(2, 1));
    QCOMPARE(edit->text(), "12");
    QTest::keyClicks(edit, "8");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(f.list->GetItemText(0, 1), "5");
    QCOMPARE(f.list->GetItemText(1, 1), "6");
    QCOMPARE(f.list->GetItemText(2, 1), "8");
}

void tst_InPlaceEditors::editFinishedBeforeRowsMove() {
    ListFixture f;
    EditorList(f);
    QVERIFY(f.Show());
    f.list->EditCell(2, 1);
    QTest::keyClicks(CInPlaceEdit::Instance(), "x");
    QVERIFY(f.list->DeleteItem(0));
    QCOMPARE(f.list->GetItemText(1, 1), "x"); // the row it was typed into
    QCOMPARE(f.list->GetItemText(0, 1), "11");
    f.list->EditCell(0, 1);
    QTest::keyClicks(CInPlaceEdit::Instance(), "y");
    QCOMPARE(f.list->InsertItem(f.list->GetItemCount(), "9"), 2); // below: no effect
    QVERIFY(CInPlaceEdit::Instance()->IsEditing());
    f.list->SortByColumn(0);
    QCOMPARE(f.list->GetItemText(f.list->GetItemCount() - 1, 1), "y");
}

void tst_InPlaceEditors::listDestroyedWhileEditing() {
    auto f = std::make_unique<ListFixture>();
    EditorList(*f);
    QVERIFY(f->Show());
    ListFixture other;
    EditorList(other);
    QVERIFY(other.Show());
    QSignalSpy ended(other.list, &CListCtrlEx::CellEndEdit);
    other.list->EditCell(0, 1);
    QTest::keyClicks(CInPlaceEdit::Instance(), "4");
    f.reset(); // takes the shared editors along, finishing the other list's edit
    QCOMPARE(CInPlaceEdit::Instance(), nullptr);
    QCOMPARE(CInPlaceCombo::Instance(), nullptr);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(other.list->GetItemText(0, 1), "4");
    other.list->EditCell(1, 2); // created anew
    QVERIFY(CInPlaceCombo::Instance() && CInPlaceCombo::Instance()->IsEditing());
    QCoreApplication::processEvents();
}

void tst_InPlaceEditors::endEditHandlerDestroysList_data() {
    QTest::addColumn<int>("endKey"); // 0: the focus moves to another widget
    QTest::addColumn<QString>("stored");
    QTest::newRow("enter") << int(Qt::Key_Return) << "5";
    QTest::newRow("escape") << int(Qt::Key_Escape) << "10";
    QTest::newRow("focus leaves") << 0 << "5";
}

// An owner may close the list as soon as it has the edited text.
void tst_InPlaceEditors::endEditHandlerDestroysList() {
    QFETCH(int, endKey);
    QFETCH(QString, stored);
    ListFixture f;
    EditorList(f);
    auto* elsewhere = new QLineEdit(f.owner.get());
    QVERIFY(f.Show());
    QPointer<CListCtrlEx> list = f.list;
    QString text;
    connect(f.list, &CListCtrlEx::CellEndEdit, f.owner.get(), [&](int, EndEditRecord r) {
        text = r.text;
        delete list;
    });
    f.list->EditCell(0, 1);
    QTest::keyClicks(CInPlaceEdit::Instance(), "5");
    if (endKey)
        QTest::keyClick(CInPlaceEdit::Instance(), Qt::Key(endKey));
    else
        elsewhere->setFocus();
    QVERIFY(list.isNull());
    QCOMPARE(text, stored);
    QCOMPARE(CInPlaceEdit::Instance(), nullptr);
    ListFixture next;
    EditorList(next);
    QVERIFY(next.Show());
    next.list->EditCell(1, 1);
    QVERIFY(CInPlaceEdit::Instance() && CInPlaceEdit::Instance()->IsEditing());
}

void tst_InPlaceEditors::sortArrow_data() {
    QTest::addColumn<int>("direction");
    QTest::newRow("up") << 0;
    QTest::newRow("down") << 1;
}

void tst_InPlaceEditors::sortArrow() {
    QFETCH(int, direction);
    QStandardItemModel model(1, 2);
    auto* head = new CListCtrlExSortHead(Qt::Horizontal);
    std::unique_ptr<QWidget> owner(head);
    head->setModel(&model);
    head->resizeSection(0, 120);
    head->resizeSection(1, 120);
    QPalette pal = head->palette();
    pal.setColor(QPalette::Dark, QColor(255, 0, 255));
    pal.setColor(QPalette::Light, QColor(0, 255, 255));
    head->setPalette(pal);
    head->resize(240, 30);
    head->show();
    QVERIFY(QTest::qWaitForWindowExposed(head));
    head->SetSortArrow(1, direction);
    QCOMPARE(head->SortColumn(), 1);
    const QImage image = head->viewport()->grab().toImage();
    const QRgb shadow = qRgb(255, 0, 255), light = qRgb(0, 255, 255);
    QCOMPARE(Count(image, {0, 0, 120, 30}, shadow) + Count(image, {0, 0, 120, 30}, light), 0);
    // The flat side of the triangle: on top pointing down, at the bottom pointing up.
    const int o = 2 * head->fontMetrics().horizontalAdvance(QLatin1Char(' '));
    const int y = direction ? o - 1 : 30 - o;
    QCOMPARE(Count(image, {240 - 2 * o - 1, y, 3, 1}, direction ? shadow : light), 3);
}

QTEST_MAIN(tst_InPlaceEditors)
#include "tst_InPlaceEditors.moc"
