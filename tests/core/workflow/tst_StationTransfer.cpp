#include "WorkflowFakes.h"

#include "core/personalise/MacPackage.h"
#include "core/tftp/PacketCodec.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorvane;
using namespace quorvane::testing;
using tftp::CompletionResult;
using tftp::CompletionVariant;
using tftp::RequestVerdict;

Q_DECLARE_METATYPE(quorvane::tftp::RequestVerdict)
Q_DECLARE_METATYPE(quorvane::tftp::CompletionVariant)

namespace {

const QString kLabel = QStringLiteral("5e3a711234b8");
const QString kClaimed = QStringLiteral("************");
const QString kWaiting = QStringLiteral("请连接新设备...");
const QString kAsk = QStringLiteral("找到一个新设备，请扫描MAC码");
const QString kAgain = QStringLiteral("等待再次传输....");
const QString kWriting = QStringLiteral("下载完成,正在写入....");
const QString kWritten = QStringLiteral("设备写入完成，可以移除");

int Opcode(const QByteArray& datagram) {
    return (quint8(datagram.at(0)) << 8) | quint8(datagram.at(1));
}

// A running station with write-MAC on and a MAC-only selection.
void StartWithMac(StationRig& rig, bool updateMac = true) {
    ControlValues c;
    c.updateMac = updateMac;
    c.updateRoot = !updateMac;
    c.serialText = QStringLiteral("12345");
    rig.writeFile(QStringLiteral("root.img"), QByteArray(3000, 'r'));
    rig.s().m_strRootPath = rig.path(QStringLiteral("root.img"));
    QVERIFY(rig.station->StartService(c).started);
}

} // namespace

class StationTransferTest : public QObject {
    Q_OBJECT
private slots:
    void requestDecision_data() {
        QTest::addColumn<bool>("updateMac");
        QTest::addColumn<int>("nexttime");
        QTest::addColumn<int>("processing");
        QTest::addColumn<int>("crc");
        QTest::addColumn<RequestVerdict>("verdict");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("processingAfter");
        QTest::addColumn<int>("nexttimeAfter");
        QTest::addColumn<QString>("macColumn");

        const QString name = QStringLiteral("5E3A71123458");
        QTest::newRow("package request while busy")
            << true << 0 << 1 << 0 << RequestVerdict::Serve << QStringList{"Uboot crc: 0"} << 1 << 0
            << kClaimed;
        QTest::newRow("new device turned away")
            << true << 0 << 1 << 77 << RequestVerdict::Drop
            << QStringList{"Uboot crc: 77",
                           "Recieve a download require[g_nexttime = 0] [g_processing = 1]",
                           "Transmiting...wait a while " + name, QString()}
            << 1 << 0 << kWaiting;
        QTest::newRow("new device asks the operator")
            << true << 0 << 0 << -1234 << RequestVerdict::Answered
            << QStringList{"Uboot crc: -1234",
                           "Recieve a download require[g_nexttime = 0] [g_processing = 0]",
                           "Check MAC 1 nexttime 0"}
            << 1 << 0 << kClaimed;
        QTest::newRow("returning device served")
            << true << 1 << 1 << 77 << RequestVerdict::Serve
            << QStringList{"Uboot crc: 77",
                           "Recieve a download require[g_nexttime = 1] [g_processing = 1]",
                           "Check MAC 1 nexttime 1"}
            << 1 << 1 << kWaiting;
        QTest::newRow("own label without write-MAC")
            << false << 0 << 0 << 77 << RequestVerdict::Serve
            << QStringList{"Uboot crc: 77",
                           "Recieve a download require[g_nexttime = 0] [g_processing = 0]",
                           "Check MAC 0 nexttime 0",
                           QStringLiteral("第1台*******************************") + name +
                               "*********************************"}
            << 1 << 1 << name;
    }
    void requestDecision() {
        QFETCH(bool, updateMac);
        QFETCH(int, nexttime);
        QFETCH(int, processing);
        QFETCH(int, crc);
        QFETCH(RequestVerdict, verdict);
        QFETCH(QStringList, lines);
        QFETCH(int, processingAfter);
        QFETCH(int, nexttimeAfter);
        QFETCH(QString, macColumn);

        StationRig rig;
        StartWithMac(rig, updateMac);
        const int before = rig.logLines().size();
        rig.s().g_nexttime = nexttime;
        rig.s().g_processing = processing;

        const RequestVerdict got =
            rig.station->OnRequest(rig.request(QStringLiteral("5E3A71123458"), crc));

        QCOMPARE(got, verdict);
        QCOMPARE(rig.logLines().mid(before), lines);
        QCOMPARE(rig.s().g_processing, processingAfter);
        QCOMPARE(rig.s().g_nexttime, nexttimeAfter);
        QCOMPARE(rig.s().g_ubootcrc, crc);
        QCOMPARE(rig.station->rows().text(0, DeviceRows::MacColumn), macColumn);
        if (macColumn != kWaiting && !(nexttime == 1)) {
            QCOMPARE(rig.station->rows().progress(0), 1);
            QCOMPARE(rig.station->rows().progressMax(0), 100);
        }
        const bool asked = verdict == RequestVerdict::Answered;
        QCOMPARE(rig.op.asks.size(), asked ? 1 : 0);
        QCOMPARE(rig.link.pauseDepth, asked ? 1 : 0);
        QCOMPARE(rig.link.sent.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(rig.link.sent.at(0).first.port, quint16(4000));
            QCOMPARE(rig.link.sent.at(0).second, tftp::MacWaitDatagram());
            QCOMPARE(rig.station->rows().text(0, DeviceRows::StatusColumn), kAsk);
        }
        if (!updateMac) {
            QCOMPARE(rig.s().m_strMac, QStringLiteral("5E3A71123458"));
            QCOMPARE(rig.op.scanTexts, QStringList{"5E3A71123458"});
            QVERIFY(QFile::exists(rig.path(QStringLiteral("5E3A71123458"))));
        }
    }

    // A request let through whose file could not be opened: the hand-over
    // ends when it came from the board in hand or that board fell silent.
    void serveFailure_data() {
        QTest::addColumn<bool>("handedOver"); // a label went out to port 4000
        QTest::addColumn<int>("crc");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("heardAtMs"); // a block went to port 4000; -1: none
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<bool>("released");
        QTest::newRow("the board in hand itself") << true << 9 << 4000 << -1 << 10 << true;
        QTest::newRow("another board, board in hand busy")
            << true << 9 << 4001 << -1 << 9999 << false;
        QTest::newRow("another board, board in hand silent")
            << true << 9 << 4001 << -1 << 10000 << true;
        QTest::newRow("another board, blocks still going out")
            << true << 9 << 4001 << 3000 << 12000 << false;
        QTest::newRow("package request, board in hand")
            << true << 0 << 4001 << -1 << 20000 << false;
        QTest::newRow("package request, nothing in hand") << false << 0 << 4001 << -1 << 10 << true;
    }
    void serveFailure() {
        QFETCH(bool, handedOver);
        QFETCH(int, crc);
        QFETCH(int, port);
        QFETCH(int, heardAtMs);
        QFETCH(int, elapsedMs);
        QFETCH(bool, released);
        StationRig rig;
        StartWithMac(rig);
        if (handedOver) {
            rig.station->OnRequest(rig.request(QStringLiteral("boot"), 9));
            rig.station->OnMacAnswer(rig.op.asks.at(0), kLabel);
        } else {
            rig.station->OnRequest(rig.request(QStringLiteral("mac"), 0));
        }
        QCOMPARE(rig.s().g_processing, 1);
        const std::uint32_t start = rig.clock;
        if (heardAtMs >= 0) {
            rig.clock = start + std::uint32_t(heardAtMs);
            rig.station->OnBlockSent(rig.request(kLabel, 9).peer);
        }
        rig.clock = start + std::uint32_t(elapsedMs);
        const int before = rig.logLines().size();

        const tftp::ReadRequest failed = rig.request("other", crc, std::uint16_t(port));
        rig.station->OnServeFailed(failed);

        const int held = released ? 0 : 1;
        QCOMPARE(rig.s().g_processing, held);
        QCOMPARE(rig.s().g_nexttime, handedOver ? held : 0);
        const bool logged = released && handedOver;
        QCOMPARE(rig.logLines().mid(before),
                 logged ? QStringList{"other不能发送,下一个请求按新设备处理"} : QStringList{});
    }

    // Each package request rebuilds "MAC" from the current fields first.
    void packageRequestRebuildsMacFirst() {
        StationRig rig;
        StartWithMac(rig);
        rig.writeFile(QStringLiteral("MAC"), "stale");
        QCOMPARE(rig.station->OnRequest(rig.request(QStringLiteral("mac"), 0)),
                 RequestVerdict::Serve);
        QCOMPARE(rig.readFile(QStringLiteral("MAC")).toHex(),
                 QByteArray("01120000005e3a711234585e3a711234555e3a71123457"));
        QCOMPARE(int(rig.s().m_byFlags), 0x01);
    }

    void packageFailureHoldsServerUntilAcknowledged() {
        StationRig rig;
        ControlValues c;
        c.updateRoot = true;
        rig.s().m_strRootPath = rig.path(QStringLiteral("absent.img"));
        QVERIFY(rig.station->StartService(c).started);
        QCOMPARE(rig.station->OnRequest(rig.request(QStringLiteral("mac"), 0)),
                 RequestVerdict::Serve);
        QCOMPARE(rig.op.messageTexts(), QStringList{rig.s().m_strRootPath + "不存在"});
        QCOMPARE(rig.link.pauseDepth, 1);
        rig.station->OnMessageAcknowledged(rig.op.messages.at(0).first + 100); // not ours
        QCOMPARE(rig.link.pauseDepth, 1);
        rig.station->OnMessageAcknowledged(rig.op.messages.at(0).first);
        QCOMPARE(rig.link.pauseDepth, 0);
        rig.station->OnMessageAcknowledged(rig.op.messages.at(0).first); // twice: once only
        QCOMPARE(rig.link.pauseDepth, 0);
    }

    void macAnswer_data() {
        QTest::addColumn<QString>("answer"); // null: cancel
        QTest::addColumn<bool>("accepted");
        QTest::newRow("label") << kLabel << true;
        QTest::newRow("cancel") << QString() << false;
        QTest::newRow("not a label") << QStringLiteral("../../../ab8") << false;
    }
    void macAnswer() {
        QFETCH(QString, answer);
        QFETCH(bool, accepted);
        StationRig rig;
        StartWithMac(rig);
        rig.station->OnRequest(rig.request(QStringLiteral("5E3A71000018"), 99));
        QCOMPARE(rig.op.asks.size(), 1);

        rig.station->OnMacAnswer(rig.op.asks.at(0),
                                 answer.isNull() ? std::nullopt : std::optional<QString>(answer));

        QCOMPARE(rig.link.sent.size(), 2);
        QCOMPARE(rig.link.sent.at(1).first, rig.link.sent.at(0).first);
        QCOMPARE(rig.link.pauseDepth, 0);
        QVERIFY(!rig.station->isAskingForMac());
        const QByteArray macSet = rig.link.sent.at(1).second;
        if (!accepted) {
            QCOMPARE(macSet, tftp::MacSetDatagram({}));
            QCOMPARE(rig.s().g_processing, 0);
            QCOMPARE(rig.s().g_nexttime, 0);
            QCOMPARE(rig.station->rows().text(0, DeviceRows::MacColumn), kClaimed);
            QCOMPARE(rig.s().m_nDeviceNo, 0);
            return;
        }
        QCOMPARE(Opcode(macSet), 8);
        QCOMPARE(macSet.size(), 550);
        QCOMPARE(macSet.mid(2, 13), (kLabel.toLatin1() + '\0'));
        QCOMPARE(rig.s().g_nexttime, 1);
        QCOMPARE(rig.s().g_processing, 1);
        QCOMPARE(rig.s().m_strMac, kLabel);
        QCOMPARE(rig.op.scanTexts, QStringList{kLabel});
        QCOMPARE(rig.station->rows().text(0, DeviceRows::MacColumn), kLabel);
    }

    // The router's own requests from before MACSET reached it are dropped for
    // a short while; anything else after a hand-over goes the usual way.
    void requestAfterMacSet_data() {
        QTest::addColumn<QString>("answer"); // null: cancel
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<RequestVerdict>("verdict");
        const QString first = QStringLiteral("boot");
        QTest::newRow("queued repeat") << kLabel << first << 4000 << 10 << RequestVerdict::Drop;
        QTest::newRow("window's last ms")
            << kLabel << first << 4000 << 1999 << RequestVerdict::Drop;
        QTest::newRow("after the window")
            << kLabel << first << 4000 << 2000 << RequestVerdict::Serve;
        QTest::newRow("other port") << kLabel << first << 4001 << 10 << RequestVerdict::Serve;
        QTest::newRow("its package")
            << kLabel << kLabel.toUpper() << 4000 << 10 << RequestVerdict::Serve;
        QTest::newRow("after a cancel")
            << QString() << first << 4000 << 10 << RequestVerdict::Answered;
    }
    void requestAfterMacSet() {
        QFETCH(QString, answer);
        QFETCH(QString, name);
        QFETCH(int, port);
        QFETCH(int, elapsedMs);
        QFETCH(RequestVerdict, verdict);
        StationRig rig;
        StartWithMac(rig);
        QCOMPARE(rig.station->OnRequest(rig.request(QStringLiteral("boot"), 9)),
                 RequestVerdict::Answered);
        rig.station->OnMacAnswer(rig.op.asks.at(0),
                                 answer.isNull() ? std::nullopt : std::optional<QString>(answer));
        rig.clock += std::uint32_t(elapsedMs);
        const int before = rig.logLines().size();

        QCOMPARE(rig.station->OnRequest(rig.request(name, 9, std::uint16_t(port))), verdict);
        const bool dropped = verdict == RequestVerdict::Drop;
        QCOMPARE(rig.logLines().contains("重复请求,已忽略boot"), dropped);
        if (dropped) {
            QCOMPARE(rig.logLines().size(), before + 3);
            QCOMPARE(rig.s().g_nexttime, 1);
        }
    }

    void answerAfterStopIsIgnored() {
        StationRig rig;
        StartWithMac(rig);
        rig.station->OnRequest(rig.request(QStringLiteral("5E3A71000018"), 99));
        rig.station->StopService(rig.station->ControlsFromState());
        QCOMPARE(rig.op.cancelledAsks, rig.op.asks);
        QCOMPARE(rig.logLines().last(), QStringLiteral("强制关闭服务"));
        QVERIFY(!rig.station->isAskingForMac());

        rig.station->OnMacAnswer(rig.op.asks.at(0), kLabel);
        QCOMPARE(rig.link.sent.size(), 1); // MACWAIT only
        QVERIFY(!QFile::exists(rig.path(kLabel)));
        QCOMPARE(rig.station->rows().text(0, DeviceRows::MacColumn), kClaimed);

        // A stale answer does not leak into the next run either.
        QVERIFY(rig.station->StartService(rig.station->ControlsFromState()).started);
        rig.station->OnMacAnswer(rig.op.asks.at(0), kLabel);
        QCOMPARE(rig.link.sent.size(), 1);
    }

    // A message raised by the burn holds MACSET until the operator has read
    // it, whether the dialogs answer later or inside the calls; a Stop in
    // between drops MACSET.
    void burnMessageHoldsMacSet_data() {
        QTest::addColumn<int>("how"); // 0: answered later, 1: inside the calls, 2: Stop first
        QTest::newRow("answered later") << 0;
        QTest::newRow("answered inside the calls") << 1;
        QTest::newRow("stopped before the answer") << 2;
    }
    void burnMessageHoldsMacSet() {
        QFETCH(int, how);
        StationRig rig;
        ControlValues c;
        c.updateMac = true;
        c.updateRoot = true;
        c.serialText = QStringLiteral("12345");
        rig.s().m_strRootPath = rig.path(QStringLiteral("absent.img"));
        QVERIFY(rig.station->StartService(c).started);
        if (how == 1) {
            rig.op.answerAtOnce = [&rig](std::uint64_t id) {
                rig.station->OnMacAnswer(id, kLabel);
            };
            rig.op.acknowledgeAtOnce = [&rig](std::uint64_t id) {
                rig.station->OnMessageAcknowledged(id);
            };
        }
        QCOMPARE(rig.station->OnRequest(rig.request(QStringLiteral("x"), 99)),
                 RequestVerdict::Answered);
        if (how != 1) {
            rig.station->OnMacAnswer(rig.op.asks.at(0), kLabel);
            QCOMPARE(rig.link.sent.size(), 1);
            QCOMPARE(rig.link.pauseDepth, 2);
            if (how == 2)
                rig.station->StopService(c);
            rig.station->OnMessageAcknowledged(rig.op.messages.at(0).first);
        }
        QCOMPARE(rig.op.messages.size(), 1);
        QCOMPARE(rig.link.pauseDepth, 0);
        QVERIFY(!rig.station->isAskingForMac());
        QCOMPARE(rig.link.sent.size(), how == 2 ? 1 : 2);
        if (how != 2) {
            QCOMPARE(Opcode(rig.link.sent.at(1).second), 8);
            QCOMPARE(rig.s().g_nexttime, 1);
        }
    }

    void completion_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("crcKind"); // 0: none, 1: the image's, 2: another, 3: 77
        QTest::addColumn<bool>("uboot");
        QTest::addColumn<CompletionVariant>("variant");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("timerId");
        QTest::addColumn<int>("period");
        QTest::addColumn<QList<int>>("sounds");
        QTest::addColumn<int>("nexttime");

        const auto first = CompletionVariant::FirstBlock;
        const auto ack = CompletionVariant::Acknowledgement;
        QTest::newRow("package delivered")
            << "mac" << 0 << true << ack << kAgain << 60000 << 900 << QList<int>{135} << 0;
        QTest::newRow("other name, no CRC")
            << "x.bin" << 0 << true << ack << kAgain << -1 << 0 << QList<int>{} << 0;
        QTest::newRow("match, first block")
            << kLabel << 1 << true << first << kWriting << 0 << 600 << QList<int>{} << 0;
        QTest::newRow("match, acknowledgement")
            << kLabel << 1 << true << ack << kWriting << 0 << 800 << QList<int>{135} << 0;
        QTest::newRow("no boot loader selected")
            << kLabel << 3 << false << ack << kWriting << 0 << 800 << QList<int>{135} << 0;
        QTest::newRow("mismatch") << kLabel << 2 << true << ack << kAgain << -1 << 0 << QList<int>{}
                                  << 1;
        QTest::newRow("MAC package with a CRC")
            << "MAC" << 1 << true << first << kWriting << 0 << 600 << QList<int>{135} << 0;
    }
    void completion() {
        QFETCH(QString, name);
        QFETCH(int, crcKind);
        QFETCH(bool, uboot);
        QFETCH(CompletionVariant, variant);
        QFETCH(QString, status);
        QFETCH(int, timerId);
        QFETCH(int, period);
        QFETCH(QList<int>, sounds);
        QFETCH(int, nexttime);

        StationRig rig;
        // An image whose CRC has its top bit set: it travels as a negative number.
        QByteArray image(4096, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7);
        std::uint32_t checksum = 0;
        for (int salt = 0;; ++salt) {
            image[0] = char(salt);
            rig.writeFile(QStringLiteral("boot.img"), image);
            checksum = *BootLoaderChecksum(rig.path(QStringLiteral("boot.img")));
            if (checksum & 0x80000000u)
                break;
        }
        rig.s().m_bUpdateUboot = uboot;
        rig.s().m_strUbootPath = rig.path(QStringLiteral("boot.img"));
        const std::int32_t crc = crcKind == 0   ? 0
                                 : crcKind == 1 ? std::int32_t(checksum)
                                 : crcKind == 2 ? std::int32_t(checksum ^ 1)
                                                : 77;
        rig.s().g_ubootcrc = crc;
        rig.s().g_processing = 1;
        rig.s().g_nexttime = 1;

        QSignalSpy visible(&rig.station->rows(), &DeviceRows::ensureVisible);
        const CompletionResult result =
            rig.station->OnTransferComplete(rig.request(name, crc), variant);

        QCOMPARE(result, CompletionResult::Continue);
        DeviceRows& rows = rig.station->rows();
        QCOMPARE(rows.text(0, DeviceRows::StatusColumn), status);
        QCOMPARE(rig.s().g_processing, 0);
        QCOMPARE(rig.s().g_nexttime, nexttime);
        QCOMPARE(rig.op.sounds, sounds);
        const bool macPackage = name.compare(QLatin1String("mac"), Qt::CaseInsensitive) == 0;
        QCOMPARE(rig.timers.active.size(),
                 (timerId >= 0 ? 1 : 0) + (macPackage && timerId != 60000));
        if (macPackage)
            QCOMPARE(rig.timers.active.value(60000), 900);
        if (timerId >= 0)
            QCOMPARE(rig.timers.active.value(timerId), period);
        const bool writing = status == kWriting;
        QCOMPARE(rows.rowCount(), writing ? 2 : 1);
        QCOMPARE(rig.s().g_curItem, writing ? 1 : 0);
        if (writing) {
            QCOMPARE(rows.progress(0), 50);
            QCOMPARE(rows.text(1, DeviceRows::NumColumn), QStringLiteral("2"));
            QCOMPARE(rows.text(1, DeviceRows::MacColumn), kWaiting);
            QCOMPARE(visible.size(), 1);
            QCOMPARE(visible.at(0).at(0).toInt(), 0);
            QCOMPARE(visible.at(0).at(1).toBool(), variant == CompletionVariant::FirstBlock);
        }
    }

    // Regression: a second router's request in the middle of a board's
    // transfer decided that board's completion (another CRC, the current row),
    // so the board was never finished or its DONE matched nothing.
    void secondRouterInterleaves_data() {
        QTest::addColumn<QString>("other"); // what the second router does
        QTest::newRow("package request") << QStringLiteral("package");
        QTest::newRow("package request completes first") << QStringLiteral("package done");
        QTest::newRow("turned-away board") << QStringLiteral("turned away");
    }
    void secondRouterInterleaves() {
        QFETCH(QString, other);
        StationRig rig;
        rig.writeFile(QStringLiteral("boot.img"), QByteArray(4096, 'b'));
        rig.s().m_strUbootPath = rig.path(QStringLiteral("boot.img"));
        rig.s().m_bUpdateUboot = true;
        StartWithMac(rig);
        rig.s().m_bUpdateUboot = true;
        const auto crc = std::int32_t(*BootLoaderChecksum(rig.s().m_strUbootPath));
        DeviceRows& rows = rig.station->rows();
        rig.station->OnRequest(rig.request(QStringLiteral("boot"), crc));
        rig.station->OnMacAnswer(rig.op.asks.at(0), kLabel);
        QCOMPARE(rig.station->OnRequest(rig.request(kLabel, crc)), RequestVerdict::Serve);

        const tftp::ReadRequest second = other == u"turned away"
                                             ? rig.request(QStringLiteral("boot"), 77, 4001)
                                             : rig.request(QStringLiteral("mac"), 0, 4001);
        QCOMPARE(rig.station->OnRequest(second), RequestVerdict::Serve);
        if (other == u"turned away")
            rig.station->OnServeFailed(second);
        if (other == u"package done")
            rig.station->OnTransferComplete(second, CompletionVariant::Acknowledgement);
        QCOMPARE(rows.text(0, DeviceRows::MacColumn), kLabel);
        QCOMPARE(rig.s().g_nexttime, 1); // the board in hand keeps the gate

        rig.op.sounds.clear();
        rig.station->OnTransferComplete(rig.request(kLabel, crc),
                                        CompletionVariant::Acknowledgement);
        QCOMPARE(rows.text(0, DeviceRows::StatusColumn), kWriting);
        QCOMPARE(rig.op.sounds.count(135), 1);
        QCOMPARE(rig.s().g_nexttime, 0);
        QCOMPARE(rig.s().g_processing, 0);
        QCOMPARE(rig.s().g_curItem, rows.rowCount() - 1);
        QCOMPARE(rows.text(rig.s().g_curItem, DeviceRows::MacColumn), kWaiting);
        if (other == u"package")
            rig.station->OnTransferComplete(second, CompletionVariant::Acknowledgement);
        if (other != u"turned away")
            QCOMPARE(rows.text(1, DeviceRows::StatusColumn), kAgain);

        rig.station->OnDone(tftp::Peer{}, kLabel);
        QCOMPARE(rows.text(0, DeviceRows::StatusColumn), kWritten);
        QCOMPARE(rig.op.sounds.last(), 136);
    }

    void elapsedLine_data() {
        QTest::addColumn<quint32>("start");
        QTest::addColumn<quint32>("now");
        QTest::addColumn<QString>("time");
        QTest::newRow("61500 ms") << 1000u << 62500u << QStringLiteral("1分2秒");
        QTest::newRow("60000 ms") << 1000u << 61000u << QStringLiteral("1分0秒");
        QTest::newRow("59500 ms") << 1000u << 60500u << QStringLiteral("0分0秒");
        QTest::newRow("tick count wrapped")
            << 0xFFFFF000u << 0x00000FA0u << QStringLiteral("0分9秒");
    }
    void elapsedLine() {
        QFETCH(quint32, start);
        QFETCH(quint32, now);
        QFETCH(QString, time);
        StationRig rig;
        rig.s().m_strMac = QStringLiteral("12345");
        rig.s().m_dwStartTick = start;
        rig.clock = now;
        rig.station->OnTransferComplete(rig.request(QStringLiteral("Mac"), 0),
                                        CompletionVariant::Acknowledgement);
        QCOMPARE(
            rig.logLines(),
            (QStringList{"升级文件下载完成,请不要断电,拨掉网线,升级下一块路由器板,路由器12345耗时" +
                             time,
                         QString(), QString()}));
        QCOMPARE(rig.s().m_dwStartTick, now);
        QCOMPARE(rig.s().m_nDeviceNo, 1);
        QCOMPARE(rig.station->rows().progress(0), 50);
    }

    void missingBootLoaderEndsService() {
        StationRig rig;
        rig.s().m_bUpdateUboot = true;
        rig.s().m_strUbootPath = rig.path(QStringLiteral("gone.img"));
        rig.s().g_ubootcrc = 5;
        const CompletionResult result = rig.station->OnTransferComplete(
            rig.request(kLabel, 5), CompletionVariant::Acknowledgement);
        QCOMPARE(result, CompletionResult::EndService);
        QCOMPARE(rig.op.messageTexts(), QStringList{rig.s().m_strUbootPath + "不存在"});
        QCOMPARE(rig.station->rows().rowCount(), 1);
        QVERIFY(rig.op.sounds.isEmpty());
    }

    void done_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<int>("row");
        QTest::newRow("other case, nearest the end") << QStringLiteral("5E3A711234B8") << 2;
        QTest::newRow("earlier row") << QStringLiteral("5e3a710000f8") << 1;
        QTest::newRow("no match") << QStringLiteral("5e3a710000e8") << -1;
    }
    void done() {
        QFETCH(QString, mac);
        QFETCH(int, row);
        StationRig rig;
        DeviceRows& rows = rig.station->rows();
        const QStringList macs{kLabel, QStringLiteral("5e3a710000f8"), kLabel};
        for (int i = 0; i < macs.size(); ++i) {
            rows.setText(i, DeviceRows::MacColumn, macs.at(i));
            rows.setProgress(i, 60);
            rig.timers.SetTimer(i, 800);
            rig.s().g_curItem = rows.appendWaitingRow();
        }
        rig.station->OnDone(tftp::Peer{}, mac);
        for (int i = 0; i < rows.rowCount(); ++i) {
            QCOMPARE(rows.progress(i), i == row ? 100 : (i < 3 ? 60 : 0));
            QCOMPARE(rows.text(i, DeviceRows::StatusColumn), i == row ? kWritten : QString());
            QCOMPARE(rig.timers.active.contains(i), i != row && i < 3);
        }
        QCOMPARE(rig.s().m_nDeviceNo, row >= 0 ? 1 : 0);
        QCOMPARE(rig.op.sounds, row >= 0 ? QList<int>{136} : QList<int>{});
        QVERIFY(rig.logLines().isEmpty());
    }

    // Package delivered, then DONE: 136 at the DONE and again at the next 900 ms tick.
    void soundTwiceAfterPackageAndDone() {
        StationRig rig;
        rig.s().m_strMac = QStringLiteral("12345");
        rig.station->OnTransferComplete(rig.request(QStringLiteral("mac"), 0),
                                        CompletionVariant::Acknowledgement);
        rig.station->rows().setText(0, DeviceRows::MacColumn, kLabel);
        rig.station->OnDone(tftp::Peer{}, kLabel);
        rig.timers.fire(60000);
        QCOMPARE(rig.op.sounds, (QList<int>{135, 136, 136}));
        QCOMPARE(rig.s().m_nDeviceNo, 2); // delivered and written
        QVERIFY(rig.timers.active.isEmpty());
    }
};

QTEST_GUILESS_MAIN(StationTransferTest)
#include "tst_StationTransfer.moc"
