#pragma once

#include <QObject>
#include <QString>

class QSoundEffect;

namespace quorvane {

// Plays the station's two cues without ever waiting for them:
// 135 a board has its files, 136 a board may be unplugged.
class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);

    // A new sound cuts off the one still playing. Unknown numbers are ignored;
    // a missing audio device only means silence.
    void Play(int id);

    static QString SoundPath(int id); // empty for an unknown number

private:
    QSoundEffect* EffectFor(int id);

    QSoundEffect* m_received = nullptr;
    QSoundEffect* m_written = nullptr;
};

} // namespace quorvane
