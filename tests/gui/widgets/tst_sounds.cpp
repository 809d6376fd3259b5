#include "gui/widgets/CAboutDlg.h"
#include "gui/widgets/SoundPlayer.h"
#include "gui/widgets/StationIcons.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using quorvane::SoundPlayer;

namespace {
struct WaveInfo {
    bool valid = false;
    int channels = 0;
    int sampleRate = 0;
    double seconds = 0;
};

// Walks the RIFF chunks the way a player does; a clip that is cut short or
// not PCM is reported as invalid.
WaveInfo ReadWave(const QByteArray& bytes) {
    WaveInfo info;
    QDataStream in(bytes);
    in.setByteOrder(QDataStream::LittleEndian);
    QByteArray id(4, '\0');
    quint32 size = 0;
    const auto readHeader = [&] {
        return in.readRawData(id.data(), 4) == 4 && !(in >> size).atEnd();
    };
    if (!readHeader() || id != "RIFF" || in.readRawData(id.data(), 4) != 4 || id != "WAVE") {
        return info;
    }
    quint32 byteRate = 0;
    while (readHeader()) {
        const qint64 body = in.device()->pos();
        if (size > quint64(bytes.size() - body)) {
            return info;
        }
        if (id == "fmt " && size >= 16) {
            quint16 format = 0;
            quint16 channels = 0;
            quint32 rate = 0;
            in >> format >> channels >> rate >> byteRate;
            if (format != 1) { // PCM
                return info;
            }
            info.channels = channels;
            info.sampleRate = int(rate);
        } else if (id == "data" && byteRate > 0) {
            info.seconds = double(size) / byteRate;
            info.valid = true;
            return info;
        }
        in.device()->seek(body + size + (size & 1));
    }
    return info;
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
    const WaveInfo info = ReadWave(clip.readAll());
    QVERIFY(info.valid);
    QVERIFY(info.channels >= 1);
    QVERIFY(info.sampleRate >= 8000);
    QVERIFY2(info.seconds >= minSeconds && info.seconds <= maxSeconds,
             qPrintable(QString::number(info.seconds)));
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
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QStringLiteral("关于 Quorvane"));
    QStringList texts;
    bool iconShown = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
        iconShown = iconShown || !label->pixmap().isNull();
    }
    QVERIFY(texts.contains(QStringLiteral("Quorvane 5.0 版")));
    QVERIFY(iconShown);
    QCOMPARE(about.okButton()->text(), QStringLiteral("确定"));
    QVERIFY(about.okButton()->isDefault());
    // Every control lies inside the box.
    for (const QWidget* child : about.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QVERIFY2(about.rect().contains(child->geometry()), qPrintable(child->objectName()));
    }

    QSignalSpy finished(&about, &QDialog::finished);
    about.open();
    QTest::mouseClick(about.okButton(), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
}

QTEST_MAIN(TestSounds)
#include "tst_sounds.moc"
