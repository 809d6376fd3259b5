#include "WorkflowFakes.h"

#include "core/workflow/DeviceRows.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;

namespace {
const QString kWaiting = QStringLiteral("请连接新设备...");
const QString kWritten = QStringLiteral("设备写入完成，可以移除");
} // namespace

class DeviceRowsTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithTheWaitingRow() {
        FakeTimers timers;
        DeviceRows rows(timers);
        QCOMPARE(rows.rowCount(), 1);
        QCOMPARE(rows.text(0, DeviceRows::NumColumn), QStringLiteral("1"));
        QCOMPARE(rows.text(0, DeviceRows::MacColumn), kWaiting);
        QCOMPARE(rows.text(0, DeviceRows::StatusColumn), QString());
        QCOMPARE(rows.progress(0), 0);
        QCOMPARE(rows.progressMax(0), 100);
        // Cells out of range read as untouched cells and change nothing.
        QCOMPARE(rows.progress(5), 0);
        QCOMPARE(rows.progressMax(-1), 100);
        rows.setText(3, 1, QStringLiteral("x"));
        rows.setProgress(3, 9);
        QCOMPARE(rows.rowCount(), 1);
    }

    void appendNumbersRowsAndSignals() {
        FakeTimers timers;
        DeviceRows rows(timers);
        QSignalSpy inserted(&rows, &DeviceRows::rowInserted);
        QSignalSpy texts(&rows, &DeviceRows::textChanged);
        QCOMPARE(rows.appendWaitingRow(), 1);
        QCOMPARE(rows.appendWaitingRow(), 2);
        QCOMPARE(rows.text(2, DeviceRows::NumColumn), QStringLiteral("3"));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(0).toInt(), 2);
        QCOMPARE(texts.last().at(2).toString(), kWaiting);
    }

    void tick_data() {
        QTest::addColumn<int>("extraRows");
        QTest::addColumn<int>("startProgress");
        QTest::addColumn<int>("timerId");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("progress");
        QTest::addColumn<bool>("completed");
        QTest::addColumn<int>("finishedSignals");

        QTest::newRow("100 after 50 ticks") << 1 << 50 << 0 << 50 << 100 << false << 0;
        QTest::newRow("completed on the 51st") << 1 << 50 << 0 << 51 << 100 << true << 1;
        QTest::newRow("ticks after completion") << 1 << 100 << 0 << 3 << 100 << true << 3;
        QTest::newRow("waiting row never ticks") << 0 << 50 << 0 << 1 << 50 << false << 0;
        QTest::newRow("second family adds one") << 1 << 50 << 60000 << 1 << 51 << false << 0;
        QTest::newRow("second family reaches waiting row")
            << 0 << 50 << 60000 << 1 << 51 << false << 0;
        QTest::newRow("second family completes") << 1 << 100 << 60000 << 1 << 100 << true << 1;
        QTest::newRow("id of no row") << 1 << 50 << 7 << 1 << 50 << false << 0;
        QTest::newRow("second family of no row") << 1 << 50 << 60007 << 1 << 50 << false << 0;
    }
    void tick() {
        QFETCH(int, extraRows);
        QFETCH(int, startProgress);
        QFETCH(int, timerId);
        QFETCH(int, ticks);
        QFETCH(int, progress);
        QFETCH(bool, completed);
        QFETCH(int, finishedSignals);

        FakeTimers timers;
        DeviceRows rows(timers);
        for (int i = 0; i < extraRows; ++i)
            rows.appendWaitingRow();
        rows.setProgress(0, startProgress);
        timers.SetTimer(timerId, 600);
        QSignalSpy finished(&rows, &DeviceRows::rowFinishedByTimer);

        timers.fire(timerId, ticks);

        QCOMPARE(rows.progress(0), progress);
        QCOMPARE(rows.text(0, DeviceRows::StatusColumn), completed ? kWritten : QString());
        QCOMPARE(finished.count(), finishedSignals);
        QCOMPARE(timers.active.contains(timerId), !completed);
    }
    // The double completion (DONE, then the 900 ms tick) is checked through
    // the station in tst_StationTransfer.
};

QTEST_GUILESS_MAIN(DeviceRowsTest)
#include "tst_DeviceRows.moc"
