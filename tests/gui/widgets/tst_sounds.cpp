#include "gui/widgets/CAboutDlg.h"
#include "gui/widgets/SoundPlayer.h"
#include "gui/widgets/StationIcons.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

using quorvane::SoundPlayer;

namespace {
// Seconds of sound in a plain PCM clip as sox writes it (a 44-byte header:
// one "fmt " chunk, then "data"); -1 for anything else or a clip cut short.
double PcmSeconds(const QByteArray& clip) {
    auto u32 = [&clip](int at) { return qFromLittleEndian<quint32>(clip.constData() + at); };
    if (clip.size() < 44 || !clip.startsWith("RIFF") || clip.mid(8, 8) != "WAVEfmt " ||
        clip.mid(36, 4) != "data" || qFromLittleEndian<quint16>(clip.constData() + 20) != 1 ||
        u32(28) == 0 || u32(40) > quint32(clip.size() - 44))
        return -1;
    return double(u32(40)) / u32(28);
}
} // namespace

class TestSounds : public QObject {
    Q_OBJECT
private slots:
    void clipsAreCompiledIn_data();
    void clipsAreCompiledIn();
    void playingNeverBlocks();
    void iconsAreCompiledIn_data();
    void iconsAreCompiledIn();
    void aboutBox();
};

void TestSounds::clipsAreCompiledIn_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<double>("minSeconds");
    QTest::addColumn<double>("maxSeconds");
    QTest::newRow("135 files received") << 135 << 0.5 << 0.75;
    QTest::newRow("136 board written") << 136 << 0.95 << 1.25;
}

void TestSounds::clipsAreCompiledIn() {
    QFETCH(int, id);
    QFETCH(double, minSeconds);
    QFETCH(double, maxSeconds);
    QFile clip(SoundPlayer::SoundPath(id));
    QVERIFY2(clip.open(QIODevice::ReadOnly), qPrintable(clip.fileName()));
    const double seconds = PcmSeconds(clip.readAll());
    QVERIFY2(seconds >= minSeconds && seconds <= maxSeconds, qPrintable(QString::number(seconds)));
}

void TestSounds::playingNeverBlocks() {
    QVERIFY(SoundPlayer::SoundPath(134).isEmpty());
    QVERIFY(SoundPlayer::SoundPath(137).isEmpty());
    SoundPlayer player;
    // Whatever the audio device: each call returns at once, a new cue cuts the
    // last one off, unknown numbers are ignored.
    for (int id : {135, 136, 135, 135, 136, 0, -1, 999, 136}) {
        player.Play(id);
    }
    QTest::qWait(50);
    player.Play(135);
    QCoreApplication::processEvents();
}

void TestSounds::iconsAreCompiledIn_data() {
    QTest::addColumn<int>("id");
    QTest::newRow("128 window") << 128;
    QTest::newRow("129") << 129;
}

void TestSounds::iconsAreCompiledIn() {
    QFETCH(int, id);
    const QImage image(quorvane::IconPath(id));
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= 32 && image.height() >= 32);
    QVERIFY(!quorvane::StationIcon(id).isNull());
    QVERIFY(quorvane::StationIcon(130).isNull());
}

void TestSounds::aboutBox() {
    // It names the folder the station serves: an installed station's is the user's own.
    CAboutDlg about(nullptr, QStringLiteral("/home/op/.local/share/Quorvane/"));
    QCOMPARE(about.windowTitle(), QStringLiteral("关于 Quorvane"));
    QStringList texts;
    bool iconShown = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
        iconShown = iconShown || !label->pixmap().isNull();
    }
    QVERIFY(texts.contains(QStringLiteral("Quorvane 5.0 版")));
    QVERIFY(texts.join('\n').contains(QStringLiteral("/home/op/.local/share/Quorvane/")));
    QVERIFY(iconShown);
    QCOMPARE(about.okButton()->text(), QStringLiteral("确定"));
    // Every control lies inside the box.
    for (const QWidget* child : about.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        QVERIFY2(about.rect().contains(child->geometry()), qPrintable(child->objectName()));

    QSignalSpy finished(&about, &QDialog::finished);
    about.open();
    QTest::mouseClick(about.okButton(), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
}

QTEST_MAIN(TestSounds)
#include "tst_sounds.moc"
