#include "core/log/GbkText.h"
#include "core/log/LogText.h"

#include <QLocale>
#include <QTest>

#include <cstdarg>

using namespace quorvane;

namespace {

QString Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    QString text = FormatLogMessage(format, args);
    va_end(args);
    return text;
}

const QDateTime kFriday(QDate(2012, 3, 2), QTime(14, 3, 52));
const QDateTime kSunday(QDate(2026, 1, 4), QTime(9, 5, 7));

} // namespace

class TestLogText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Weekday and digits must not follow the machine's locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void recordBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty line") << QString() << QByteArray("\r\n");
        QTest::newRow("ascii") << QStringLiteral("Uboot crc: 0") << QByteArray("Uboot crc: 0\r\n");
        QTest::newRow("chinese") << QStringLiteral("开始时间")
                                 << QByteArray("\xBF\xAA\xCA\xBC\xCA\xB1\xBC\xE4\r\n");
        QTest::newRow("trailing LF") << QStringLiteral("a\n") << QByteArray("a\r\n\r\n");
        QTest::newRow("inner LF") << QStringLiteral("a\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("CR LF kept") << QStringLiteral("a\r\nb") << QByteArray("a\r\nb\r\n");
        QTest::newRow("not in GBK") << QStringLiteral("x\U0001F600y") << QByteArray("x?y\r\n");
    }
    void recordBytes() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(LogRecordBytes(text), bytes);
    }

    void formatCut_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("keptBytes");
        const QString zhong = QStringLiteral("中");
        QTest::newRow("510") << QString(510, 'a') << 510;
        QTest::newRow("511") << QString(511, 'a') << 511;
        QTest::newRow("512") << QString(512, 'a') << 511;
        QTest::newRow("600") << QString(600, 'a') << 511;
        QTest::newRow("pair ends at 511") << QString(509, 'a') + zhong + zhong << 511;
        QTest::newRow("pair across 511") << QString(510, 'a') + zhong << 510;
        QTest::newRow("all chinese") << QString(300, zhong[0]) << 510;
        QTest::newRow("odd start") << QStringLiteral("a") + QString(300, zhong[0]) << 511;
    }
    void formatCut() {
        QFETCH(QString, message);
        QFETCH(int, keptBytes);
        const QByteArray utf8 = message.toUtf8();
        const QString text = Format("%s", utf8.constData());
        const QByteArray gbk = ToGbk(text);
        QCOMPARE(gbk.size(), keptBytes);
        QVERIFY(ToGbk(message).startsWith(gbk));
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
    }

    void formatValues() {
        QCOMPARE(Format("m_bUpdateMAC = %d", 1), QStringLiteral("m_bUpdateMAC = 1"));
        QCOMPARE(Format("正在下载文件%s", "路由器.bin"), QStringLiteral("正在下载文件路由器.bin"));
        QCOMPARE(Format("Recieve a download require[g_nexttime = %d] [g_processing = %d]", 0, 1),
                 QStringLiteral("Recieve a download require[g_nexttime = 0] [g_processing = 1]"));
        QCOMPARE(Format(""), QString());
        QCOMPARE(Format(nullptr), QString());
    }

    void cutGbk_data() {
        QTest::addColumn<QByteArray>("gbk");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("fits") << QByteArray("ab") << 5 << QByteArray("ab");
        QTest::newRow("zero") << QByteArray("ab") << 0 << QByteArray();
        QTest::newRow("lead at edge") << QByteArray("a\xD6\xD0") << 2 << QByteArray("a");
        QTest::newRow("pair at edge") << QByteArray("\xD6\xD0z") << 2 << QByteArray("\xD6\xD0");
        // 0x80 stands alone in code page 936 (the euro sign).
        QTest::newRow("single 0x80") << QByteArray("\x80\x80\x80") << 2 << QByteArray("\x80\x80");
        QTest::newRow("trail looks ascii") << QByteArray("\x81\x40\x41") << 1 << QByteArray();
    }
    void cutGbk() {
        QFETCH(QByteArray, gbk);
        QFETCH(int, limit);
        QFETCH(QByteArray, kept);
        QCOMPARE(CutGbk(gbk, limit), kept);
    }

    void stampedTexts_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("runFile");
        QTest::newRow("friday") << kFriday << QStringLiteral("开始时间:2012-03-02-Fri 14:03:52")
                                << QStringLiteral("结速时间:2012-03-02-Fri 14:03:52")
                                << QStringLiteral("2012.03.02.Fri_14.03.52.txt");
        QTest::newRow("sunday") << kSunday << QStringLiteral("开始时间:2026-01-04-Sun 09:05:07")
                                << QStringLiteral("结速时间:2026-01-04-Sun 09:05:07")
                                << QStringLiteral("2026.01.04.Sun_09.05.07.txt");
        QTest::newRow("invalid") << QDateTime() << QString() << QString() << QString();
    }
    void stampedTexts() {
        QFETCH(QDateTime, time);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, runFile);
        QCOMPARE(StartLineText(time), start);
        QCOMPARE(EndLineText(time), end);
        QCOMPARE(RunFileName(time), runFile);
    }
};

QTEST_GUILESS_MAIN(TestLogText)
#include "tst_logtext.moc"
