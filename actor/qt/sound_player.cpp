// The actor's sound player, in a module of its own: the actor program
// loads it (and Qt Multimedia with it) on the first sound it plays, so that
// a silent actor never pays for the audio stack.
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include "actor/ports.h"

namespace {

class SoundEffectPlayer : public kobal::actor::SoundPort {
public:
    void Play(const std::string& path) override {
        // A new sound cuts off the one playing; a missing file or no audio
        // device simply stays silent. Without a device the effect would say
        // so on stderr at every sound, for as long as the actor lives.
        effect_.stop();
        if (QMediaDevices::defaultAudioOutput().isNull()) return;
        effect_.setSource(QUrl::fromLocalFile(QString::fromStdString(path)));
        effect_.play();
    }

private:
    QSoundEffect effect_;
};

}  // namespace

extern "C" Q_DECL_EXPORT kobal::actor::SoundPort* KobalCreateSoundPlayer() { return new SoundEffectPlayer; }
