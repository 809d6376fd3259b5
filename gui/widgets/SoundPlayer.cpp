#include "gui/widgets/SoundPlayer.h"

#include <QSoundEffect>
#include <QUrl>

namespace quorvane {

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

QString SoundPlayer::SoundPath(int id) {
    switch (id) {
    case 135:
        return QStringLiteral(":/quorvane/sounds/135.wav");
    case 136:
        return QStringLiteral(":/quorvane/sounds/136.wav");
    default:
        return {};
    }
}

QSoundEffect* SoundPlayer::EffectFor(int id) {
    QSoundEffect** slot = id == 135 ? &m_received : id == 136 ? &m_written : nullptr;
    if (slot == nullptr) {
        return nullptr;
    }
    if (*slot == nullptr) {
        // Loaded on first use: a station that never plays pays nothing.
        *slot = new QSoundEffect(this);
        (*slot)->setSource(QUrl(QStringLiteral("qrc") + SoundPath(id)));
    }
    return *slot;
}

void SoundPlayer::Play(int id) {
    QSoundEffect* effect = EffectFor(id);
    if (effect == nullptr) {
        return;
    }
    for (QSoundEffect* other : {m_received, m_written}) {
        if (other != nullptr) {
            other->stop();
        }
    }
    effect->play();
}

} // namespace quorvane
