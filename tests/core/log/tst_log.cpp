#include "core/log/GbkText.h"
#include "core/log/Housekeeping.h"
#include "core/log/LogText.h"
#include "core/log/RunFile.h"
#include "core/log/StationLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace quorvane;

namespace {

const QDateTime kFriday(QDate(2012, 3, 2), QTime(14, 3, 52));

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

bool MakeFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("data") == 4;
}

QStringList Entries(const QString& path) {
    return QDir(path).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestLog : public QObject {
    Q_OBJECT
private slots:
    // Weekday names and digits must not follow the machine's locale.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    // One record appended per call: GBK, CR LF, cut at 511 bytes between characters.
    void recordBytes_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char* name, const QString& value, const QByteArray& bytes,
                            const char* format = "%s") {
            QTest::newRow(name) << QByteArray(format) << value << bytes + "\r\n";
        };
        const QByteArray a509(509, 'a');
        row("empty", "", "");
        row("chinese", "路由器", ToGbk(QStringLiteral("正在下载文件路由器")), "正在下载文件%s");
        row("own line ends", "a\nb\r\nc", "a\r\nb\r\nc");
        row("not in GBK", QStringLiteral("x\U0001F600"), "x?");
        row("511", QString(511, 'a'), QByteArray(511, 'a'));
        row("600", QString(600, 'a'), QByteArray(511, 'a'));
        row("pair ends at 511", QString(a509) + QStringLiteral("中"), a509 + "\xD6\xD0");
        // 0x81 0x40: a trail byte that looks like ASCII.
        row("pair across 511", QString(a509) + QStringLiteral("a丂"), a509 + 'a');
    }
    void recordBytes() {
        QFETCH(QByteArray, format);
        QFETCH(QString, value);
        QTemporaryDir work;
        StationLog log(work.path());
        log.WriteLog(QStringLiteral("earlier"));
        log.WriteLogFormat(format.constData(), value.toUtf8().constData());
        QTEST(ReadAll(work.filePath("Log/log.txt")).mid(9), "bytes");
    }

    // The fallback for Qt builds without ICU writes and reads what Qt's does.
    void codePageFallback_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("gbk");
        QTest::newRow("chinese") << QStringLiteral("正在下载文件路由器") << QByteArray();
        QTest::newRow("not in GBK")
            << QStringLiteral("a😀\u0e01") + QChar(0xD800) + u'b' << QByteArray();
        QTest::newRow("half character") << QString() << QByteArray("a\xD6\x20\x81");
    }
    void codePageFallback() {
        QFETCH(QString, text);
        QFETCH(QByteArray, gbk);
        QCOMPARE(ToGbk(text, GbkConverter::CodePage), ToGbk(text, GbkConverter::Qt));
        QCOMPARE(FromGbk(gbk, GbkConverter::CodePage), FromGbk(gbk, GbkConverter::Qt));
    }

    // What the text round trip above cannot show: the decoder hides a half character.
    void textForms() {
        QCOMPARE(CutGbk("\x80\x80", 1), QByteArray("\x80")); // a character of its own
        QCOMPARE(FromGbk("a\xD6"), QStringLiteral("a\uFFFD"));
        QCOMPARE(StartLineText(kFriday), QStringLiteral("开始时间:2012-03-02-Fri 14:03:52"));
        QCOMPARE(EndLineText(kFriday), QStringLiteral("结速时间:2012-03-02-Fri 14:03:52"));
        // A run file: a second one in the same second replaces the first.
        QTemporaryDir work;
        QVERIFY(WriteRunFile(work.path(), {"first", "run"}, kFriday));
        QVERIFY(WriteRunFile(work.path() + '/', {"1", "路由器"}, kFriday));
        QCOMPARE(ReadAll(work.filePath("log/2012.03.02.Fri_14.03.52.txt")),
                 "1\r\n" + ToGbk(QStringLiteral("路由器")) + "\r\n");
        QVERIFY(!WriteRunFile(work.path(), {"row"}, QDateTime())); // no time, no name
    }

    // The mirror sees every line, also one the file cannot take, and may log itself.
    void mirror() {
        QTemporaryDir work;
        QVERIFY(MakeFile(work.filePath("plain")));
        StationLog noFile(work.filePath("plain"));
        QSignalSpy spy(&noFile, &StationLog::lineLogged);
        QSignalSpy failed(&noFile, &StationLog::writeFailed);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^log line not stored: .*/plain/Log$"));
        noFile.WriteLog(QStringLiteral("服务器启动失败"));
        noFile.WriteLog(QStringLiteral("again"));
        QCOMPARE(spy.count(), 2);
        // The operator hears of it, once: lines were lost without a word.
        QCOMPARE(failed.count(), 1);

        StationLog log(work.path());
        connect(&log, &StationLog::lineLogged, this, [&log](const QString& text) {
            if (text == QLatin1String("outer"))
                log.WriteLog(QStringLiteral("inner"));
        });
        log.WriteLog(QStringLiteral("outer"));
        QCOMPARE(ReadAll(work.filePath("Log/log.txt")), QByteArray("outer\r\ninner\r\n"));
    }

    // Only generated files go; programs, libraries, settings, folders and what
    // links point to stay.
    void clearsGeneratedFiles() {
        const QStringList kept = QString("IMAGE.BIN Log.old Quorvane.exe Sysfile dangling "
                                         "getflash.txt getflash2 libQt6Core.so.6.4.2 libz.so "
                                         "linkToFile linkToFolder old.RAR pipe quorvane "
                                         "router.Cfg sysfile zlib1.DLL")
                                     .split(' ');
        const QStringList removed = QString("5E3A71000128 .cache GetFlash.txt MAC "
                                            "firmware.bin.tmp getflas notes.so.txt sysfile.bak")
                                        .split(' ');
        QTemporaryDir folder;
        QTemporaryDir outside;
        const QDir dir(folder.path());
        const QStringList special = {"Log.old", "linkToFolder", "linkToFile", "dangling", "pipe"};
        for (const QString& name : kept + removed)
            QVERIFY(special.contains(name) || MakeFile(dir.filePath(name)));
        // Regression: run on a folder of programs, links to them were deleted.
        QVERIFY(MakeFile(outside.filePath("precious")));
        QVERIFY(QFile::setPermissions(outside.filePath("precious"), QFile::ReadOwner));
        QVERIFY(QFile::link(outside.filePath("precious"), dir.filePath("linkToFile")));
        QVERIFY(QFile::link(outside.path(), dir.filePath("linkToFolder")));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("dangling")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
        QVERIFY(QFile::setPermissions(dir.filePath("MAC"), QFile::ReadOwner));
        QVERIFY(
            QFile::setPermissions(dir.filePath("quorvane"), QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(dir.mkpath("Log.old/inner") && MakeFile(dir.filePath("Log.old/inner/MAC")));

        QCOMPARE(ClearGeneratedFiles(folder.path() + '/', false), 1);
        QCOMPARE(Entries(folder.path()), kept);
        QVERIFY(QFileInfo::exists(dir.filePath("Log.old/inner/MAC")));
        QCOMPARE(Entries(outside.path()), QStringList{"precious"});
        QCOMPARE(QFile::permissions(outside.filePath("precious")) & QFile::WriteOwner, 0);
        QCOMPARE(ClearGeneratedFiles(folder.path(), true), 1);
        QCOMPARE(Entries(folder.path()).filter("sysfile", Qt::CaseInsensitive), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
